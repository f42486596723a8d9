#pragma once
// A look at the directory of a compound file before it is opened: how wide its widest storage is
// and how deep its entry tree goes. The compound-file library sorts each storage's children by
// inserting them one at a time (time grows with the square of a storage's width) and walks the
// entry tree recursively (stack grows with its depth), so a hostile file is measured here first.

#include <cstdint>

namespace dornick {

struct CompoundDirectoryShape {
    bool measured = false;            ///< false: the header or the directory chain could not be followed
    uint32_t widest = 0;              ///< the most entries directly inside one storage
    uint32_t deepest = 0;             ///< the longest path of sibling and child links from the root
    uint32_t attachment_storages = 0; ///< storages named "__attach_version1.0_#..."
};

/// Measures the directory of the compound file in `data` (which begins with the signature). Links
/// that point outside the directory or back to an entry already seen are not followed.
CompoundDirectoryShape MeasureCompoundDirectory(const unsigned char* data, uint64_t size);

} // namespace dornick
