// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/formats/file_dates.h"

#include <algorithm>
#include <cerrno>

#include "meta/formats/date_codec.h"
#include "meta/formats/readers.h"
#include "meta/safe_file.h"

namespace morrowtide::meta {

namespace {

// The piece a checksum region is read in: memory stays small however long the chunk.
constexpr std::size_t kChecksumPiece = std::size_t{1} << 20;

// Lower is trusted more; -1: not a capture date.
int captureRank(const DateField& field) {
    switch (field.encoding) {
        case DateEncoding::ExifAscii:
            return field.role == DateRole::Original ? 0 : field.role == DateRole::Digitized ? 1 : 2;
        case DateEncoding::Iso8601:
            return field.role == DateRole::Original ? 3 : field.role == DateRole::Digitized ? 4 : -1;
        case DateEncoding::QuickTimeSeconds32:
        case DateEncoding::QuickTimeSeconds64:
            if (field.role != DateRole::Digitized) return -1;
            return field.group == "QuickTime" ? 5 : 6;
        case DateEncoding::IptcDate:
        case DateEncoding::IptcTime:
        case DateEncoding::PngTime:
        case DateEncoding::ExifZoneOffset:
            break;
    }
    return -1;
}

}  // namespace

FieldBytes::FieldBytes(const ByteSource& source, const std::vector<DateField>& fields) : size_(source.size()) {
    for (const DateField& field : fields) {
        std::string bytes;
        if (source.read(field.offset, field.width, bytes)) pieces_[field.offset] = std::move(bytes);
    }
}

bool FieldBytes::read(std::uint64_t offset, std::size_t length, std::string& out) const {
    auto found = pieces_.upper_bound(offset);
    if (found == pieces_.begin()) return false;
    --found;
    const std::uint64_t skip = offset - found->first;
    if (skip > found->second.size() || length > found->second.size() - skip) return false;
    out.assign(found->second, static_cast<std::size_t>(skip), length);
    return true;
}

FileDates readFileDates(const ByteSource& source, std::string_view extension) {
    ContainerScan scan = scanContainer(source, extension);
    DateFieldScan dates = allDateFields(source, scan);
    FileDates out;
    out.kind = scan.kind;
    out.brand = scan.brand;
    out.notes = scan.notes;
    out.make = scan.make;
    out.model = scan.model;
    if (!dates.problem.empty()) {
        out.problem = dates.problem;
        return out;
    }
    out.fields = std::move(dates.fields);
    out.notes.insert(out.notes.end(), dates.skipped.begin(), dates.skipped.end());
    out.checksums = std::move(scan.checksums);
    out.hasExif = std::any_of(scan.blocks.begin(), scan.blocks.end(),
                              [](const EmbeddedBlock& block) { return block.kind == BlockKind::Tiff; });
    out.blocks = std::move(scan.blocks);
    return out;
}

CaptureField captureFieldOf(const std::vector<DateField>& fields, const ByteSource& values) {
    CaptureField best;
    int bestRank = -1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const int rank = captureRank(fields[i]);
        if (rank < 0 || (bestRank >= 0 && rank >= bestRank)) continue;
        std::string bytes;
        if (!values.read(fields[i].offset, fields[i].width, bytes)) continue;
        const std::optional<ParsedDate> parsed = parseDateField(fields[i].encoding, bytes);
        // A date without its time would name the photo after midnight.
        if (!parsed || parsed->precision < DatePrecision::Minute) continue;
        best.index = static_cast<int>(i);
        best.utc = fields[i].encoding == DateEncoding::QuickTimeSeconds32 ||
                   fields[i].encoding == DateEncoding::QuickTimeSeconds64;
        bestRank = rank;
    }
    return best;
}

void writePatchedCopy(const SourceFile& source, SafeFileWriter& out, const std::vector<BytePatch>& patches,
                      const std::vector<ChecksumRegion>& checksums) {
    const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(0, source.size()));
    for (const BytePatch& patch : patches) {
        if (!formats::spanFits(size, patch.offset, patch.bytes.size())) {
            throw WriteError(streamWriteMessage(out.path(), EINVAL));
        }
    }
    out.copyFrom(source, 0, static_cast<std::int64_t>(size));
    for (const BytePatch& patch : patches) out.writeAt(static_cast<std::int64_t>(patch.offset), patch.bytes);

    // Patches and regions are sorted once and walked together: a PNG of many chunks costs its count, not the
    // count of its patches times that of its chunks.
    std::vector<const BytePatch*> sorted;
    sorted.reserve(patches.size());
    for (const BytePatch& patch : patches) sorted.push_back(&patch);
    std::sort(sorted.begin(), sorted.end(), [](const BytePatch* a, const BytePatch* b) { return a->offset < b->offset; });
    // reach[i]: the furthest end of the patches up to i, so that patches of any length and order can be passed by
    // as soon as none of them reaches the bytes still to come.
    std::vector<std::uint64_t> reach(sorted.size());
    std::uint64_t furthest = 0;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        furthest = std::max<std::uint64_t>(furthest, sorted[i]->offset + sorted[i]->bytes.size());
        reach[i] = furthest;
    }
    std::vector<const ChecksumRegion*> regions;
    regions.reserve(checksums.size());
    for (const ChecksumRegion& region : checksums) regions.push_back(&region);
    std::sort(regions.begin(), regions.end(),
              [](const ChecksumRegion* a, const ChecksumRegion* b) { return a->offset < b->offset; });

    std::size_t first = 0;  // the patches before it end before the current region
    for (const ChecksumRegion* region : regions) {
        while (first < sorted.size() && reach[first] <= region->offset) ++first;
        // Patch `first` ends past the region's start; it or a later one falls inside only if it starts before the end.
        if (first == sorted.size() || sorted[first]->offset >= region->offset + region->length) continue;
        if (!formats::spanFits(size, region->offset, region->length) ||
            !formats::spanFits(size, region->checksumOffset, 4)) {
            throw WriteError(streamWriteMessage(out.path(), EINVAL));
        }
        std::uint32_t crc = 0;
        std::string piece;
        std::size_t next = first;  // the patches before it end before the current piece
        const std::uint64_t end = region->offset + region->length;
        for (std::uint64_t at = region->offset; at < end; at += piece.size()) {
            piece.clear();
            const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kChecksumPiece, end - at));
            const std::int64_t got = source.readAt(static_cast<std::int64_t>(at), wanted, piece);
            if (got < 0) throw WriteError(streamWriteMessage(out.path(), errno));
            if (static_cast<std::size_t>(got) != wanted) throw WriteError(streamWriteMessage(out.path(), ENODATA));
            const std::uint64_t pieceEnd = at + piece.size();
            while (next < sorted.size() && reach[next] <= at) ++next;
            // The patched bytes, as the copy holds them.
            for (std::size_t k = next; k < sorted.size() && sorted[k]->offset < pieceEnd; ++k) {
                const BytePatch& patch = *sorted[k];
                const std::uint64_t from = std::max(patch.offset, at);
                const std::uint64_t to = std::min<std::uint64_t>(patch.offset + patch.bytes.size(), pieceEnd);
                for (std::uint64_t i = from; i < to; ++i) {
                    piece[static_cast<std::size_t>(i - at)] = patch.bytes[static_cast<std::size_t>(i - patch.offset)];
                }
            }
            crc = crc32(piece, crc);
        }
        const std::string stored{static_cast<char>(crc >> 24), static_cast<char>(crc >> 16),
                                 static_cast<char>(crc >> 8), static_cast<char>(crc)};
        out.writeAt(static_cast<std::int64_t>(region->checksumOffset), stored);
    }
}

}  // namespace morrowtide::meta
