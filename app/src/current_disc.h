#pragma once
// What the disc space panel needs from the data burner: the medium in the
// selected drive and what the recorder can write.

#include "compilation/disc_space.h"

namespace qvr::data {
class TDiscBurner;
}

namespace qvr::app {

// Not ready when there is no burner yet.
TCurrentDisc CurrentDiscOf(data::TDiscBurner* burner);
// Empty (every family shown) when there is no burner yet.
TCanWrite RecorderCapabilitiesOf(data::TDiscBurner* burner);

}  // namespace qvr::app
