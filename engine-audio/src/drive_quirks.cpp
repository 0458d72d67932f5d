#include "qvr/audio/drive_quirks.h"

namespace qvr::audio {

namespace {

enum class Field { kProduct, kUntrimmedProduct, kProductPrefix, kVendorPrefix };

struct QuirkRule {
  Field field;
  const char* text;
  bool DriveQuirks::*effect;
};

constexpr QuirkRule kRules[] = {
    {Field::kProduct, "CD-W512EB", &DriveQuirks::underrun_protection},
    {Field::kProduct, "CRX175E", &DriveQuirks::restore_sets_bit_20},
    {Field::kProduct, "CD-RW  CRX800E", &DriveQuirks::restore_sets_bit_20},
    {Field::kProduct, "CDRW321040X", &DriveQuirks::close_without_immediate},
    {Field::kUntrimmedProduct, "DVD-RW  DVR-103 ", &DriveQuirks::slow_ready},
    {Field::kUntrimmedProduct, "DVD-RW  DVR-104 ", &DriveQuirks::slow_ready},
    {Field::kProductPrefix, "UJDA", &DriveQuirks::slow_ready},
    {Field::kVendorPrefix, "TDK", &DriveQuirks::slow_ready},
};

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t\0", 0, 3);
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(" \t\0", std::string::npos, 3);
  return s.substr(b, e - b + 1);
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

DriveQuirks QuirksFor(const std::string& vendor, const std::string& product) {
  const std::string trimmed_product = Trim(product);
  const std::string trimmed_vendor = Trim(vendor);
  DriveQuirks quirks;
  for (const QuirkRule& rule : kRules) {
    bool match = false;
    switch (rule.field) {
      case Field::kProduct: match = trimmed_product == rule.text; break;
      case Field::kUntrimmedProduct: match = product == rule.text; break;
      case Field::kProductPrefix: match = StartsWith(trimmed_product, rule.text); break;
      case Field::kVendorPrefix: match = StartsWith(trimmed_vendor, rule.text); break;
    }
    if (match) quirks.*rule.effect = true;
  }
  return quirks;
}

}  // namespace qvr::audio
