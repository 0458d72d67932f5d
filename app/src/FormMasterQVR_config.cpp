// The main window's configuration: the file, the settings and the placement.
#include <QApplication>
#include <QCoreApplication>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>

#include "FormMasterQVR.h"
#include "config/config_file.h"
#include "program_version.h"
#include "window_placement.h"

using namespace qvr;

QString TFormMasterQVR::ConfigFilePath() const {
  return ProgramFolderPath + QString::fromLatin1(config::kConfigFileName);
}

config::TConfigEnvironment TFormMasterQVR::ConfigEnvironment() const {
  return {ProgramFolderPath.toStdString(), QFontInfo(QApplication::font()).family().toStdString()};
}

bool TFormMasterQVR::ReadConfigValue(const QString& key, QString& value) const {
  std::string text;
  if (!ConfigTable.ReadConfigValue(key.toStdString(), text)) return false;
  value = QString::fromStdString(text);
  return true;
}

bool TFormMasterQVR::WriteConfigValue(const QString& key, const QString& value) {
  return ConfigTable.WriteConfigValue(key.toStdString(), value.toStdString());
}

void TFormMasterQVR::ReadConfigurationFile() {
  config::TConfigReadOptions options;
  options.Pump = [] { QCoreApplication::processEvents(); };
  const auto result = config::LoadConfigFile(ConfigFilePath().toStdString(), ConfigTable, options);
  FirstRun = config::IsFirstStart(result);
  if (FirstRun) {
    // A first start: an empty configuration file replaces whatever was there.
    ConfigTable.Clear();
    config::SaveConfigFile(ConfigFilePath().toStdString(), ConfigTable);
  }
}

void TFormMasterQVR::LoadConfiguration() {
  Config.WindowLeft = x();
  Config.WindowTop = y();
  Config.WindowWidth = width();
  Config.WindowHeight = height();
  config::LoadSettings(ConfigTable, ConfigEnvironment(), Config);
  ApplySettingsToControls();
  PlaceWindow();
}

void TFormMasterQVR::PlaceWindow() {
  QList<QRect> monitors;
  for (const QScreen* screen : QGuiApplication::screens()) monitors.append(screen->geometry());
  const QScreen* primary = QGuiApplication::primaryScreen();
  const QRect screen = primary ? primary->geometry() : QRect(0, 0, 1024, 768);
  const QRect stored(Config.WindowLeft, Config.WindowTop, Config.WindowWidth, Config.WindowHeight);
  const QRect placed = app::PlaceMainWindow(stored, Config.HasWindowTop, screen, monitors);
  resize(placed.size());
  move(placed.topLeft());
}

void TFormMasterQVR::SaveConfiguration() {
  // A maximised or minimised window keeps the place it returns to.
  const bool normal = !isMaximized() && !isMinimized() && !isFullScreen();
  const QRect place = normal ? QRect(pos(), size()) : normalGeometry();
  Config.WindowLeft = place.x();
  Config.WindowTop = place.y();
  Config.WindowWidth = place.width();
  Config.WindowHeight = place.height();
  Config.LanguageName = Language.CurrentLanguageName().toStdString();
  Config.WrittenByVersion = app::ProgramVersion().toLower().toStdString();
  CollectSettingsFromControls();
  config::SaveSettings(Config, ConfigEnvironment(), ConfigTable);
  config::SaveConfigFile(ConfigFilePath().toStdString(), ConfigTable);
}
