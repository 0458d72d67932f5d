#include <QApplication>

#include "FormMasterQVR.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TFormMasterQVR window;
  window.show();
  return app.exec();
}
