#include "small/FormWarning.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "language/language.h"

bool RunConfirmation(qvr::config::TConfirmationKeys& keys, const std::function<TWarningAnswer(bool& box)>& ask) {
  if (keys.DontAsk) return true;
  bool box = keys.BoxTicked;
  const TWarningAnswer answer = ask(box);
  keys.LastAnswer = answer == TWarningAnswer::Yes;
  keys.DontAsk = box;
  return keys.LastAnswer;
}

TFormWarning::TFormWarning(const qvr::lang::TLanguage& texts, const QString& caption, const QString& message,
                           bool box_ticked, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("FormWarning"));
  setWindowTitle(caption);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setMinimumSize(392, 213);
  auto* icon = new QLabel(this);
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(48, 48));
  icon->setAlignment(Qt::AlignTop);
  LabelMessage = new QLabel(message, this);
  LabelMessage->setObjectName(QStringLiteral("LabelMessage"));
  LabelMessage->setWordWrap(true);
  CheckBoxDontDisplay = new QCheckBox(texts.GetLangText(17, 3), this);
  CheckBoxDontDisplay->setObjectName(QStringLiteral("CheckBoxDontDisplay"));
  CheckBoxDontDisplay->setChecked(box_ticked);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  const std::pair<const char*, TWarningAnswer> kinds[] = {
      {"ButtonYes", TWarningAnswer::Yes}, {"ButtonNo", TWarningAnswer::No}, {"ButtonCancel", TWarningAnswer::Cancel}};
  for (int i = 0; i < 3; ++i) {
    auto* button = new QPushButton(texts.GetLangText(17, i), this);
    button->setObjectName(QLatin1String(kinds[i].first));
    const TWarningAnswer answer = kinds[i].second;
    connect(button, &QPushButton::clicked, this, [this, answer] { Finish(answer); });
    buttons->addWidget(button);
    if (i == 0) button->setDefault(true);
  }
  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addWidget(LabelMessage, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(CheckBoxDontDisplay);
  layout->addLayout(buttons);
}

bool TFormWarning::BoxTicked() const { return CheckBoxDontDisplay->isChecked(); }

void TFormWarning::Finish(TWarningAnswer answer) {
  answer_ = answer;
  answer == TWarningAnswer::Yes ? accept() : reject();
}

void TFormWarning::closeEvent(QCloseEvent* event) {
  answer_ = TWarningAnswer::Closed;
  QDialog::closeEvent(event);
}
