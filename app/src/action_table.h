#pragma once
// Every command of the main window: its object name, caption and hint keys of
// the action section of the language texts, shortcut, easy toolbar tag and
// icon. Menus, toolbar and tray menu point to these actions.

#include <QString>
#include <QStringList>
#include <vector>

namespace qvr::app {

struct TActionSpec {
  const char* Name;
  int CaptionKey;     // -1: none
  int HintKey;        // -1: none
  const char* Shortcut;
  int ToolbarTag;     // -1: not on the easy toolbar
  const char* Icon;   // theme icon name
};

const std::vector<TActionSpec>& ActionTable();

inline constexpr const char* kDefaultToolbarLayout = "2;3;7;32;0;1;9;10;22;24;34;21;11";

// The tags of a toolbar layout that name a known button, in layout order.
std::vector<int> ParseToolbarLayout(const QString& layout, const std::vector<int>& known_tags);

// Action names of each menu; an empty name is a separator.
struct TMenuSpec {
  int TitleKey;  // key of the menu section, -1 for context and tray menus
  QStringList Actions;
};
const TMenuSpec& FileMenu();
const TMenuSpec& EditMenu();
const TMenuSpec& RecorderMenu();
const TMenuSpec& ToolsMenu();
const TMenuSpec& ViewMenu();
const TMenuSpec& HelpMenu();
const TMenuSpec& QueueMenu();
const TMenuSpec& TrayMenu();

}  // namespace qvr::app
