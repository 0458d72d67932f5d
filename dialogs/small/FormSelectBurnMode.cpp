#include "small/FormSelectBurnMode.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "language/language.h"

TFormSelectBurnMode::TFormSelectBurnMode(const qvr::lang::TLanguage& texts, std::function<void()> burn_data,
                                         std::function<void()> burn_audio, std::function<void()> cancel,
                                         QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("FormSelectBurnMode"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setWindowTitle(texts.GetLangText(14, 0));
  auto* layout = new QHBoxLayout(this);
  const std::pair<const char*, std::function<void()>> buttons[] = {
      {"ButtonBurnData", std::move(burn_data)}, {"ButtonBurnAudio", std::move(burn_audio)},
      {"ButtonCancel", std::move(cancel)}};
  for (int i = 0; i < 3; ++i) {
    auto* button = new QPushButton(texts.GetLangText(14, i + 1), this);
    button->setObjectName(QLatin1String(buttons[i].first));
    button->setMinimumHeight(40);
    std::function<void()> run = buttons[i].second;
    connect(button, &QPushButton::clicked, this, [this, run] {
      if (run) run();
      close();
    });
    layout->addWidget(button);
  }
}
