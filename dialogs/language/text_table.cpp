#include "language/text_table.h"

#include <QStringDecoder>

namespace qvr::lang {

namespace {

bool IsSectionLine(const QString& line) {
  return line.size() >= 2 && line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'));
}

}  // namespace

void TTextTable::LoadLines(const QString& text) {
  sections_.clear();
  TTextSection* current = nullptr;
  const QStringList lines = text.split(QLatin1Char('\n'));
  for (const QString& raw : lines) {
    QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';'))) continue;
    if (IsSectionLine(line)) {
      const QString name = line.mid(1, line.size() - 2).trimmed();
      current = nullptr;
      for (TTextSection& section : sections_) {
        if (section.Name.compare(name, Qt::CaseInsensitive) == 0) current = &section;
      }
      if (!current) current = &sections_.emplace_back(TTextSection{name, {}});
      continue;
    }
    if (!current) continue;  // lines before the first section belong to none
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals >= 0) line = line.left(equals).trimmed() + QLatin1Char('=') + line.mid(equals + 1).trimmed();
    current->Lines.append(line);
  }
}

QString TTextTable::Value(const QString& section, const QString& key) const {
  for (const TTextSection& s : sections_) {
    if (s.Name.compare(section, Qt::CaseInsensitive) != 0) continue;
    for (const QString& line : s.Lines) {
      const qsizetype equals = line.indexOf(QLatin1Char('='));
      if (equals >= 0 && QStringView(line).left(equals).compare(key, Qt::CaseInsensitive) == 0) {
        return line.mid(equals + 1);
      }
    }
    return {};
  }
  return {};
}

QString TTextTable::Normalised() const {
  const QLatin1String crlf("\r\n");
  QString out;
  for (const TTextSection& s : sections_) {
    out += QLatin1Char('[') + s.Name + QLatin1Char(']') + crlf;
    for (const QString& line : s.Lines) out += line + crlf;
    out += crlf;
  }
  return out;
}

QString DecodeEscapes(QString text) {
  if (!text.contains(QLatin1Char('%'))) return text;
  text.replace(QLatin1String("%0D"), QStringLiteral("\r"), Qt::CaseInsensitive);
  text.replace(QLatin1String("%0A"), QStringLiteral("\n"), Qt::CaseInsensitive);
  text.replace(QLatin1String("%25"), QStringLiteral("%"), Qt::CaseInsensitive);
  return text;
}

QString DecodeLanguageBytes(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (utf8.hasError()) return QString::fromLatin1(bytes);
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  return text;
}

}  // namespace qvr::lang
