#include "compilation/label_template.h"

namespace qvr::app {

QString ExpandLabelTemplate(const QString& label_template, const TLabelValues& v) {
  const QDate date = v.Now.date();
  const QTime time = v.Now.time();
  const auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
  const std::pair<const char*, QString> tags[] = {
      {"<#increment>", QString::number(v.Counter)},
      {"<#files>", QString::number(v.Files)},
      {"<#directories>", QString::number(v.Directories)},
      {"<#d>", QString::number(date.day())},
      {"<#dd>", two(date.day())},
      {"<#ddd>", v.Locale.dayName(date.dayOfWeek(), QLocale::ShortFormat)},
      {"<#dddd>", v.Locale.dayName(date.dayOfWeek(), QLocale::LongFormat)},
      {"<#m>", QString::number(date.month())},
      {"<#mm>", two(date.month())},
      {"<#mmm>", v.Locale.monthName(date.month(), QLocale::ShortFormat)},
      {"<#mmmm>", v.Locale.monthName(date.month(), QLocale::LongFormat)},
      {"<#yy>", two(date.year() % 100)},
      {"<#yyyy>", QString::number(date.year())},
      {"<#h>", QString::number(time.hour())},
      {"<#hh>", two(time.hour())},
      {"<#n>", QString::number(time.minute())},
      {"<#nn>", two(time.minute())},
      {"<#s>", QString::number(time.second())},
      {"<#ss>", two(time.second())},
  };
  QString text = label_template;
  for (const auto& [tag, value] : tags) text.replace(QLatin1String(tag), value, Qt::CaseInsensitive);
  return text;
}

}  // namespace qvr::app
