#include "qvr/vdrive/fault.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace qvr::vdrive {

namespace {

bool ParseInt(const std::string& text, std::int64_t& out, int base = 10) {
  if (text.empty()) return false;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, base);
  if (*end != '\0' || value < 0) return false;
  out = value;
  return true;
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

bool FaultRule::MatchesOpcode(std::uint8_t op) const {
  if (opcodes == "*") return true;
  std::istringstream in(opcodes);
  std::string item;
  while (std::getline(in, item, ',')) {
    std::int64_t value = 0;
    if (ParseInt(item, value, 16) && value == op) return true;
  }
  return false;
}

std::string FaultRule::Format() const {
  std::ostringstream out;
  switch (kind) {
    case Kind::kFail:
      out << "fail " << opcodes << " nth=" << nth << " times=" << times << " sense=" << sense.Text();
      break;
    case Kind::kBusy: out << "busy " << count; break;
    case Kind::kNotReady: out << "notready until=" << until_ms; break;
    case Kind::kLongWrite: out << "longwrite until=" << until_ms; break;
    case Kind::kWriteError: out << "write-error " << lba << " sense=" << sense.Text(); break;
    case Kind::kCueRefuse: out << "cue-refuse sense=" << sense.Text(); break;
    case Kind::kRemove: out << "remove after=" << count; break;
    case Kind::kUnformat: out << "unformat"; break;
  }
  return out.str();
}

bool FaultRule::Parse(const std::string& text, std::int64_t now_ms, FaultRule& out, std::string* error) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  if (words.empty()) return Fail(error, "empty fault rule");
  FaultRule rule;
  const std::string& verb = words[0];
  std::vector<std::string> positional;
  bool has_sense = false;
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    std::size_t eq = w.find('=');
    if (eq == std::string::npos) {
      positional.push_back(w);
      continue;
    }
    std::string key = w.substr(0, eq), value = w.substr(eq + 1);
    bool ok = true;
    if (key == "sense") {
      ok = Sense::Parse(value, rule.sense) && rule.sense.IsError();
      has_sense = ok;
    } else if (key == "nth") {
      ok = ParseInt(value, rule.nth) && rule.nth >= 1;
    } else if (key == "times") {
      ok = ParseInt(value, rule.times) && rule.times >= 1;
    } else if (key == "after") {
      ok = ParseInt(value, rule.count);
    } else if (key == "until") {
      ok = ParseInt(value, rule.until_ms);
    } else {
      return Fail(error, "unknown option \"" + key + "\" in fault rule");
    }
    if (!ok) return Fail(error, "bad value \"" + value + "\" for " + key);
  }
  auto need_positional = [&](std::size_t n) { return positional.size() == n; };
  if (verb == "fail") {
    rule.kind = Kind::kFail;
    if (!need_positional(1)) return Fail(error, "fail needs the opcodes (hexadecimal, or *)");
    rule.opcodes = positional[0];
    if (rule.opcodes != "*") {
      std::istringstream ops(rule.opcodes);
      std::string item;
      std::int64_t value = 0;
      while (std::getline(ops, item, ',')) {
        if (!ParseInt(item, value, 16) || value > 0xFF) return Fail(error, "bad opcode \"" + item + "\"");
      }
    }
    if (!has_sense) return Fail(error, "fail needs sense=K/ASC/ASCQ");
  } else if (verb == "busy") {
    rule.kind = Kind::kBusy;
    if (!need_positional(1) || !ParseInt(positional[0], rule.count) || rule.count < 1)
      return Fail(error, "busy needs a command count");
  } else if (verb == "notready" || verb == "longwrite") {
    rule.kind = verb == "notready" ? Kind::kNotReady : Kind::kLongWrite;
    if (positional.size() == 1) {
      std::int64_t ms = 0;
      if (!ParseInt(positional[0], ms)) return Fail(error, verb + " needs milliseconds");
      rule.until_ms = now_ms + ms;
    } else if (!positional.empty() || rule.until_ms == 0) {
      return Fail(error, verb + " needs milliseconds");
    }
    rule.sense = rule.kind == Kind::kNotReady ? Sense{2, 0x04, 0x01} : Sense{2, 0x04, 0x08};
  } else if (verb == "write-error") {
    rule.kind = Kind::kWriteError;
    if (!need_positional(1) || !ParseInt(positional[0], rule.lba)) return Fail(error, "write-error needs an LBA");
    if (!has_sense) rule.sense = Sense{3, 0x0C, 0x00};
  } else if (verb == "cue-refuse") {
    rule.kind = Kind::kCueRefuse;
    if (!positional.empty()) return Fail(error, "cue-refuse takes only sense=");
    if (!has_sense) rule.sense = Sense{5, 0x26, 0x00};
  } else if (verb == "remove") {
    rule.kind = Kind::kRemove;
    if (!positional.empty()) return Fail(error, "remove takes only after=N");
  } else if (verb == "unformat") {
    rule.kind = Kind::kUnformat;
    if (!positional.empty()) return Fail(error, "unformat takes no arguments");
  } else {
    return Fail(error, "unknown fault \"" + verb + "\"");
  }
  out = rule;
  return true;
}

}  // namespace qvr::vdrive
