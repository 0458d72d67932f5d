// driveN.state: one record per line, a keyword and its fields.

#include <cstdio>
#include <sstream>

#include "drive_state.h"

namespace qvr::vdrive {

WriteParameters::WriteParameters() {
  page[0] = 0x05;
  page[1] = 0x32;
  page[2] = 0x40 | kWriteTypeTao;  // BUFE on, track at once
  page[3] = 0x04;                  // data track, uninterrupted
  page[4] = 0x08;                  // mode 1, 2048 bytes
  page[15] = 150;                  // audio pause length
}

std::uint32_t WriteParameters::PacketSize() const {
  return static_cast<std::uint32_t>(page[10]) << 24 | page[11] << 16 | page[12] << 8 | page[13];
}

namespace {

std::string Hex(const std::uint8_t* data, std::size_t n) {
  std::string out;
  char buf[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", data[i]);
    out += buf;
  }
  return out;
}

bool FromHex(const std::string& text, std::uint8_t* out, std::size_t n) {
  if (text.size() != n * 2) return false;
  for (std::size_t i = 0; i < n; ++i) {
    unsigned value = 0;
    if (std::sscanf(text.c_str() + 2 * i, "%2x", &value) != 1) return false;
    out[i] = static_cast<std::uint8_t>(value);
  }
  return true;
}

void WriteMedium(std::ostringstream& out, const std::string& prefix, const Medium& m) {
  out << prefix << "medium " << SpecOf(m.kind).name << ' ' << m.formatted << ' ' << m.restricted_overwrite << ' '
      << m.intermediate << ' ' << m.formatted_blocks << ' ' << m.written_end << ' ' << m.closed_sessions << ' '
      << m.finalized << ' ' << m.image_blocks << '\n';
  if (!m.image.empty()) out << prefix << "image " << m.image << '\n';
  for (const Track& t : m.tracks) {
    out << prefix << "track " << t.number << ' ' << t.session << ' ' << t.pregap_start << ' ' << t.start << ' '
        << t.reserved << ' ' << t.recorded << ' ' << t.padding << ' ' << t.closed << ' ' << t.audio << ' '
        << t.incremental << ' ' << t.disc_at_once << ' ' << static_cast<int>(t.form);
    for (std::int64_t index : t.indexes) out << ' ' << index;
    out << '\n';
  }
}

bool ReadMediumLine(const std::string& key, std::istringstream& in, const std::string& rest, Medium& m) {
  if (key == "medium") {
    std::string name;
    in >> name >> m.formatted >> m.restricted_overwrite >> m.intermediate >> m.formatted_blocks >> m.written_end >>
        m.closed_sessions >> m.finalized >> m.image_blocks;
    auto kind = MediaKindFromName(name);
    if (!kind || in.fail()) return false;
    m.kind = *kind;
    return true;
  }
  if (key == "image") {
    m.image = rest;
    return true;
  }
  if (key == "track") {
    Track t;
    int form = 0;
    in >> t.number >> t.session >> t.pregap_start >> t.start >> t.reserved >> t.recorded >> t.padding >> t.closed >>
        t.audio >> t.incremental >> t.disc_at_once >> form;
    if (in.fail() || form < 0 || form > 3) return false;
    t.form = static_cast<SectorForm>(form);
    std::int64_t index;
    while (in >> index) t.indexes.push_back(index);
    m.tracks.push_back(t);
    return true;
  }
  return false;
}

}  // namespace

std::string SerializeState(const DriveState& s) {
  std::ostringstream out;
  out << "qvr-vdrive-state 1\n";
  out << "generation " << s.generation << '\n';
  out << "tray " << s.tray_open << ' ' << s.medium_present << ' ' << s.removed_by_fault << ' ' << s.prevent_removal
      << '\n';
  WriteMedium(out, "", s.medium);
  if (s.simulation) WriteMedium(out, "sim.", *s.simulation);
  out << "page05 " << Hex(s.write_params.page.data(), s.write_params.page.size()) << '\n';
  out << "speed " << s.read_speed << ' ' << s.write_speed << '\n';
  out << "busy " << s.busy_start_ms << ' ' << s.busy_until_ms << ' ' << s.busy_sense.Text() << '\n';
  out << "event " << s.media_event << '\n';
  out << "pending " << s.pending_sense.Text() << '\n';
  out << "buffer " << s.buffer_fill << ' ' << s.buffer_time_ms << '\n';
  out << "seq " << s.trace_seq << '\n';
  if (s.cue.active) {
    out << "cue " << s.cue.first_lba << ' ' << s.cue.next_lba << ' ' << s.cue.leadout << '\n';
    for (const CueTrack& t : s.cue.tracks) {
      out << "cuetrack " << t.number << ' ' << int{t.ctl_adr} << ' ' << int{t.data_form} << ' ' << int{t.pregap_form}
          << ' ' << t.pregap_start
          << ' ' << t.start;
      for (std::int64_t index : t.indexes) out << ' ' << index;
      out << '\n';
    }
  }
  for (const FaultRule& rule : s.faults) out << "fault " << rule.Format() << '\n';
  return out.str();
}

bool ParseState(const std::string& text, DriveState& s) {
  std::istringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != "qvr-vdrive-state 1") return false;
  DriveState parsed;
  Medium sim;
  bool has_sim = false;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    std::istringstream in(line);
    std::string key;
    in >> key;
    std::string rest = line.size() > key.size() + 1 ? line.substr(key.size() + 1) : std::string();
    bool ok = true;
    if (key == "generation") {
      in >> parsed.generation;
    } else if (key == "tray") {
      in >> parsed.tray_open >> parsed.medium_present >> parsed.removed_by_fault >> parsed.prevent_removal;
    } else if (key.rfind("sim.", 0) == 0) {
      if (key == "sim.medium") sim.tracks.clear();
      ok = ReadMediumLine(key.substr(4), in, rest, sim);
      has_sim = true;
    } else if (key == "medium" || key == "image" || key == "track") {
      ok = ReadMediumLine(key, in, rest, parsed.medium);
    } else if (key == "page05") {
      std::string hex;
      in >> hex;
      ok = FromHex(hex, parsed.write_params.page.data(), parsed.write_params.page.size());
    } else if (key == "speed") {
      in >> parsed.read_speed >> parsed.write_speed;
    } else if (key == "busy") {
      std::string sense;
      in >> parsed.busy_start_ms >> parsed.busy_until_ms >> sense;
      ok = Sense::Parse(sense, parsed.busy_sense);
    } else if (key == "event") {
      in >> parsed.media_event;
    } else if (key == "pending") {
      std::string sense;
      in >> sense;
      ok = Sense::Parse(sense, parsed.pending_sense);
    } else if (key == "buffer") {
      in >> parsed.buffer_fill >> parsed.buffer_time_ms;
    } else if (key == "seq") {
      in >> parsed.trace_seq;
    } else if (key == "cue") {
      parsed.cue.active = true;
      in >> parsed.cue.first_lba >> parsed.cue.next_lba >> parsed.cue.leadout;
    } else if (key == "cuetrack") {
      CueTrack t;
      int ctl = 0, form = 0, pregap_form = 0;
      in >> t.number >> ctl >> form >> pregap_form >> t.pregap_start >> t.start;
      t.pregap_form = static_cast<std::uint8_t>(pregap_form);
      t.ctl_adr = static_cast<std::uint8_t>(ctl);
      t.data_form = static_cast<std::uint8_t>(form);
      ok = !in.fail();
      std::int64_t index;
      while (in >> index) t.indexes.push_back(index);
      parsed.cue.tracks.push_back(t);
    } else if (key == "fault") {
      FaultRule rule;
      ok = FaultRule::Parse(rest, 0, rule, nullptr);
      if (ok) parsed.faults.push_back(rule);
    }
    if (!ok) return false;
  }
  if (has_sim) parsed.simulation = sim;
  s = std::move(parsed);
  return true;
}

}  // namespace qvr::vdrive
