#include "small/FormDrop.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "language/language.h"

QPoint DropWindowPosition(int top, int left, QSize size) {
  QScreen* screen = QGuiApplication::screenAt(QPoint(left, top));
  if (!screen) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    return {area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2};
  }
  const QRect area = screen->geometry();
  return {std::min(left, area.right() - 12), std::min(top, area.bottom() - 12)};
}

TFormDrop::TFormDrop(const qvr::lang::TLanguage& texts, TDropWindowHost host, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      texts_(texts),
      host_(std::move(host)) {
  setObjectName(QStringLiteral("FormDrop"));
  setAcceptDrops(true);
  setFixedSize(170, 110);
  setToolTip(texts.GetLangText(19, 0));
  LabelFiles = new QLabel(this);
  LabelFolders = new QLabel(this);
  LabelSize = new QLabel(this);
  LabelDuration = new QLabel(this);
  const std::pair<QLabel*, int> labels[] = {{LabelFiles, 1}, {LabelFolders, 2}, {LabelSize, 3}, {LabelDuration, 6}};
  auto* close = new QPushButton(this);
  close->setObjectName(QStringLiteral("ImageClose"));
  close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
  close->setFlat(true);
  close->setToolTip(texts.GetLangText(19, 4));
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  auto* layout = new QGridLayout(this);
  layout->addWidget(close, 0, 1, Qt::AlignRight | Qt::AlignTop);
  int row = 1;
  for (const auto& [label, hint] : labels) {
    label->setToolTip(texts.GetLangText(19, hint));
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(label, row++, 0, 1, 2);
  }
}

void TFormDrop::ShowTotals(int files, int folders, const QString& size, const QString& duration) {
  LabelFiles->setText(QStringLiteral("<b>%1</b> files").arg(files));
  LabelFolders->setText(QStringLiteral("<b>%1</b> folders").arg(folders));
  LabelSize->setText(QStringLiteral("<b>%1</b>").arg(size.toHtmlEscaped()));
  LabelDuration->setText(duration.toHtmlEscaped());
}

void TFormDrop::Open(int top, int left, int opacity) {
  move(DropWindowPosition(top, left, size()));
  setWindowOpacity(std::clamp(opacity, 0, 255) / 255.0);
  show();
  raise();
}

void TFormDrop::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, 0, height());
  gradient.setColorAt(0, QColor(70, 130, 200));
  gradient.setColorAt(1, QColor(30, 70, 130));
  painter.setBrush(gradient);
  painter.setPen(QPen(QColor(20, 40, 80), 1));
  painter.drawRoundedRect(rect().adjusted(0, 0, -1, -1), 8, 8);
  QIcon disc = QIcon::fromTheme(QStringLiteral("media-optical"));
  if (!disc.isNull()) painter.drawPixmap(width() - 56, height() - 56, disc.pixmap(48, 48));
}

void TFormDrop::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFormDrop::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.append(url.toLocalFile());
  }
  event->acceptProposedAction();
  if (!paths.isEmpty() && host_.Dropped) host_.Dropped(paths);
}

void TFormDrop::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) drag_offset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TFormDrop::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - drag_offset_);
}

void TFormDrop::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  if (host_.BurnData) menu.addAction(texts_.GetLangText(2, 14), this, [this] { host_.BurnData(); });
  if (host_.BurnAudio) menu.addAction(texts_.GetLangText(2, 42), this, [this] { host_.BurnAudio(); });
  menu.addSeparator();
  menu.addAction(texts_.GetLangText(19, 5), this, &QWidget::close);
  menu.exec(event->globalPos());
}

void TFormDrop::closeEvent(QCloseEvent* event) {
  if (host_.Closed) host_.Closed(y(), x());
  QWidget::closeEvent(event);
}
