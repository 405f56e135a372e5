// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes through both paths of the metadata reader, from memory: as a JPEG and as a TIFF file. The reader
// must answer every input without crashing, leaving its buffers or hanging; the queries must stay consistent.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "meta/img_data.h"

using morrowtide::meta::ImgData;

namespace {
void checkConsistent(const ImgData& data) {
    // A section reference always points at a kept section, and the EXIF object exists exactly with its section.
    if (data.exifSectionIndex() >= data.sectionCount() || data.iptcSectionIndex() >= data.sectionCount() ||
        data.commentSectionIndex() >= data.sectionCount() || data.app0SectionIndex() >= data.sectionCount()) {
        std::abort();
    }
    if (data.hasExifBlock() != (data.exif() != nullptr)) std::abort();
    for (int i = 0; i < data.sectionCount(); ++i) {
        const auto& section = data.section(i);
        if (section.marker != 0 && static_cast<std::int64_t>(section.data.size()) != section.size) std::abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(bytes), size);
    ImgData data(255);
    data.readImageBytes("fuzz-input.jpg", input);
    checkConsistent(data);
    if (data.iptcSection() != nullptr) {
        if (data.iptc() == nullptr) std::abort();
        data.iptc()->parseIptcSection(data.iptcSection()->data);
        (void)data.iptc()->textLines();
    }
    // Reusing the container is what the batch run does; the TIFF path must not trip over the JPEG leftovers.
    data.readImageBytes("fuzz-input.tif", input);
    checkConsistent(data);
    return 0;
}
