// SPDX-License-Identifier: GPL-3.0-or-later
// The IPTC date locator: a walk over the image resources to the IPTC resource, then over its datasets.
#include "meta/formats/iptc_dates.h"

#include <array>

#include "meta/byte_reader.h"
#include "meta/formats/date_codec.h"

namespace morrowtide::meta {

namespace {

constexpr std::uint8_t kDatasetMarker = 0x1C;
constexpr std::uint16_t kIptcResource = 0x0404;

struct IptcDateDataset {
    std::uint8_t number;
    DateEncoding encoding;
    DateRole role;
    std::string_view name;
    int kind;  // a date and a time of the same kind pair up
};

constexpr std::array<IptcDateDataset, 4> kDateDatasets{{
    {55, DateEncoding::IptcDate, DateRole::Original, "DateCreated", 0},
    {60, DateEncoding::IptcTime, DateRole::Original, "TimeCreated", 0},
    {62, DateEncoding::IptcDate, DateRole::Digitized, "DigitalCreationDate", 1},
    {63, DateEncoding::IptcTime, DateRole::Digitized, "DigitalCreationTime", 1},
}};

const IptcDateDataset* dateDataset(unsigned record, unsigned number) {
    if (record != 2) return nullptr;
    for (const IptcDateDataset& dataset : kDateDatasets) {
        if (dataset.number == number) return &dataset;
    }
    return nullptr;
}

// Image-resource signatures: "8BIM" and the few others some writers use.
bool isResourceSignature(std::string_view signature) {
    return signature == "8BIM" || signature == "PHUT" || signature == "AgHg" || signature == "DCSR" ||
           signature == "MeSa";
}

}  // namespace

DateFieldScan findIptcDatasetDates(std::string_view iim, std::uint64_t fileOffset) {
    DateFieldScan scan;
    const ByteReader in(iim, true);
    // Per kind, the dates and times found in order.
    std::array<std::vector<std::size_t>, 2> dates, times;
    std::size_t pos = 0;
    while (in.fits(pos, 5) && in.u8(pos) == kDatasetMarker) {
        const unsigned record = in.u8(pos + 1);
        const unsigned number = in.u8(pos + 2);
        std::uint64_t size = in.u16(pos + 3);
        std::size_t header = 5;
        if (size & 0x8000) {
            // Extended form: the low bits say how many bytes of length follow.
            const std::size_t lengthBytes = size & 0x7FFF;
            if (lengthBytes == 0 || lengthBytes > 4 || !in.fits(pos + 5, lengthBytes)) break;
            size = 0;
            for (std::size_t i = 0; i < lengthBytes; ++i) size = (size << 8) | in.u8(pos + 5 + i);
            header += lengthBytes;
        }
        if (!in.fits(pos + header, static_cast<std::size_t>(size))) {
            if (dateDataset(record, number) != nullptr) {
                scan.skipped.push_back("IPTC dataset 2:" + std::to_string(number) + " runs past the end of its block");
            }
            break;
        }
        if (const IptcDateDataset* dataset = dateDataset(record, number)) {
            DateField field;
            field.offset = fileOffset + pos + header;
            field.width = static_cast<std::uint32_t>(size);
            field.encoding = dataset->encoding;
            field.role = dataset->role;
            field.group = "IPTC";
            field.name = std::string(dataset->name);
            auto& list = dataset->encoding == DateEncoding::IptcDate ? dates : times;
            list[static_cast<std::size_t>(dataset->kind)].push_back(scan.fields.size());
            scan.fields.push_back(std::move(field));
        }
        pos += header + static_cast<std::size_t>(size);
    }
    for (std::size_t kind = 0; kind < dates.size(); ++kind) {
        for (std::size_t n = 0; n < dates[kind].size() && n < times[kind].size(); ++n) {
            scan.fields[dates[kind][n]].partner = static_cast<std::int32_t>(times[kind][n]);
        }
    }
    return scan;
}

DateFieldScan findIptcResourceDates(std::string_view resources, std::uint64_t fileOffset) {
    DateFieldScan scan;
    const ByteReader in(resources, true);
    std::size_t pos = 0;
    // Signature, id, a Pascal name padded to an even length, a 32-bit size, the data padded to an even length.
    while (in.fits(pos, 4 + 2 + 2 + 4) && isResourceSignature(in.bytes(pos, 4))) {
        const std::uint16_t id = in.u16(pos + 4);
        const std::size_t nameLength = in.u8(pos + 6);
        const std::size_t sizeAt = pos + 6 + ((nameLength + 2) & ~std::size_t{1});
        if (!in.fits(sizeAt, 4)) break;
        const std::size_t size = in.u32(sizeAt);
        const std::size_t dataAt = sizeAt + 4;
        if (!in.fits(dataAt, size)) {
            // A resource that claims more than its block holds is not patched; only the dates in it are named.
            if (id == kIptcResource && dataAt <= resources.size()) {
                for (const DateField& field : findIptcDatasetDates(resources.substr(dataAt), 0).fields) {
                    scan.skipped.push_back("IPTC " + field.name + " in a resource that runs past the end of its block");
                }
            }
            break;
        }
        if (id == kIptcResource) {
            appendDateFields(scan, findIptcDatasetDates(in.bytes(dataAt, size), fileOffset + dataAt));
        }
        pos = dataAt + size + (size & 1);
    }
    return scan;
}

DateFieldScan findApp13IptcDates(std::string_view payload, std::uint64_t payloadFileOffset) {
    if (!payload.starts_with(kPhotoshopApp13Signature)) return {};
    const std::size_t start = kPhotoshopApp13Signature.size();
    return findIptcResourceDates(payload.substr(start), payloadFileOffset + start);
}

}  // namespace morrowtide::meta
