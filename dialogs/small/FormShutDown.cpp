#include "small/FormShutDown.h"

#include <QGridLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include "language/language.h"

TFormShutDown::TFormShutDown(const qvr::lang::TLanguage& texts, QStringList command, std::function<void()> close_main,
                             std::function<void()> show_main, QWidget* parent)
    : QDialog(parent), command_(std::move(command)), close_main_(std::move(close_main)), show_main_(std::move(show_main)) {
  setObjectName(QStringLiteral("FormShutDown"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowTitle(texts.GetLangText(13, 0));
  LabelSecondsRemaining = new QLabel(QString::number(counter_), this);
  LabelSecondsRemaining->setObjectName(QStringLiteral("LabelSecondsRemaining"));
  QFont big = LabelSecondsRemaining->font();
  big.setPointSize(big.pointSize() * 2);
  big.setBold(true);
  LabelSecondsRemaining->setFont(big);
  auto* now = new QPushButton(texts.GetLangText(13, 3), this);
  now->setObjectName(QStringLiteral("ButtonShutdownNow"));
  auto* cancel = new QPushButton(texts.GetLangText(13, 4), this);
  cancel->setObjectName(QStringLiteral("ButtonCloseShutdown"));
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(texts.GetLangText(13, 1), this), 0, 0);
  layout->addWidget(LabelSecondsRemaining, 0, 1, Qt::AlignCenter);
  layout->addWidget(new QLabel(texts.GetLangText(13, 2), this), 0, 2);
  layout->addWidget(now, 1, 0, 1, 2);
  layout->addWidget(cancel, 1, 2);
  Timer = new QTimer(this);
  Timer->setInterval(1000);
  connect(Timer, &QTimer::timeout, this, &TFormShutDown::Tick);
  connect(now, &QPushButton::clicked, this, &TFormShutDown::ShutdownNow);
  connect(cancel, &QPushButton::clicked, this, [this] {
    Timer->stop();
    if (show_main_) show_main_();
    close();
  });
}

void TFormShutDown::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  raise();
  Timer->start();
}

void TFormShutDown::Tick() {
  --counter_;
  LabelSecondsRemaining->setText(QString::number(counter_));
  if (counter_ <= 0) ShutdownNow();
}

void TFormShutDown::ShutdownNow() {
  Timer->stop();
  if (!command_.isEmpty()) QProcess::startDetached(command_.first(), command_.mid(1));
  if (close_main_) close_main_();
  close();
}
