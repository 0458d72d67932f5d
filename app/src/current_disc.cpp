#include "current_disc.h"

#include "qvr/data/disc_burner.h"
#include "qvr/data/media_type.h"

namespace qvr::app {

TCurrentDisc CurrentDiscOf(data::TDiscBurner* burner) {
  TCurrentDisc disc;
  if (!burner || !burner->IsUnitReady()) return disc;
  disc.UnitReady = true;
  disc.Writable = burner->IsDiscWritable();
  disc.FreeBlocks = disc.Writable ? burner->GetFreeBlocks() : 0;
  disc.MediumName = QString::fromStdString(data::MediaTypeName(burner->GetMediaType()));
  return disc;
}

TCanWrite RecorderCapabilitiesOf(data::TDiscBurner* burner) {
  if (!burner) return {};
  return [burner](int code) { return burner->QueryDevice(static_cast<uint8_t>(code)) != 0; };
}

}  // namespace qvr::app
