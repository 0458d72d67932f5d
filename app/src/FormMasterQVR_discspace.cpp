// The disc space panel at the bottom of the window, the totals of the status
// bar and the log, and the volume label templates.
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "FormMasterQVR.h"
#include "compilation/label_template.h"
#include "compilation/size_text.h"
#include "current_disc.h"
#include "small/FormDrop.h"

using namespace qvr::app;

namespace {

constexpr const char* kFamilies[] = {"DataCD", "AudioCD", "DVD", "DVDDL", "BLURAY", "HDDVD"};

// The label texts name colours the way the language files do ("clRed").
QString ToDisplayHtml(QString html) {
  return html.replace(QStringLiteral("\"clRed\""), QStringLiteral("\"#d00000\""), Qt::CaseInsensitive);
}

QString PanelStyle(TSpaceColor color) {
  int r, g, b;
  SpaceColorRgb(color, r, g, b);
  const bool dark = color == TSpaceColor::Grey;
  return QStringLiteral("QFrame#%1 { background: rgb(%2,%3,%4); border: 1px solid rgba(0,0,0,90); border-radius: 3px; }"
                        " QLabel { color: %5; background: transparent; }")
      .arg(QStringLiteral("%1"), QString::number(r), QString::number(g), QString::number(b),
           dark ? QStringLiteral("white") : QStringLiteral("black"));
}

}  // namespace

void TFormMasterQVR::SetUpDiscSpacePanel() {
  PanelDiscSpace->setFixedHeight(52);
  auto* row = new QHBoxLayout(PanelDiscSpace);
  row->setContentsMargins(0, 2, 0, 2);
  row->setSpacing(4);
  const auto label = [&](const QString& name, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QStringLiteral("JvHTLabelDiscSpace") + name);
    l->setTextFormat(Qt::RichText);
    l->setAlignment(Qt::AlignCenter);
    DiscSpaceLabels.insert(name, l);
    return l;
  };
  const auto block = [&](const QString& name, const QString& first, const QString& second) {
    auto* panel = new QFrame(PanelDiscSpace);
    panel->setObjectName(QStringLiteral("PanelDiscSpace") + name);
    panel->setMinimumWidth(78);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(4, 1, 4, 1);
    column->setSpacing(0);
    column->addWidget(label(first, panel));
    column->addWidget(label(second, panel));
    row->addWidget(panel);
    DiscSpacePanels.insert(name, panel);
    return panel;
  };
  block(QStringLiteral("GeneralSize"), QStringLiteral("TotalData"), QStringLiteral("TotalAudio"))
      ->setFrameShape(QFrame::StyledPanel);
  block(QStringLiteral("GeneralFilesDirs"), QStringLiteral("TotalFiles"), QStringLiteral("TotalDirs"))
      ->setFrameShape(QFrame::StyledPanel);
  for (const char* family : kFamilies) {
    const QString name = QLatin1String(family);
    block(name, name + QStringLiteral("Caption"), name + QStringLiteral("Percent"));
  }
  block(QStringLiteral("Current"), QStringLiteral("CurrentCaption"), QStringLiteral("CurrentPercent"));
  row->addStretch();
}

void TFormMasterQVR::RefreshDiscSpace() {
  const TCurrentDisc disc = CurrentDisc ? CurrentDisc() : CurrentDiscOf(DiscBurnerComponent);
  const TCanWrite can_write = RecorderCanWrite ? RecorderCanWrite : RecorderCapabilitiesOf(DiscBurnerComponent);
  const TSpaceTexts texts = [this](int key, const QStringList& lines) { return GetLangTextReplace(27, key, lines); };
  LastDiscSpace = ComputeDiscSpace(Queue.TotalDuration(), Queue.TotalFileSize(), Queue.FileCount, Queue.FolderCount,
                                   can_write, disc, texts);
  const TDiscSpaceView& view = LastDiscSpace;
  DiscSpaceLabels.value(QStringLiteral("TotalData"))->setText(ToDisplayHtml(view.TotalData));
  DiscSpaceLabels.value(QStringLiteral("TotalAudio"))->setText(ToDisplayHtml(view.TotalAudio));
  DiscSpaceLabels.value(QStringLiteral("TotalFiles"))->setText(ToDisplayHtml(view.Files));
  DiscSpaceLabels.value(QStringLiteral("TotalDirs"))->setText(ToDisplayHtml(view.Dirs));
  const auto show = [&](const QString& name, const TSpacePanel& panel) {
    QFrame* frame = DiscSpacePanels.value(name);
    frame->setVisible(panel.Visible);
    frame->setStyleSheet(PanelStyle(panel.Color).arg(frame->objectName()));
    DiscSpaceLabels.value(name + QStringLiteral("Percent"))->setText(ToDisplayHtml(panel.PercentHtml));
  };
  for (int i = 0; i < kFamilyCount; ++i) show(QLatin1String(kFamilies[i]), view.Families[i]);
  show(QStringLiteral("Current"), view.Current);
  QLabel* percent = DiscSpaceLabels.value(QStringLiteral("CurrentPercent"));
  QFont font = DiscSpaceLabels.value(QStringLiteral("HDDVDPercent"))->font();
  if (view.CurrentSmallFont) font.setPointSize(7);
  percent->setFont(font);
  for (QWidget* widget : {static_cast<QWidget*>(DiscSpacePanels.value(QStringLiteral("Current"))),
                          static_cast<QWidget*>(percent),
                          static_cast<QWidget*>(DiscSpaceLabels.value(QStringLiteral("CurrentCaption")))}) {
    widget->setToolTip(view.CurrentHint);
  }
}

QString TFormMasterQVR::SizeSummaryText() const {
  return GetLangTextReplace(11, 31, SizeReplacements(Queue.TotalFileSize()));
}

QString TFormMasterQVR::StatusSizeText() const {
  return GetLangTextReplace(15, 0, SizeReplacements(Queue.TotalFileSize()));
}

QString TFormMasterQVR::DurationSummaryText(double seconds) const {
  return GetLangTextReplace(11, 33, DurationReplacements(seconds));
}

QString TFormMasterQVR::StatusDurationText(double seconds) const {
  return GetLangTextReplace(15, 1, DurationReplacements(seconds));
}

void TFormMasterQVR::UpdateDropWindowTotals() {
  if (!FormDrop) return;
  const TDurationParts parts = DurationPartsOf(Queue.TotalDuration());
  FormDrop->ShowTotals(Queue.CountFileItems(), Queue.CountFolderItems(),
                       FormatSize(kUnitAuto, 2, Queue.TotalFileSize()),
                       QStringLiteral("%1:%2:%3").arg(parts.Minutes).arg(parts.Seconds).arg(parts.MSeconds));
}

QString TFormMasterQVR::ExpandLabelTemplate(const QString& label_template) const {
  return qvr::app::ExpandLabelTemplate(label_template, {Config.DataVolumeIncrement, Queue.FileCount, Queue.FolderCount,
                                                        QDateTime::currentDateTime(), QLocale()});
}

QString TFormMasterQVR::ExpandAudioLabelTemplate(const QString& label_template) const {
  return qvr::app::ExpandLabelTemplate(label_template, {Config.AudioVolumeIncrement, Queue.FileCount,
                                                        Queue.FolderCount, QDateTime::currentDateTime(), QLocale()});
}

void TFormMasterQVR::RefreshOnShow() {
  StatusPanels[0]->setText(StatusSizeText());
  StatusPanels[1]->setText(StatusDurationText(Queue.TotalDuration()));
  RefreshDiscSpace();
  UpdateActions(true);
  Action(QStringLiteral("ActionRestore"))->setEnabled(false);
  Action(QStringLiteral("ActionMinimize"))->setEnabled(true);
  Action(QStringLiteral("ActionPaste"))->setEnabled(ClipboardHasFileList());
}
