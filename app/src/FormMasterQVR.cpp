#include "FormMasterQVR.h"

TFormMasterQVR::TFormMasterQVR(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("FormMasterQVR"));
  setWindowTitle(QStringLiteral("Quorvella"));
  setMinimumSize(700, 480);
}
