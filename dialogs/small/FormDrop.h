#pragma once
// The fly window: a small frameless picture that stays on top and takes files
// and folders dragged onto it while the main window is hidden.

#include <QPoint>
#include <QStringList>
#include <QWidget>
#include <functional>

class QLabel;

namespace qvr::lang {
class TLanguage;
}

struct TDropWindowHost {
  std::function<void(const QStringList& paths)> Dropped;  // in the order they were dropped
  std::function<void()> BurnData;
  std::function<void()> BurnAudio;
  std::function<void(int top, int left)> Closed;  // stores the position, shows the main window
};

// Where the window goes: the stored position, centred on the primary screen
// when it lies on no screen, pulled back when it lies past an edge less 12.
QPoint DropWindowPosition(int top, int left, QSize size);

class TFormDrop : public QWidget {
  Q_OBJECT
 public:
  TFormDrop(const qvr::lang::TLanguage& texts, TDropWindowHost host, QWidget* parent = nullptr);
  void ShowTotals(int files, int folders, const QString& size, const QString& duration);
  // Moves to the stored position with the opacity of 0..255 and shows on top.
  void Open(int top, int left, int opacity);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  const qvr::lang::TLanguage& texts_;
  TDropWindowHost host_;
  QLabel* LabelFiles;
  QLabel* LabelFolders;
  QLabel* LabelSize;
  QLabel* LabelDuration;
  QPoint drag_offset_;
};
