#pragma once
// How well the compilation fits on each medium family and on the disc in the
// drive: colours, percentages and label texts for the disc space panel.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace qvr::app {

enum class TSpaceColor { Green, Yellow, Red, Grey };

struct TSpacePanel {
  bool Visible = true;
  TSpaceColor Color = TSpaceColor::Green;
  int Percent = 0;
  QString PercentHtml;
};

// What the drive reports about its medium (from the data burner).
struct TCurrentDisc {
  bool UnitReady = false;
  bool Writable = false;
  uint32_t FreeBlocks = 0;
  QString MediumName;
};

// Recorder capability codes of QueryDevice (21 CD-R ... 32 BD-RE).
using TCanWrite = std::function<bool(int code)>;
// Text `key` of the disc space section with "name=value" lines filled in.
using TSpaceTexts = std::function<QString(int key, const QStringList& replacements)>;

enum TSpaceFamily { kFamilyDataCD, kFamilyAudioCD, kFamilyDVD, kFamilyDVDDL, kFamilyBluRay, kFamilyHDDVD, kFamilyCount };

struct TDiscSpaceView {
  QString TotalData, TotalAudio, Files, Dirs;
  std::array<TSpacePanel, kFamilyCount> Families;
  TSpacePanel Current;
  bool CurrentSmallFont = false;  // the "Not Ready" text
  QString CurrentHint;            // lines joined by CR LF
};

// `can_write` empty: the recorder is not known yet and every family is shown.
TDiscSpaceView ComputeDiscSpace(double duration_seconds, uint64_t bytes, int files, int dirs,
                                const TCanWrite& can_write, const TCurrentDisc& disc, const TSpaceTexts& texts);

// Red, green, blue of a colour.
void SpaceColorRgb(TSpaceColor color, int& r, int& g, int& b);

}  // namespace qvr::app
