#pragma once
// Writes the metadata of a laid-out image (the header): system area, volume
// descriptors, the UDF fixed sectors, path tables, ISO and Joliet directory
// extents and the boot catalog, up to the first sector of streamed content.

#include <cstdint>
#include <vector>

#include "qvr/data/image_layout.h"

namespace qvr::data {

// Requires a layout made by PrepareLayout for the same tree and options.
std::vector<uint8_t> WriteHeader(const ImageTree& tree, const ImageOptions& options, const ImageLayout& layout,
                                 const UdfBridge& udf);

}  // namespace qvr::data
