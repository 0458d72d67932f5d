#pragma once
// One language file in memory: sections in file order, each a list of lines.
//
// Loading trims every line, drops empty lines and lines starting with ';',
// and removes the blanks around the first '='. Remarks ("//...") stay as lines
// of their section. Section and key names compare ignoring case; the first
// line of a key counts. An empty value counts as absent.

#include <QString>
#include <QStringList>
#include <vector>

namespace qvr::lang {

struct TTextSection {
  QString Name;
  QStringList Lines;
};

class TTextTable {
 public:
  // Replaces the content with the lines of a language file.
  void LoadLines(const QString& text);
  void Clear() { sections_.clear(); }
  bool IsEmpty() const { return sections_.empty(); }

  // The value of key in section; empty when absent.
  QString Value(const QString& section, const QString& key) const;

  // The normalised form: for each section "[name]", its lines as stored and an
  // empty line, every line ending in CR LF.
  QString Normalised() const;

  const std::vector<TTextSection>& Sections() const { return sections_; }

 private:
  std::vector<TTextSection> sections_;
};

// Decodes "%0D" (carriage return), then "%0A" (line feed), then "%25" ('%'),
// ignoring case; so "%250D" gives the three characters "%0D".
QString DecodeEscapes(QString text);

// The text of a language file's bytes: UTF-8 when they are valid UTF-8 (a
// leading byte-order mark is dropped), otherwise Latin-1, byte for byte.
QString DecodeLanguageBytes(const QByteArray& bytes);

}  // namespace qvr::lang
