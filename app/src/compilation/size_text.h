#pragma once
// Texts of sizes, durations, dates and attributes as the compilation shows them.

#include <QLocale>
#include <QString>
#include <cstdint>

namespace qvr::app {

enum TSizeUnit { kUnitBytes = 0, kUnitKB = 1, kUnitMB = 2, kUnitGB = 3, kUnitAuto = 4 };

// The byte count in a unit, with thousands separators of `locale`. Bytes and
// KB always show 0 decimals. KB are rounded up.
QString FormatSize(int unit, int decimals, uint64_t bytes, const QLocale& locale = QLocale());

// "R", "H", "S", "A", "D" for the bits set, in that order.
QString AttributeLetters(int32_t attributes);

// Parts of a duration in seconds, rounded half to even where rounded.
struct TDurationParts {
  int64_t TotalMinutes, TotalSeconds, Minutes, Seconds, MSeconds;
};
TDurationParts DurationPartsOf(double seconds);
// The time placeholders <#TotalMinutes> ... <#MSeconds> as "name=value" lines.
QStringList DurationReplacements(double seconds);
// The size placeholders <#SizeByte> ... <#SizeAuto> (2 decimals) as lines.
QStringList SizeReplacements(uint64_t bytes, const QLocale& locale = QLocale());

// Hours "." minutes "." seconds, two digits each part after the hours.
QString FormatDurationColumn(double seconds);
// A date (days since 30 December 1899) with a pattern such as "dd/MM/yyyy hh:mm:ss".
QString FormatItemDate(double days, const QString& pattern);

}  // namespace qvr::app
