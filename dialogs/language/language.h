#pragma once
// The program's texts: the reserved product texts, the English texts and the
// texts of the current language, with the lookup every window uses.
//
// A text is text K of section S. Section "0" always comes from the reserved
// texts. Other sections come from the current language when it is not
// English, then from English; a text missing from both shows as "S-K".

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

#include "language/text_table.h"
#include "storage/file_storage.h"

namespace qvr::lang {

inline constexpr const char* kReservedEntry = "languagereserved.ini";
inline constexpr const char* kEnglishEntry = "english.ini";
inline constexpr const char* kEnglish = "ENGLISH";

class TLanguage {
 public:
  // `languages_folder` ends with '/'.
  TLanguage(const storage::TFileStorage& storage, QString languages_folder);

  // Builds the reserved and English tables from the container, once.
  void LoadTextTables();

  QString GetLangText(const QString& section, const QString& key) const;
  QString GetLangText(int section, int key) const;

  // GetLangText, then each "placeholder=value" line in order replaces every
  // occurrence of its placeholder, ignoring case. Values are used as given.
  QString GetLangTextReplace(const QString& section, const QString& key, const QStringList& replacements) const;
  QString GetLangTextReplace(int section, int key, const QStringList& replacements) const;

  // The decoded bytes of the container entry `name` (ignoring case); empty when none.
  QByteArray ReadStoredFile(const QString& name) const;

  // Makes a language current: rewrites ENGLISH.INI in the languages folder,
  // then switches to `name` when it is English or its file exists. `save`
  // (may be empty) runs whenever the current language name is set. A language
  // file that cannot be read makes English current.
  void SetLanguage(const QString& name, const std::function<void()>& save);

  // Writes every language entry of the container (".ini", not the reserved
  // file) to the languages folder as NAME.INI. True when the last one was written.
  bool InstallTranslations() const;

  // The language names the container carries, sorted, in capitals.
  QStringList ContainerLanguages() const;

  // The file of a language in the languages folder, matched ignoring case;
  // empty when there is none.
  QString FindLanguageFile(const QString& name) const;

  const QString& CurrentLanguageName() const { return current_name_; }
  const QString& LanguagesFolder() const { return folder_; }
  // Languages folder + current language name + ".ini".
  QString CurrentLanguagePath() const { return folder_ + current_name_ + QStringLiteral(".ini"); }

  const TTextTable& ReservedTexts() const { return reserved_; }
  const TTextTable& EnglishTexts() const { return english_; }
  const TTextTable& CurrentTexts() const { return current_; }

 private:
  QString RawText(const QString& section, const QString& key) const;
  bool WriteEnglishFile() const;

  const storage::TFileStorage& storage_;
  QString folder_;
  bool tables_loaded_ = false;
  TTextTable reserved_;
  TTextTable english_;
  TTextTable current_;
  QString current_name_ = QString::fromLatin1(kEnglish);
};

}  // namespace qvr::lang
