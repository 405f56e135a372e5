// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes through content detection and every container reader, then through the TIFF blocks they find.
// Nothing may read outside the input, hang, or name a field or block outside the file; a refused file names none.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "meta/formats/container.h"

using namespace morrowtide::meta;

namespace {

bool inside(std::uint64_t size, std::uint64_t offset, std::uint64_t length) {
    return length <= size && offset <= size - length;
}

void check(const ByteSource& source, std::string_view extension) {
    const std::uint64_t size = source.size();
    ContainerScan scan = scanContainer(source, extension);
    if (!scan.dates.problem.empty() && (!scan.dates.fields.empty() || !scan.blocks.empty() || !scan.checksums.empty())) {
        std::abort();
    }
    for (const EmbeddedBlock& block : scan.blocks) {
        if (!inside(size, block.offset, block.length)) std::abort();
    }
    for (const ChecksumRegion& region : scan.checksums) {
        if (!inside(size, region.offset, region.length) || !inside(size, region.checksumOffset, 4)) std::abort();
    }
    const DateFieldScan dates = allDateFields(source, scan);
    if (!dates.problem.empty() && !dates.fields.empty()) std::abort();
    for (const DateField& field : dates.fields) {
        // Only a text copy (XMP, IPTC) may be empty; the fixed-width fields always have their width.
        const bool text = field.encoding == DateEncoding::Iso8601 || field.encoding == DateEncoding::IptcDate ||
                          field.encoding == DateEncoding::IptcTime;
        if ((field.width == 0 && !text) || !inside(size, field.offset, field.width)) std::abort();
    }
    for (const EmbeddedBlock& block : scan.blocks) {
        if (!inside(size, block.offset, block.length)) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const MemoryByteSource source(std::string_view(reinterpret_cast<const char*>(bytes), size));
    // The extension only decides for QuickTime without ftyp and for XMP text.
    check(source, ".mov");
    check(source, ".xmp");
    return 0;
}
