#include "action_table.h"

#include <algorithm>

namespace qvr::app {

const std::vector<TActionSpec>& ActionTable() {
  static const std::vector<TActionSpec> table = {
      {"ActionNewProject", 70, 71, "", 32, "document-new"},
      {"ActionLoadProject", 89, 90, "", 35, "document-open"},
      {"ActionSaveProject", 91, 92, "", 36, "document-save"},
      {"ActionPrint", 83, 84, "", 31, "document-print"},
      {"ActionShowDrop", 0, 1, "", 0, "window-new"},
      {"ActionExitQVR", 32, 33, "Ctrl+X", -1, "application-exit"},
      {"ActionAddFilesDirs", 34, 35, "", 1, "list-add"},
      {"ActionPaste", 85, 86, "Ctrl+V", 34, "edit-paste"},
      {"ActionDeleteSelected", 6, 7, "Ctrl+D", 22, "edit-delete"},
      {"ActionDeleteAll", 8, 9, "", 23, "edit-clear-all"},
      {"ActionRename", 2, 3, "Ctrl+R", 24, "edit-rename"},
      {"ActionNewFolder", 4, 5, "Ctrl+N", 25, "folder-new"},
      {"ActionSelectAll", 30, 31, "Ctrl+A", 27, "edit-select-all"},
      {"ActionCollapseAll", 10, 11, "Ctrl+C", 28, "go-up"},
      {"ActionExpandAll", 56, 57, "", 29, "go-down"},
      {"ActionProperties", 12, 13, "Ctrl+P", 30, "document-properties"},
      {"ActionBurn", 14, 15, "Ctrl+B", 2, "media-optical"},
      {"ActionBurnAudio", 42, 43, "", 3, "audio-x-generic"},
      {"ActionBurnISO", 66, 67, "", 4, "media-record"},
      {"ActionSaveISO", 68, 69, "", 5, "document-save-as"},
      {"ActionImportSession", 58, 59, "", 6, "document-import"},
      {"ActionEraseDisc", 36, 37, "Ctrl+E", 7, "edit-clear"},
      {"ActionDiscInfo", 28, 29, "Ctrl+I", 8, "dialog-information"},
      {"ActionEject", 38, 39, "", 9, "media-eject"},
      {"ActionLoad", 40, 41, "", 10, "go-bottom"},
      {"ActionCheckCDBurner", 76, 77, "", 14, "network-transmit-receive"},
      {"ActionSettings", 20, 21, "", 11, "preferences-system"},
      {"ActionLanguage", 54, 55, "", -1, "preferences-desktop-locale"},
      {"ActionShowLog", 50, 51, "", -1, "view-reveal"},
      {"ActionHideLog", 52, 53, "", -1, "view-conceal"},
      {"ActionCutomizeToolBarEasy", 82, -1, "", -1, "configure-toolbars"},
      {"ActionRestore", 46, 47, "", -1, "window-restore"},
      {"ActionMinimize", 48, 49, "", -1, "window-minimize"},
      {"ActionBugs", 44, 45, "", -1, "dialog-warning"},
      {"ActionHelp", 24, 25, "F1", -1, "help-browser"},
      {"ActionHome", 16, 17, "Ctrl+H", -1, "go-home"},
      {"ActionNewsletter", -1, -1, "", -1, "mail-unread"},
      {"ActionDonate", 18, 19, "", -1, "emblem-favorite"},
      {"ActionUpgrade", 26, 27, "", -1, "system-software-update"},
      {"ActionAbout", 22, 23, "", -1, "help-about"},
      {"ActionShopping", 62, 63, "", -1, ""},
  };
  return table;
}

std::vector<int> ParseToolbarLayout(const QString& layout, const std::vector<int>& known_tags) {
  std::vector<int> tags;
  for (const QString& entry : layout.split(QLatin1Char(';'))) {
    bool number = false;
    const int tag = entry.trimmed().toInt(&number);
    if (number && std::find(known_tags.begin(), known_tags.end(), tag) != known_tags.end()) tags.push_back(tag);
  }
  return tags;
}

#define QVR_MENU(function, key, ...)               \
  const TMenuSpec& function() {                    \
    static const TMenuSpec spec{key, {__VA_ARGS__}}; \
    return spec;                                   \
  }

QVR_MENU(FileMenu, 0, "ActionNewProject", "ActionLoadProject", "ActionSaveProject", "", "ActionPrint", "",
         "ActionShowDrop", "", "ActionExitQVR")
QVR_MENU(EditMenu, 1, "ActionAddFilesDirs", "ActionPaste", "", "ActionDeleteSelected", "ActionDeleteAll", "",
         "ActionRename", "ActionNewFolder", "", "ActionSelectAll", "", "ActionProperties")
QVR_MENU(RecorderMenu, 2, "ActionBurn", "ActionBurnAudio", "ActionBurnISO", "ActionSaveISO", "",
         "ActionImportSession", "", "ActionEraseDisc", "ActionDiscInfo", "", "ActionEject", "ActionLoad", "",
         "ActionCheckCDBurner")
QVR_MENU(ToolsMenu, 4, "ActionLanguage", "ActionUpgrade", "", "ActionNewsletter", "ActionBugs", "ActionDonate", "",
         "ActionSettings")
QVR_MENU(ViewMenu, 5, "ActionCutomizeToolBarEasy", "", "ActionShowLog", "ActionHideLog")
QVR_MENU(HelpMenu, 3, "ActionHelp", "ActionHome", "ActionNewsletter", "ActionAbout")
QVR_MENU(QueueMenu, -1, "ActionBurn", "ActionBurnAudio", "ActionEraseDisc", "", "ActionPaste", "ActionAddFilesDirs",
         "", "ActionDeleteSelected", "ActionDeleteAll", "", "ActionRename", "ActionNewFolder", "",
         "MenuItemQueueExtractFileFromSession", "", "ActionSelectAll", "ActionCollapseAll", "ActionExpandAll", "",
         "ActionProperties")
QVR_MENU(TrayMenu, -1, "ActionRestore", "ActionMinimize", "", "ActionShowDrop", "", "ActionBurn", "ActionBurnAudio",
         "ActionEraseDisc", "", "ActionExitQVR")
#undef QVR_MENU

}  // namespace qvr::app
