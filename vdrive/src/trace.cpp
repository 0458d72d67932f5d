#include "qvr/vdrive/trace.h"

#include <cstdio>
#include <sstream>

namespace qvr::vdrive {

std::string TraceEntry::Format() const {
  std::string cdb_hex;
  char buf[8];
  for (std::uint8_t b : cdb) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    cdb_hex += buf;
  }
  std::ostringstream out;
  std::snprintf(buf, sizeof buf, "%02X", opcode);
  out << seq << ' ' << buf << ' ' << cdb_hex << ' ' << length << ' ' << direction << ' ' << status << ' '
      << (status == "CHECK" ? sense.Text() : std::string("-"));
  return out.str();
}

bool TraceEntry::Parse(const std::string& line, TraceEntry& out) {
  std::istringstream in(line);
  TraceEntry e;
  std::string op, cdb_hex, sense_text;
  if (!(in >> e.seq >> op >> cdb_hex >> e.length >> e.direction >> e.status >> sense_text)) return false;
  unsigned value = 0;
  if (std::sscanf(op.c_str(), "%x", &value) != 1 || value > 0xFF) return false;
  e.opcode = static_cast<std::uint8_t>(value);
  if (cdb_hex.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < cdb_hex.size(); i += 2) {
    if (std::sscanf(cdb_hex.c_str() + i, "%2x", &value) != 1) return false;
    e.cdb.push_back(static_cast<std::uint8_t>(value));
  }
  if (sense_text != "-" && !Sense::Parse(sense_text, e.sense)) return false;
  out = std::move(e);
  return true;
}

}  // namespace qvr::vdrive
