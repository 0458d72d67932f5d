#include "config/settings.h"

#include <charconv>
#include <filesystem>
#include <map>
#include <system_error>

namespace qvr::config {

namespace {

constexpr const char* kDefaultVolumeTemplate = "Disc <#increment> <#dd><#mm><#yy>";
constexpr const char* kDefaultToolbarLayout = "2;3;7;32;0;1;9;10;22;24;34;21;11";

using Field = std::function<TFieldRef(TQvrSettings&)>;

class KeyList {
 public:
  void Bool(std::string key, bool def, Field field) { Add(std::move(key), TConfigType::Bool, BoolText(def), field); }
  void Int(std::string key, int def, Field field) {
    Add(std::move(key), TConfigType::Int, std::to_string(def), field);
  }
  void Color(std::string key, int def, Field field) {
    Add(std::move(key), TConfigType::Color, std::to_string(def), field);
  }
  void Text(std::string key, std::string def, Field field) {
    Add(std::move(key), TConfigType::Text, std::move(def), field);
  }
  // A key whose absence leaves the field as it is.
  void Kept(std::string key, TConfigType type, Field field) {
    keys_.push_back({std::move(key), type, false, {}, std::move(field)});
  }
  std::vector<TConfigKey> Take() { return std::move(keys_); }

 private:
  void Add(std::string key, TConfigType type, std::string def, Field field) {
    keys_.push_back({std::move(key), type, true, std::move(def), std::move(field)});
  }
  std::vector<TConfigKey> keys_;
};

#define QVR_FIELD(member) [](TQvrSettings& s) -> TFieldRef { return &s.member; }

// Group 8 keys of one printable element, by item number.
struct PrintKeyLayout {
  int First;      // shown; then color, font, size, background, bold, italic, underline
  int Alignment;
  bool Shown;
  int FontColor;
  int Background;
};
constexpr std::array<PrintKeyLayout, kPrintElementCount> kPrintKeys{{
    {2, 26, true, 0xFFFFFF, 0},
    {10, 27, true, 0, 0xFFFFFF},
    {18, 28, false, 0, 0x00FFFF},
    {29, 37, false, 0, 0xFFFFFF},
    {38, 46, false, 0, 0xFFFFFF},
    {47, 55, false, 0, 0xFFFFFF},
    {56, 64, false, 0, 0xFFFFFF},
}};

void AddPrintKeys(KeyList& list, const TConfigEnvironment& env) {
  const std::string font = env.ScreenFontName.empty() ? "verdana" : env.ScreenFontName;
  // Items 8.2-8.64 interleave the elements' alignment keys, so collect by item
  // number and emit in numeric order.
  std::map<int, std::function<void()>> items;
  auto key = [](int item) { return "8." + std::to_string(item); };
  for (int e = 0; e < kPrintElementCount; ++e) {
    const PrintKeyLayout& k = kPrintKeys[static_cast<std::size_t>(e)];
    auto element = [e](TQvrSettings& s) -> TPrintElement& { return s.PrintElements[static_cast<std::size_t>(e)]; };
    const int f = k.First;
    items[f] = [&, f, k, element] { list.Bool(key(f), k.Shown, [element](TQvrSettings& s) -> TFieldRef { return &element(s).Shown; }); };
    items[f + 1] = [&, f, k, element] { list.Color(key(f + 1), k.FontColor, [element](TQvrSettings& s) -> TFieldRef { return &element(s).FontColor; }); };
    items[f + 2] = [&, f, element] { list.Text(key(f + 2), font, [element](TQvrSettings& s) -> TFieldRef { return &element(s).FontName; }); };
    items[f + 3] = [&, f, element] { list.Int(key(f + 3), 8, [element](TQvrSettings& s) -> TFieldRef { return &element(s).FontSize; }); };
    items[f + 4] = [&, f, k, element] { list.Color(key(f + 4), k.Background, [element](TQvrSettings& s) -> TFieldRef { return &element(s).Background; }); };
    items[f + 5] = [&, f, element] { list.Bool(key(f + 5), false, [element](TQvrSettings& s) -> TFieldRef { return &element(s).Bold; }); };
    items[f + 6] = [&, f, element] { list.Bool(key(f + 6), false, [element](TQvrSettings& s) -> TFieldRef { return &element(s).Italic; }); };
    items[f + 7] = [&, f, element] { list.Bool(key(f + 7), false, [element](TQvrSettings& s) -> TFieldRef { return &element(s).Underline; }); };
    items[k.Alignment] = [&, k, element] { list.Int(key(k.Alignment), 0, [element](TQvrSettings& s) -> TFieldRef { return &element(s).Alignment; }); };
  }
  items[0] = [&] { list.Int("8.0", 0, QVR_FIELD(PrintItems)); };
  items[1] = [&] { list.Text("8.1", "Compilation Title", QVR_FIELD(PrintTitle)); };
  items[65] = [&] { list.Int("8.65", 1, QVR_FIELD(PrintBorderWidth)); };
  items[66] = [&] { list.Int("8.66", 1, QVR_FIELD(PrintCellPadding)); };
  items[67] = [&] { list.Int("8.67", 1, QVR_FIELD(PrintCellSpacing)); };
  items[68] = [&] { list.Color("8.68", 0xFFFFFF, QVR_FIELD(PrintPageColor)); };
  items[69] = [&] { list.Text("8.69", "", QVR_FIELD(PrintBackgroundImage)); };
  for (auto& [item, add] : items) add();
}

void AddConfirmationKeys(KeyList& list) {
  for (int c = 0; c < kConfirmationCount; ++c) {
    auto keys = [c](TQvrSettings& s) -> TConfirmationKeys& { return s.Confirmations[static_cast<std::size_t>(c)]; };
    list.Bool("3." + std::to_string(3 * c), false, [keys](TQvrSettings& s) -> TFieldRef { return &keys(s).DontAsk; });
    list.Bool("3." + std::to_string(3 * c + 1), false, [keys](TQvrSettings& s) -> TFieldRef { return &keys(s).BoxTicked; });
    list.Bool("3." + std::to_string(3 * c + 2), true, [keys](TQvrSettings& s) -> TFieldRef { return &keys(s).LastAnswer; });
  }
}

std::string DefaultWavFolder(const TConfigEnvironment& env) { return env.ProgramFolder + "wav/"; }

// The window geometry keys: a value that is not a number is ignored.
bool IsWindowGeometryKey(const std::string& key) {
  return key == "0.0" || key == "0.1" || key == "0.2" || key == "0.3";
}

bool EnsureFolder(const std::string& folder) {
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  std::filesystem::create_directories(folder, ec);
  return std::filesystem::is_directory(folder, ec);
}

}  // namespace

bool ParseConfigInt(const std::string& text, int& value) {
  if (text.empty()) return false;
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (*begin == '+') return false;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  return ec == std::errc() && ptr == end;
}

std::vector<TConfigKey> ConfigKeys(const TConfigEnvironment& env) {
  KeyList list;
  list.Kept("0.0", TConfigType::Int, QVR_FIELD(WindowTop));
  list.Kept("0.1", TConfigType::Int, QVR_FIELD(WindowLeft));
  list.Kept("0.2", TConfigType::Int, QVR_FIELD(WindowHeight));
  list.Kept("0.3", TConfigType::Int, QVR_FIELD(WindowWidth));
  list.Text("0.4", "ENGLISH", QVR_FIELD(LanguageName));
  list.Int("0.5", 0, QVR_FIELD(DataBurnCount));
  list.Int("0.6", 0, QVR_FIELD(AudioBurnCount));
  list.Int("0.7", 0, QVR_FIELD(EraseCount));
  list.Bool("0.8", true, QVR_FIELD(ShowLog));
  list.Bool("0.9", false, QVR_FIELD(ShowFolderSizes));
  list.Bool("0.10", false, QVR_FIELD(DonationAsked));
  list.Text("0.12", kDefaultToolbarLayout, QVR_FIELD(ToolbarLayout));
  list.Kept("0.13", TConfigType::Text, QVR_FIELD(WrittenByVersion));
  list.Int("0.14", 0, QVR_FIELD(AdvertisingCategory));
  list.Bool("0.15", false, QVR_FIELD(AutoUpdate));

  list.Bool("1.0", true, QVR_FIELD(BurnProof));
  list.Bool("1.1", true, QVR_FIELD(JolietFileSystem));
  list.Bool("1.3", true, QVR_FIELD(DataPerformOPC));
  list.Text("1.4", "", QVR_FIELD(DriveName));
  list.Int("1.5", 32, QVR_FIELD(DataCacheSizeMB));
  list.Bool("1.6", false, QVR_FIELD(VerifyAfterWrite));
  list.Bool("1.7", false, QVR_FIELD(EjectAfterWrite));
  list.Int("1.11", 0, QVR_FIELD(Carried1_11));
  list.Bool("1.12", true, QVR_FIELD(QuickErase));
  list.Text("1.13", kDefaultVolumeTemplate, QVR_FIELD(DataVolumeTemplate));
  list.Int("1.14", 1, QVR_FIELD(DataVolumeIncrement));
  list.Bool("1.16", true, QVR_FIELD(AudioUnderrunProtection));
  list.Bool("1.17", true, QVR_FIELD(AudioPerformOPC));
  list.Int("1.20", 32, QVR_FIELD(AudioCacheSizeMB));
  list.Text("1.28", kDefaultVolumeTemplate, QVR_FIELD(AudioVolumeTemplate));
  list.Int("1.29", 1, QVR_FIELD(AudioVolumeIncrement));
  list.Text("1.30", "", QVR_FIELD(AudioSongWriter));
  list.Text("1.31", "", QVR_FIELD(AudioPerformer));
  list.Text("1.32", "", QVR_FIELD(AudioCatalog));
  list.Int("1.33", 0, QVR_FIELD(AudioWriteMethod));
  list.Text("1.34", DefaultWavFolder(env), QVR_FIELD(WavFolder));
  list.Bool("1.35", true, QVR_FIELD(BlockAutoPlay));
  list.Int("1.36", 0, QVR_FIELD(AudioTrackPauseMs));
  list.Kept("1.40", TConfigType::Text, QVR_FIELD(TreeHeaderState));
  // Every supported system has a pass-through layer, so it comes first.
  list.Bool("1.41", true, QVR_FIELD(UseInternalPassThrough));

  list.Text("2.0", "", QVR_FIELD(AddFilesFolder));
  list.Int("2.1", 0, QVR_FIELD(AddFilesTop));
  list.Int("2.2", 0, QVR_FIELD(AddFilesLeft));
  list.Int("2.3", 0, QVR_FIELD(AddFilesHeight));
  list.Int("2.4", 0, QVR_FIELD(AddFilesWidth));

  AddConfirmationKeys(list);

  list.Int("4.0", 0, QVR_FIELD(DropTop));
  list.Int("4.1", 0, QVR_FIELD(DropLeft));
  list.Int("4.2", 180, QVR_FIELD(DropOpacity));

  list.Text("5.1", "", QVR_FIELD(CommandVolumeName));
  list.Int("5.2", 0, QVR_FIELD(CommandWriteSpeed));
  list.Bool("5.3", true, QVR_FIELD(CloseDisc));

  list.Int("6.0", 0, QVR_FIELD(Carried6_0));
  list.Text("7.2", "", QVR_FIELD(AdvertisingList));

  AddPrintKeys(list, env);

  list.Int("9.0", -10000, QVR_FIELD(ProgressTop));
  list.Int("9.1", -10000, QVR_FIELD(ProgressLeft));
  return list.Take();
}

#undef QVR_FIELD

namespace {

// Stores a text as read from the table (or the default) into the field.
void Assign(const TConfigKey& key, const std::string& text, TQvrSettings& settings) {
  std::visit(
      [&](auto* field) {
        using T = std::remove_pointer_t<decltype(field)>;
        if constexpr (std::is_same_v<T, bool>) {
          *field = ReadBoolText(text);
        } else if constexpr (std::is_same_v<T, int>) {
          int value = 0;
          if (ParseConfigInt(text, value)) {
            *field = value;
          } else if (key.HasDefault && ParseConfigInt(key.Default, value)) {
            *field = value;
          }
        } else {
          *field = text;
        }
      },
      key.Field(settings));
}

std::string TextOf(const TConfigKey& key, TQvrSettings& settings) {
  return std::visit(
      [](auto* field) -> std::string {
        using T = std::remove_pointer_t<decltype(field)>;
        if constexpr (std::is_same_v<T, bool>) {
          return BoolText(*field);
        } else if constexpr (std::is_same_v<T, int>) {
          return std::to_string(*field);
        } else {
          return *field;
        }
      },
      key.Field(settings));
}

}  // namespace

TQvrSettings DefaultSettings(const TConfigEnvironment& env) {
  TQvrSettings settings;
  for (const TConfigKey& key : ConfigKeys(env)) {
    if (key.HasDefault) Assign(key, key.Default, settings);
  }
  return settings;
}

void LoadSettings(const TConfigTable& table, const TConfigEnvironment& env, TQvrSettings& settings) {
  settings.HasWindowTop = false;
  for (const TConfigKey& key : ConfigKeys(env)) {
    std::string text;
    if (table.ReadConfigValue(key.Key, text)) {
      int number = 0;
      if (IsWindowGeometryKey(key.Key)) {
        if (!ParseConfigInt(text, number)) continue;
        if (key.Key == "0.0") settings.HasWindowTop = true;
      }
      Assign(key, text, settings);
    } else if (key.HasDefault) {
      Assign(key, key.Default, settings);
    }
  }
  if (settings.DataCacheSizeMB < 16) settings.DataCacheSizeMB = 16;
  if (settings.AudioCacheSizeMB < 16) settings.AudioCacheSizeMB = 16;

  // An empty folder would mean "/", which must never be swept of WAV files.
  std::string wav = settings.WavFolder.empty() ? DefaultWavFolder(env) : settings.WavFolder;
  if (wav.back() != '/') wav.push_back('/');
  if (!EnsureFolder(wav)) {
    wav = DefaultWavFolder(env);
    EnsureFolder(wav);
  }
  settings.WavFolder = wav;
}

void SaveSettings(const TQvrSettings& settings, const TConfigEnvironment& env, TConfigTable& table) {
  TQvrSettings copy = settings;
  for (const TConfigKey& key : ConfigKeys(env)) table.WriteConfigValue(key.Key, TextOf(key, copy));
}

}  // namespace qvr::config
