// SPDX-License-Identifier: GPL-3.0-or-later
// Minolta notes: a bare directory with offsets from the EXIF TIFF header.
#include "meta/makernote/maker_tables.h"

namespace morrowtide::meta::makernote {

namespace {

constexpr TagRow kMinolta[] = {
    {0x0000, "ModelID"},
    {0x0E00, "PIMdata"},
};
static_assert(std::size(kMinolta) == 2);

}  // namespace

std::span<const TagRow> minoltaTable() {
    return kMinolta;
}

}  // namespace morrowtide::meta::makernote
