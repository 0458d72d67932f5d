// The main window's answers to later starts of the program.
#include "FormMasterQVR.h"
#include "single_instance.h"

using namespace qvr::app;

quint32 TFormMasterQVR::HandleInstanceMessage(quint32 message, const QByteArray& payload) {
  switch (message) {
    case kMsgQueryInstance:
      return kInstanceAnswer;
    case kMsgRestoreAndRaise:
      RestoreAndRaise();
      return 0;
    case kMsgCommandText:
      // While an operation runs, forwarded commands are ignored.
      if (ProgressWindowExists()) return 0;
      ProcessCommandLine(QString::fromUtf8(payload));
      return 1;
    case kMsgReinitDataBurner:
      InitDataBurner();
      return 0;
    default:
      return 0;
  }
}

void TFormMasterQVR::RestoreAndRaise() {
  if (isMinimized()) showNormal();
  if (!isVisible()) show();
  raise();
  activateWindow();
}
