#pragma once

#include <QMainWindow>

// The main window: lives for the whole process and owns the compilation and
// both burners.
class TFormMasterQVR : public QMainWindow {
  Q_OBJECT
 public:
  explicit TFormMasterQVR(QWidget* parent = nullptr);
};
