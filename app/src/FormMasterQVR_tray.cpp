// The status bar, the tray icon and the screen cursor.
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStatusBar>
#include <QSystemTrayIcon>

#include "FormMasterQVR.h"

namespace {

// Colours are stored as 0x00BBGGRR.
QColor ColorOf(int bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

Qt::CursorShape CursorShapeOf(int cursor) {
  switch (cursor) {
    case -2: return Qt::ArrowCursor;
    case -3: return Qt::CrossCursor;
    case -4: return Qt::IBeamCursor;
    case -11: return Qt::WaitCursor;
    case -13: case -18: return Qt::ForbiddenCursor;
    case -19: return Qt::BusyCursor;
    case -20: return Qt::WhatsThisCursor;
    case -21: return Qt::PointingHandCursor;
    default: return Qt::ArrowCursor;
  }
}

}  // namespace

void TFormMasterQVR::CreateStatusBar() {
  // Panel 0 total size, panel 1 total duration, panel 2 the status text.
  static constexpr int kWidths[3] = {180, 200, 50};
  for (int i = 0; i < 3; ++i) {
    StatusPanels[i] = new QLabel(this);
    StatusPanels[i]->setObjectName(QStringLiteral("StatusBarPanel%1").arg(i));
    StatusPanels[i]->setMinimumWidth(kWidths[i]);
    statusBar()->addWidget(StatusPanels[i], i == 2 ? 1 : 0);
  }
  statusBar()->setObjectName(QStringLiteral("StatusBar"));

  SxTrayIcon = new QSystemTrayIcon(this);
  SxTrayIcon->setObjectName(QStringLiteral("SxTrayIcon"));
  SxTrayIcon->setContextMenu(PopupMenuToolTips);
  connect(SxTrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) ActionRestoreExecute();
    if (reason == QSystemTrayIcon::Trigger) PopupMenuToolTips->popup(QCursor::pos());
  });
  SetTrayIconNumber(-1, 0);
}

void TFormMasterQVR::SetStatusText(const QString& text) {
  if (SxTrayIcon) SxTrayIcon->setToolTip(text);
  if (StatusPanels[2]) StatusPanels[2]->setText(text);
}

void TFormMasterQVR::SetTrayIconNumber(int number, int color) {
  if (!SxTrayIcon) return;
  QIcon icon;
  if (number == -1) {
    icon = QIcon::fromTheme(QStringLiteral("media-optical"), windowIcon());
  } else if (number != -2) {
    // The number alone, in the colour given, on a transparent 16 x 16 icon.
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(11);
    painter.setFont(font);
    painter.setPen(ColorOf(color));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QString::number(number));
    painter.end();
    icon = QIcon(pixmap);
  }
  SxTrayIcon->setIcon(icon);
  SxTrayIcon->setVisible(!icon.isNull() && QSystemTrayIcon::isSystemTrayAvailable());
}

void TFormMasterQVR::SetScreenCursor(int cursor) {
  if (cursor == -1) {
    ApplyScreenCursor(SavedCursor);
    return;
  }
  SavedCursor = ScreenCursor;
  ApplyScreenCursor(cursor);
}

void TFormMasterQVR::ApplyScreenCursor(int cursor) {
  ScreenCursor = cursor;
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  if (cursor != 0) QGuiApplication::setOverrideCursor(QCursor(CursorShapeOf(cursor)));
}
