#pragma once
// The confirmation question with its "don't display this message again" box.

#include <QDialog>
#include <functional>

#include "config/settings.h"

class QCheckBox;
class QLabel;

namespace qvr::lang {
class TLanguage;
}

enum class TWarningAnswer { Yes, No, Cancel, Closed };

// Asks unless the question's don't-ask key is set (then it counts as Yes).
// `ask` shows the question with the box ticked as given and returns the
// answer with the box's final state. Afterwards the last answer is Yes or not
// and the don't-ask key is the box state, whatever the answer. True to go on.
bool RunConfirmation(qvr::config::TConfirmationKeys& keys, const std::function<TWarningAnswer(bool& box)>& ask);

class TFormWarning : public QDialog {
  Q_OBJECT
 public:
  TFormWarning(const qvr::lang::TLanguage& texts, const QString& caption, const QString& message, bool box_ticked,
               QWidget* parent = nullptr);
  TWarningAnswer Answer() const { return answer_; }
  bool BoxTicked() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Finish(TWarningAnswer answer);
  QLabel* LabelMessage;
  QCheckBox* CheckBoxDontDisplay;
  TWarningAnswer answer_ = TWarningAnswer::Closed;
};
