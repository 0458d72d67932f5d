#include "language/language.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace qvr::lang {

namespace {

bool IsLanguageEntry(const QString& name) {
  return name.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive) &&
         name.compare(QLatin1String(kReservedEntry), Qt::CaseInsensitive) != 0;
}

QString LanguageNameOf(const QString& entry) { return QFileInfo(entry).completeBaseName().toUpper(); }

bool WriteWholeFile(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(bytes);
  return file.commit();
}

}  // namespace

TLanguage::TLanguage(const storage::TFileStorage& storage, QString languages_folder)
    : storage_(storage), folder_(std::move(languages_folder)) {}

void TLanguage::LoadTextTables() {
  if (tables_loaded_) return;
  reserved_.LoadLines(DecodeLanguageBytes(ReadStoredFile(QLatin1String(kReservedEntry))));
  english_.LoadLines(DecodeLanguageBytes(ReadStoredFile(QLatin1String(kEnglishEntry))));
  current_.Clear();
  tables_loaded_ = true;
}

QString TLanguage::RawText(const QString& section, const QString& key) const {
  if (section == QLatin1String("0")) return reserved_.Value(section, key);
  if (current_name_ != QLatin1String(kEnglish)) {
    QString text = current_.Value(section, key);
    if (!text.isEmpty()) return text;
  }
  return english_.Value(section, key);
}

QString TLanguage::GetLangText(const QString& section, const QString& key) const {
  QString text = RawText(section, key);
  if (text.isEmpty()) text = section + QLatin1Char('-') + key;
  return DecodeEscapes(std::move(text));
}

QString TLanguage::GetLangText(int section, int key) const {
  return GetLangText(QString::number(section), QString::number(key));
}

QString TLanguage::GetLangTextReplace(const QString& section, const QString& key,
                                      const QStringList& replacements) const {
  QString text = GetLangText(section, key);
  for (const QString& line : replacements) {
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals <= 0) continue;
    text.replace(line.left(equals), line.mid(equals + 1), Qt::CaseInsensitive);
  }
  return text;
}

QString TLanguage::GetLangTextReplace(int section, int key, const QStringList& replacements) const {
  return GetLangTextReplace(QString::number(section), QString::number(key), replacements);
}

QByteArray TLanguage::ReadStoredFile(const QString& name) const {
  const std::string data = storage_.ReadStoredFile(name.toStdString());
  return QByteArray(data.data(), static_cast<qsizetype>(data.size()));
}

bool TLanguage::WriteEnglishFile() const {
  return WriteWholeFile(folder_ + QStringLiteral("ENGLISH.INI"), english_.Normalised().toUtf8());
}

QString TLanguage::FindLanguageFile(const QString& name) const {
  const QString wanted = name.toUpper() + QStringLiteral(".INI");
  // Broken links are listed too: such a language exists but cannot be read.
  QStringList files;
  for (const QFileInfo& info : QDir(folder_).entryInfoList(QDir::Files | QDir::System)) {
    if (info.isFile() || info.isSymLink()) files.append(info.fileName());
  }
  // An exact name wins over one that differs in case.
  for (const QString& file : files) {
    if (file == wanted) return folder_ + file;
  }
  for (const QString& file : files) {
    if (file.toUpper() == wanted) return folder_ + file;
  }
  return {};
}

void TLanguage::SetLanguage(const QString& name, const std::function<void()>& save) {
  auto make_current = [&](const QString& language) {
    current_name_ = language;
    if (save) save();
  };
  LoadTextTables();
  WriteEnglishFile();  // a failure leaves the folder without it; lookups are unaffected
  const QString upper = name.toUpper();
  if (upper == QLatin1String(kEnglish)) {
    make_current(upper);
    return;
  }
  const QString path = FindLanguageFile(upper);
  if (path.isEmpty()) return;  // unknown language: everything stays as it was
  make_current(upper);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    make_current(QString::fromLatin1(kEnglish));
    return;
  }
  current_.LoadLines(DecodeLanguageBytes(file.readAll()));
}

bool TLanguage::InstallTranslations() const {
  bool last_written = false;
  QDir().mkpath(folder_);
  for (const storage::TStoredFile& entry : storage_.Files()) {
    const QString name = QString::fromStdString(entry.Name);
    if (!IsLanguageEntry(name)) continue;
    const QByteArray bytes(entry.Data.data(), static_cast<qsizetype>(entry.Data.size()));
    last_written = WriteWholeFile(folder_ + LanguageNameOf(name) + QStringLiteral(".INI"), bytes);
  }
  return last_written;
}

QStringList TLanguage::ContainerLanguages() const {
  QStringList names;
  for (const storage::TStoredFile& entry : storage_.Files()) {
    const QString name = QString::fromStdString(entry.Name);
    if (IsLanguageEntry(name)) names.append(LanguageNameOf(name));
  }
  names.sort();
  names.removeDuplicates();
  return names;
}

}  // namespace qvr::lang
