// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as an XMP packet through the date locator and the codec. Every field must lie inside the input;
// shifting changes only digits inside the fields, so the shifted packet has the very same fields, and shifting
// what moved back restores the input byte for byte. The same bytes cut into two extended-XMP parts give the same fields, less
// those that straddle the cut.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "meta/formats/date_codec.h"
#include "meta/formats/xmp_dates.h"

using namespace morrowtide::meta;

namespace {

constexpr std::uint64_t kOffset = 7;  // the packet does not start the "file"

std::string shiftedBy(const std::string& file, const DateFieldScan& scan, std::int64_t seconds,
                      std::vector<DateField>* moved = nullptr) {
    const DatePatchPlan result = shiftDateFields(scan.fields, MemoryByteSource(file), DateMapping::bySeconds(seconds));
    if (result.reports.size() != scan.fields.size()) std::abort();
    std::string out = file;
    for (const BytePatch& patch : result.patches) {
        bool onAField = false;
        for (const DateField& field : scan.fields) {
            onAField = onAField || (patch.offset == field.offset && patch.bytes.size() == field.width);
        }
        if (!onAField) std::abort();
        out.replace(static_cast<std::size_t>(patch.offset), patch.bytes.size(), patch.bytes);
    }
    if (moved != nullptr) {
        for (const FieldReport& report : result.reports) {
            if (report.outcome == DateOutcome::Shifted) moved->push_back(scan.fields[report.field]);
        }
    }
    return out;
}

bool sameFields(const DateFieldScan& a, const DateFieldScan& b) {
    if (a.fields.size() != b.fields.size()) return false;
    for (std::size_t i = 0; i < a.fields.size(); ++i) {
        if (a.fields[i].offset != b.fields[i].offset || a.fields[i].width != b.fields[i].width ||
            a.fields[i].name != b.fields[i].name) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    const std::string file = std::string(kOffset, '#') + std::string(input);
    const DateFieldScan scan = findXmpDates(input, kOffset);
    for (const DateField& field : scan.fields) {
        if (field.offset < kOffset || field.offset - kOffset + field.width > size) std::abort();
        if (field.encoding != DateEncoding::Iso8601 || field.group.empty() || field.name.empty()) std::abort();
    }

    DateFieldScan moved;
    const std::string forward = shiftedBy(file, scan, 3600, &moved.fields);
    const DateFieldScan again = findXmpDates(std::string_view(forward).substr(kOffset), kOffset);
    if (!sameFields(scan, again)) std::abort();
    // What moved forward comes back; what could not move stays as it was.
    if (shiftedBy(forward, moved, -3600) != file) std::abort();

    // Two extended parts cut where the first byte says.
    if (size > 1) {
        const std::size_t cut = 1 + static_cast<std::uint8_t>(input[0]) * (size - 1) / 256;
        const auto whole = static_cast<std::uint32_t>(size);
        ExtendedXmpPart first{"G", whole, 0, input.substr(0, cut), 1000};
        ExtendedXmpPart second{"G", whole, static_cast<std::uint32_t>(cut), input.substr(cut), 5000};
        const DateFieldScan parts = findExtendedXmpDates({second, first});
        const DateFieldScan plain = findXmpDates(input, 0);
        if (!parts.problem.empty() || parts.fields.size() + parts.skipped.size() != plain.fields.size()) std::abort();
        for (const DateField& field : parts.fields) {
            const ExtendedXmpPart& holder = field.offset >= 5000 ? second : first;
            if (field.offset + field.width > holder.fileOffset + holder.bytes.size()) std::abort();
        }
    }
    return 0;
}
