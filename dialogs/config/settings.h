#pragma once
// Every setting of the program as a typed field, and the table that ties each
// field to its configuration key, type and default. The key table is in the
// order the keys are written.

#include <array>
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "config/config_table.h"

namespace qvr::config {

enum class TConfigType { Bool, Int, Text, Color };

// The three keys of one confirmation question: do not ask again, initial state
// of the "don't display this message again" box, last answer.
struct TConfirmationKeys {
  bool DontAsk = false;
  bool BoxTicked = false;
  bool LastAnswer = true;
};

// Confirmations in key order (3.0-3.2 is kConfirmBurnData, ...).
enum TConfirmation {
  kConfirmBurnData,
  kConfirmBurnAudio,
  kConfirmQuickErase,
  kConfirmNormalErase,
  kConfirmSendBurnerInfo,
  kConfirmDeleteSelected,
  kConfirmDeleteAll,
  kConfirmCloseDisc,
  kConfirmBurnIsoImage,
  kConfirmSessionsFound,
  kConfirmNewCompilation,
  kConfirmNotAudioFiles,
  kConfirmationCount
};

// One printable element: the title and the six columns.
struct TPrintElement {
  bool Shown = false;
  int FontColor = 0;
  std::string FontName;
  int FontSize = 8;
  int Background = 0xFFFFFF;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  int Alignment = 0;
};

enum TPrintElementIndex { kPrintTitle, kPrintName, kPrintPath, kPrintSize, kPrintType, kPrintModified, kPrintAttributes,
                          kPrintElementCount };

struct TQvrSettings {
  // Group 0: main window and general.
  int WindowTop = 0;         // 0.0; its absence marks a first placement
  int WindowLeft = 0;        // 0.1
  int WindowHeight = 480;    // 0.2
  int WindowWidth = 700;     // 0.3
  bool HasWindowTop = false; // key 0.0 was read as a number
  std::string LanguageName;  // 0.4
  int DataBurnCount = 0;     // 0.5
  int AudioBurnCount = 0;    // 0.6
  int EraseCount = 0;        // 0.7
  bool ShowLog = true;       // 0.8
  bool ShowFolderSizes = false;  // 0.9
  bool DonationAsked = false;    // 0.10
  std::string ToolbarLayout;     // 0.12
  std::string WrittenByVersion;  // 0.13, written only
  int AdvertisingCategory = 0;   // 0.14
  bool AutoUpdate = false;       // 0.15

  // Group 1: burner settings.
  bool BurnProof = true;          // 1.0
  bool JolietFileSystem = true;   // 1.1
  bool DataPerformOPC = true;     // 1.3
  std::string DriveName;          // 1.4
  int DataCacheSizeMB = 32;       // 1.5, at least 16
  bool VerifyAfterWrite = false;  // 1.6
  bool EjectAfterWrite = false;   // 1.7
  int Carried1_11 = 0;            // 1.11, read and written back unchanged
  bool QuickErase = true;         // 1.12
  std::string DataVolumeTemplate; // 1.13
  int DataVolumeIncrement = 1;    // 1.14
  bool AudioUnderrunProtection = true;  // 1.16
  bool AudioPerformOPC = true;          // 1.17
  int AudioCacheSizeMB = 32;            // 1.20, at least 16
  std::string AudioVolumeTemplate;      // 1.28
  int AudioVolumeIncrement = 1;         // 1.29
  std::string AudioSongWriter;          // 1.30
  std::string AudioPerformer;           // 1.31
  std::string AudioCatalog;             // 1.32
  int AudioWriteMethod = 0;             // 1.33: 0 disc at once, 1 track at once
  std::string WavFolder;                // 1.34, with trailing '/'
  bool BlockAutoPlay = true;            // 1.35
  int AudioTrackPauseMs = 0;            // 1.36
  std::string TreeHeaderState;          // 1.40, Base64
  bool UseInternalPassThrough = true;   // 1.41

  // Group 2: add files and folders window.
  std::string AddFilesFolder;  // 2.0
  int AddFilesTop = 0, AddFilesLeft = 0, AddFilesHeight = 0, AddFilesWidth = 0;  // 2.1-2.4

  // Group 3: confirmations.
  std::array<TConfirmationKeys, kConfirmationCount> Confirmations{};

  // Group 4: drop window.
  int DropTop = 0, DropLeft = 0;  // 4.0, 4.1
  int DropOpacity = 180;          // 4.2

  // Group 5: command bar.
  std::string CommandVolumeName;  // 5.1
  int CommandWriteSpeed = 0;      // 5.2, in X; 0 is maximum
  bool CloseDisc = true;          // 5.3

  int Carried6_0 = 0;             // 6.0, read and written back unchanged
  std::string AdvertisingList;    // 7.2, items separated by ';'

  // Group 8: print settings.
  int PrintItems = 0;             // 8.0: 0 all, 1 only selected
  std::string PrintTitle;         // 8.1
  std::array<TPrintElement, kPrintElementCount> PrintElements{};
  int PrintBorderWidth = 1;       // 8.65
  int PrintCellPadding = 1;       // 8.66
  int PrintCellSpacing = 1;       // 8.67
  int PrintPageColor = 0xFFFFFF;  // 8.68
  std::string PrintBackgroundImage;  // 8.69

  // Group 9: burn progress window.
  int ProgressTop = -10000;   // 9.0; -10000 means not yet placed
  int ProgressLeft = -10000;  // 9.1
};

// What some defaults depend on.
struct TConfigEnvironment {
  std::string ProgramFolder;   // with trailing '/'; the WAV folder defaults to its "wav/"
  std::string ScreenFontName;  // default font of the print settings; "verdana" when empty
};

using TFieldRef = std::variant<bool*, int*, std::string*>;

struct TConfigKey {
  std::string Key;
  TConfigType Type;
  bool HasDefault;      // false: a missing key leaves the field as it is
  std::string Default;  // as stored: "1"/"0", decimal text, or the text
  std::function<TFieldRef(TQvrSettings&)> Field;
};

// Every key, in the order the keys are written.
std::vector<TConfigKey> ConfigKeys(const TConfigEnvironment& env);

// A settings record holding every default.
TQvrSettings DefaultSettings(const TConfigEnvironment& env);

// Applies every key of the table to `settings`, each with its default when
// missing (LoadConfiguration without the window's own part). Creates the WAV
// folder in use.
void LoadSettings(const TConfigTable& table, const TConfigEnvironment& env, TQvrSettings& settings);

// Writes every key of `settings` into the table, in key order.
void SaveSettings(const TQvrSettings& settings, const TConfigEnvironment& env, TConfigTable& table);

// A bool as stored ("1" or "0") and read (true only for exactly "1").
inline const char* BoolText(bool value) { return value ? "1" : "0"; }
inline bool ReadBoolText(const std::string& text) { return text == "1"; }

// A decimal integer with an optional '-'; false for anything else.
bool ParseConfigInt(const std::string& text, int& value);

}  // namespace qvr::config
