// The main window's small windows: confirmations, the fly window, the toolbar
// editor and the shutdown countdown.
#include <QAction>
#include <QApplication>
#include <QProcessEnvironment>
#include <QTimer>
#include <QToolBar>

#include "FormMasterQVR.h"
#include "action_table.h"
#include "small/FormCustomizeEasyToolbar.h"
#include "small/FormDrop.h"
#include "small/FormSelectBurnMode.h"
#include "small/FormShutDown.h"

bool TFormMasterQVR::ConfirmWarning(const QString& caption, const QString& message,
                                    qvr::config::TConfirmationKeys& keys) {
  return RunConfirmation(keys, [&](bool& box) {
    if (ConfirmAnswerer) return ConfirmAnswerer(caption, message, box);
    TFormWarning dialog(Language, caption, message, box, this);
    dialog.exec();
    box = dialog.BoxTicked();
    return dialog.Answer();
  });
}

void TFormMasterQVR::ActionShowDropExecute() {
  if (!FormDrop) {
    TDropWindowHost host;
    host.Dropped = [this](const QStringList& paths) {
      QTimer::singleShot(0, this, [this, paths] { AddPathList(paths, true); });
    };
    host.BurnData = [this] { ActionBurnExecute(); };
    host.BurnAudio = [this] { ActionBurnAudioExecute(); };
    host.Closed = [this](int top, int left) {
      Config.DropTop = top;
      Config.DropLeft = left;
      show();
      raise();
      activateWindow();
    };
    FormDrop = new TFormDrop(Language, host, nullptr);
    FormDrop->setAttribute(Qt::WA_DeleteOnClose);
  }
  UpdateDropWindowTotals();
  FormDrop->Open(Config.DropTop, Config.DropLeft, Config.DropOpacity);
  Config.DropTop = FormDrop->y();
  Config.DropLeft = FormDrop->x();
  hide();
}

void TFormMasterQVR::ActionCutomizeToolBarEasyExecute() {
  std::vector<TToolbarButton> buttons;
  for (const qvr::app::TActionSpec& spec : qvr::app::ActionTable()) {
    if (spec.ToolbarTag < 0) continue;
    QAction* action = Action(QLatin1String(spec.Name));
    buttons.push_back({spec.ToolbarTag, action->text(), action->icon()});
  }
  TFormCustomizeEasyToolbar editor(Language, buttons, ToolbarTags(), [this](const QString& layout) {
    Config.ToolbarLayout = layout.toStdString();
    ApplyToolbarLayout(layout);
  }, this);
  editor.exec();
}

void TFormMasterQVR::ShowShutdownWindow() {
  // QVR_SHUTDOWN_COMMAND replaces the power-off command (tests use "true").
  QString command = QProcessEnvironment::systemEnvironment().value(QStringLiteral("QVR_SHUTDOWN_COMMAND"),
                                                                    QStringLiteral("systemctl poweroff"));
  hide();
  auto* window = new TFormShutDown(Language, command.split(QLatin1Char(' '), Qt::SkipEmptyParts),
                                   [this] { close(); }, [this] { show(); }, nullptr);
  window->show();
}

void TFormMasterQVR::ShowBurnModeChoice() {
  if (!Action(QStringLiteral("ActionBurnAudio"))->isEnabled()) {
    ActionBurnExecute();
    return;
  }
  auto* choice = new TFormSelectBurnMode(Language, [this] { ActionBurnExecute(); }, [this] { ActionBurnAudioExecute(); },
                                         [this] { show(); }, this);
  choice->show();
  choice->raise();
}

void TFormMasterQVR::ActionRestoreExecute() {
  showNormal();
  raise();
  activateWindow();
}

void TFormMasterQVR::ActionMinimizeExecute() { showMinimized(); }

void TFormMasterQVR::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) {
    const bool minimised = isMinimized();
    Action(QStringLiteral("ActionRestore"))->setEnabled(minimised);
    Action(QStringLiteral("ActionMinimize"))->setEnabled(!minimised);
  } else if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    Action(QStringLiteral("ActionPaste"))->setEnabled(ClipboardHasFileList());
  }
}
