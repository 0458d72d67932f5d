#pragma once
// The choice between a data burn and an audio CD burn.

#include <QDialog>
#include <functional>

namespace qvr::lang {
class TLanguage;
}

class TFormSelectBurnMode : public QDialog {
  Q_OBJECT
 public:
  TFormSelectBurnMode(const qvr::lang::TLanguage& texts, std::function<void()> burn_data,
                      std::function<void()> burn_audio, std::function<void()> cancel, QWidget* parent = nullptr);
};
