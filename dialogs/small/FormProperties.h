#pragma once
// Properties of one compilation item, shown without waiting.

#include <QDialog>
#include <QIcon>

namespace qvr::lang {
class TLanguage;
}

struct TItemProperties {
  QString Name, TypeName, Path, Modified, Attributes, Sizes;
  QIcon Icon;
  bool IsFolder = false;
  bool HasSource = true;  // false: the path shows as manually created and cannot run
  int Files = 0, Folders = 0;
};

class TFormProperties : public QDialog {
  Q_OBJECT
 public:
  TFormProperties(const qvr::lang::TLanguage& texts, const TItemProperties& item, QWidget* parent = nullptr);
};
