#pragma once
// Volume labels from templates: tags such as <#increment> or <#dd> are
// replaced at the moment of the burn.

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace qvr::app {

struct TLabelValues {
  int Counter = 1;      // <#increment>
  int Files = 0;        // <#files>
  int Directories = 0;  // <#directories>
  QDateTime Now;        // read once by the caller
  QLocale Locale;       // day and month names
};

// Replaces every tag, ignoring its case; text outside tags stays.
QString ExpandLabelTemplate(const QString& label_template, const TLabelValues& values);

// The template a burn uses: the volume name box when it is not blank, else the configured one.
inline QString ChooseLabelTemplate(const QString& box_text, const QString& configured) {
  return box_text.trimmed().isEmpty() ? configured : box_text;
}

}  // namespace qvr::app
