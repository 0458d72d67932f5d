#include "embedded_storage.h"

#include <string_view>

// Written by qvr_sfp_pack at build time.
extern const unsigned char kQvrStoredData[];
extern const unsigned long kQvrStoredData_size;

namespace qvr::app {

const storage::TFileStorage& EmbeddedFileStorage() {
  static const storage::TFileStorage storage = [] {
    storage::TFileStorage loaded;
    loaded.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(kQvrStoredData), kQvrStoredData_size));
    return loaded;
  }();
  return storage;
}

}  // namespace qvr::app
