// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/formats/container.h"

#include <algorithm>
#include <array>
#include <exception>
#include <limits>
#include <optional>
#include <utility>
#include <set>

#include "meta/ascii_case.h"
#include "meta/byte_reader.h"
#include "meta/formats/date_codec.h"
#include "meta/formats/iptc_dates.h"
#include "meta/formats/readers.h"
#include "meta/formats/xmp_dates.h"
#include "meta/image_info.h"
#include "meta/safe_file.h"
#include "meta/tag_tables.h"
#include "meta/tiff_walker.h"

namespace morrowtide::meta {

using formats::readPiece;
using formats::ScanProblem;
using formats::spanFits;

namespace {

struct ExtensionRow {
    std::string_view extension;
    ContainerKind kind;
};

constexpr std::array kExtensions{
    ExtensionRow{"jpg", ContainerKind::Jpeg},   ExtensionRow{"jpeg", ContainerKind::Jpeg},
    ExtensionRow{"jpe", ContainerKind::Jpeg},   ExtensionRow{"jfif", ContainerKind::Jpeg},
    ExtensionRow{"tif", ContainerKind::Tiff},   ExtensionRow{"tiff", ContainerKind::Tiff},
    ExtensionRow{"dng", ContainerKind::Tiff},   ExtensionRow{"cr2", ContainerKind::Tiff},
    ExtensionRow{"nef", ContainerKind::Tiff},   ExtensionRow{"nrw", ContainerKind::Tiff},
    ExtensionRow{"arw", ContainerKind::Tiff},   ExtensionRow{"sr2", ContainerKind::Tiff},
    ExtensionRow{"orf", ContainerKind::Tiff},   ExtensionRow{"rw2", ContainerKind::Tiff},
    ExtensionRow{"pef", ContainerKind::Tiff},   ExtensionRow{"srw", ContainerKind::Tiff},
    ExtensionRow{"iiq", ContainerKind::Tiff},   ExtensionRow{"3fr", ContainerKind::Tiff},
    ExtensionRow{"erf", ContainerKind::Tiff},   ExtensionRow{"mos", ContainerKind::Tiff},
    ExtensionRow{"raf", ContainerKind::Raf},    ExtensionRow{"heic", ContainerKind::IsoBmff},
    ExtensionRow{"heif", ContainerKind::IsoBmff}, ExtensionRow{"avif", ContainerKind::IsoBmff},
    ExtensionRow{"cr3", ContainerKind::IsoBmff},  ExtensionRow{"mp4", ContainerKind::IsoBmff},
    ExtensionRow{"mov", ContainerKind::IsoBmff},  ExtensionRow{"m4v", ContainerKind::IsoBmff},
    ExtensionRow{"3gp", ContainerKind::IsoBmff},  ExtensionRow{"png", ContainerKind::Png},
    ExtensionRow{"webp", ContainerKind::WebP},    ExtensionRow{"xmp", ContainerKind::XmpSidecar},
};

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Box types a QuickTime movie written before `ftyp` existed may start with.
bool isLegacyQuickTimeStart(std::string_view type) {
    return type == "moov" || type == "mdat" || type == "wide" || type == "free" || type == "skip" ||
           type == "pnot" || type == "uuid";
}

// The start of an XMP packet, after an optional byte-order mark and white space.
bool looksLikeXmp(std::string_view head, bool xmlAllowed) {
    if (startsWith(head, "\xEF\xBB\xBF")) head.remove_prefix(3);
    while (!head.empty() && (head.front() == ' ' || head.front() == '\t' || head.front() == '\r' ||
                             head.front() == '\n')) {
        head.remove_prefix(1);
    }
    return startsWith(head, "<?xpacket") || startsWith(head, "<x:xmpmeta") || startsWith(head, "<x:xapmeta") ||
           (xmlAllowed && (startsWith(head, "<?xml") || startsWith(head, "<rdf:RDF")));
}

void scanTiffFile(const ByteSource& source, ContainerScan& scan) {
    formats::recordBlock(scan, {BlockKind::Tiff, 0, source.size(), "file"});
}

void scanXmpSidecar(const ByteSource& source, ContainerScan& scan) {
    if (source.size() > formats::kMaxPiece) {
        throw ScanProblem("the XMP file is " + std::to_string(source.size()) + " bytes long, more than the " +
                          std::to_string(formats::kMaxPiece >> 20) + " MB an XMP sidecar may have");
    }
    formats::recordBlock(scan, {BlockKind::Xmp, 0, source.size(), "sidecar"});
}

// The role and name of a date tag the walker records.
struct TiffDateTag {
    std::uint16_t tag;
    DateRole role;
    const char* name;
};
constexpr TiffDateTag kTiffDateTags[] = {
    {0x0132, DateRole::Modified, "DateTime"},
    {0x9003, DateRole::Original, "DateTimeOriginal"},
    {0x9004, DateRole::Digitized, "DateTimeDigitized"},
};

DateField tiffField(std::uint64_t offset, std::uint32_t width, DateEncoding encoding, DateRole role,
                    const std::string& group, const char* name) {
    DateField field;
    field.offset = offset;
    field.width = width;
    field.encoding = encoding;
    field.role = role;
    field.group = group;
    field.name = name;
    return field;
}

// A date value the walker recorded, turned into a field of the file. False when its 19 bytes do not all lie inside
// the walked window.
bool addTiffDate(DateFieldScan& out, const EmbeddedBlock& block, std::uint64_t window, const DateValue& value) {
    constexpr std::uint32_t kWidth = 19;
    if (value.pos < 1 || value.size < static_cast<std::int32_t>(kWidth)) return true;  // nothing the codec could write
    const auto at = static_cast<std::uint64_t>(value.pos - 1);
    if (!spanFits(window, at, kWidth)) return false;
    for (const TiffDateTag& known : kTiffDateTags) {
        if (known.tag == value.tag) out.fields.push_back(tiffField(block.offset + at, kWidth, DateEncoding::ExifAscii,
                                                                   known.role, value.group, known.name));
    }
    return true;
}

// The zone offsets (OffsetTime and its kin) the walk recorded, each paired with the date of its directory whose zone
// it names; one without that date, or shorter than "+HH:MM", or cut by the window is left out (nothing moves it).
void addTiffZones(DateFieldScan& out, const EmbeddedBlock& block, std::uint64_t window, const ImageInfo& info) {
    struct ZoneTag {
        std::uint16_t tag;
        DateRole role;
        const char* name;
        std::int32_t datePos;
    };
    const ZoneTag zoneTags[] = {
        {0x9010, DateRole::Modified, "OffsetTime", info.dateTimePos},
        {0x9011, DateRole::Original, "OffsetTimeOriginal", info.dateTimeOriginalPos},
        {0x9012, DateRole::Digitized, "OffsetTimeDigitized", info.dateTimeDigitizedPos},
    };
    for (const DateValue& value : info.zoneValues) {
        if (value.pos < 1 || value.size < static_cast<std::int32_t>(kZoneOffsetWidth)) continue;
        const auto at = static_cast<std::uint64_t>(value.pos - 1);
        if (!spanFits(window, at, kZoneOffsetWidth)) continue;
        for (const ZoneTag& known : zoneTags) {
            if (known.tag != value.tag || known.datePos < 1) continue;
            const std::uint64_t dateAt = block.offset + static_cast<std::uint64_t>(known.datePos - 1);
            const auto date = std::find_if(out.fields.begin(), out.fields.end(), [&](const DateField& field) {
                return field.offset == dateAt && field.encoding == DateEncoding::ExifAscii;
            });
            if (date == out.fields.end()) continue;
            DateField field = tiffField(block.offset + at, kZoneOffsetWidth, DateEncoding::ExifZoneOffset, known.role,
                                        value.group, known.name);
            field.partner = static_cast<std::int32_t>(date - out.fields.begin());
            out.fields.push_back(std::move(field));
        }
    }
}

// The blocks and fields a container names must not share bytes: a patch of one would change the other.
void checkNoOverlap(const ContainerScan& scan) {
    struct Span {
        std::uint64_t offset, end;
        std::string_view what;
    };
    std::vector<Span> spans;
    for (const EmbeddedBlock& block : scan.blocks) spans.push_back({block.offset, block.offset + block.length, block.label});
    for (const DateField& field : scan.dates.fields) spans.push_back({field.offset, field.offset + field.width, field.name});
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.offset < b.offset; });
    for (std::size_t i = 1; i < spans.size(); ++i) {
        if (spans[i - 1].end > spans[i].offset) {
            throw ScanProblem(std::string(spans[i - 1].what) + " and " + std::string(spans[i].what) + " overlap");
        }
    }
}

}  // namespace

namespace formats {

std::string readPiece(const ByteSource& source, std::uint64_t offset, std::uint64_t length, std::string_view what) {
    if (length > kMaxPiece) {
        throw ScanProblem(std::string(what) + " is " + std::to_string(length) + " bytes long, more than the " +
                          std::to_string(kMaxPiece >> 20) + " MB of metadata read at a time");
    }
    if (!spanFits(source.size(), offset, length)) {
        throw ScanProblem(std::string(what) + " at " + std::to_string(offset) + " runs past the end of the file");
    }
    std::string bytes;
    if (!source.read(offset, static_cast<std::size_t>(length), bytes)) {
        throw ScanProblem(std::string(what) + " at " + std::to_string(offset) + " cannot be read");
    }
    return bytes;
}

void recordField(ContainerScan& scan, DateField field) {
    if (scan.dates.fields.size() >= kMaxContainerFields) {
        throw ScanProblem("the file holds more than " + std::to_string(kMaxContainerFields) +
                          " date fields, far more than a photo or video has");
    }
    scan.dates.fields.push_back(std::move(field));
}

void recordBlock(ContainerScan& scan, EmbeddedBlock block) {
    // allDateFields reads no more than these in all.
    if (scan.blocks.size() >= kMaxEmbeddedBlocks) {
        throw ScanProblem("the file holds more than " + std::to_string(kMaxEmbeddedBlocks) +
                          " blocks of metadata, far more than a photo or video has");
    }
    scan.blocks.push_back(std::move(block));
}

void recordNote(ContainerScan& scan, std::string note) {
    if (scan.notes.size() >= kMaxContainerNotes) return;
    if (std::find(scan.notes.begin(), scan.notes.end(), note) != scan.notes.end()) return;
    scan.notes.push_back(std::move(note));
}

std::string printableCode(std::string_view code) {
    std::string out;
    for (const char c : code) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            out += c;
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

}  // namespace formats

std::string_view containerName(ContainerKind kind) {
    switch (kind) {
        case ContainerKind::Jpeg: return "JPEG";
        case ContainerKind::Tiff: return "TIFF";
        case ContainerKind::Raf: return "RAF";
        case ContainerKind::IsoBmff: return "ISO-BMFF";
        case ContainerKind::Png: return "PNG";
        case ContainerKind::WebP: return "WebP";
        case ContainerKind::XmpSidecar: return "XMP";
        case ContainerKind::Unknown: break;
    }
    return "unknown";
}

ContainerKind containerOfExtension(std::string_view extension) {
    if (startsWith(extension, ".")) extension.remove_prefix(1);
    const std::string lower = asciiLower(extension);
    for (const ExtensionRow& row : kExtensions) {
        if (row.extension == lower) return row.kind;
    }
    return ContainerKind::Unknown;
}

ContainerKind detectContainer(const ByteSource& source, std::string_view extension) {
    std::string head;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(source.size(), 64));
    if (!source.read(0, wanted, head)) return ContainerKind::Unknown;
    const std::string_view h(head);
    if (startsWith(h, "\xFF\xD8\xFF")) return ContainerKind::Jpeg;
    if (startsWith(h, std::string_view("II*\0", 4)) || startsWith(h, std::string_view("MM\0*", 4)) ||
        startsWith(h, "IIRO") || startsWith(h, "IIRS") || startsWith(h, "MMOR") ||
        startsWith(h, std::string_view("IIU\0", 4))) {
        return ContainerKind::Tiff;
    }
    if (startsWith(h, "FUJIFILMCCD-RAW ")) return ContainerKind::Raf;
    if (startsWith(h, "\x89PNG\r\n\x1A\n")) return ContainerKind::Png;
    if (startsWith(h, "RIFF") && h.size() >= 12 && h.substr(8, 4) == "WEBP") return ContainerKind::WebP;
    const ContainerKind named = containerOfExtension(extension);
    if (h.size() >= 8 && (h.substr(4, 4) == "ftyp" ||
                          (named == ContainerKind::IsoBmff && isLegacyQuickTimeStart(h.substr(4, 4))))) {
        return ContainerKind::IsoBmff;
    }
    if (looksLikeXmp(h, named == ContainerKind::XmpSidecar)) return ContainerKind::XmpSidecar;
    return ContainerKind::Unknown;
}

ContainerScan scanContainer(const ByteSource& source, std::string_view extension) {
    ContainerScan scan;
    scan.kind = detectContainer(source, extension);
    try {
        switch (scan.kind) {
            case ContainerKind::Jpeg: formats::scanJpegBlocks(source, 0, source.size(), scan, "JPEG"); break;
            case ContainerKind::Tiff: scanTiffFile(source, scan); break;
            case ContainerKind::Raf: formats::scanRaf(source, scan); break;
            case ContainerKind::IsoBmff: formats::scanIsoBmff(source, scan); break;
            case ContainerKind::Png: formats::scanPng(source, scan); break;
            case ContainerKind::WebP: formats::scanWebP(source, scan); break;
            case ContainerKind::XmpSidecar: scanXmpSidecar(source, scan); break;
            case ContainerKind::Unknown: scan.dates.problem = "not a file type that can be read"; break;
        }
        checkNoOverlap(scan);
    } catch (const std::exception& failure) {
        // Nothing of a structure that could not be read is to be patched.
        scan.dates.fields.clear();
        scan.blocks.clear();
        scan.checksums.clear();
        scan.dates.problem = failure.what();
    }
    return scan;
}

namespace {

// Puts the block's first `window` bytes into `info` and answers the 1-based position of the first directory, or 0
// when it lies beyond them.
std::int64_t loadTiffWindow(const ByteSource& source, const EmbeddedBlock& block, std::uint64_t window,
                            ImageInfo& info) {
    const std::string bytes = readPiece(source, block.offset, window, "a TIFF block");
    const ByteReader reader(bytes);
    const std::string_view order = reader.bytesClamped(0, 2);
    if ((order != "II" && order != "MM") || !reader.fits(0, 8)) {
        throw ScanProblem("the " + block.label + " block does not start with a TIFF header");
    }
    info.bigEndian = order == "MM";
    const std::uint32_t first = ByteReader(bytes, info.bigEndian).u32(4);
    info.block = bytes;
    // TIFF offset X lies at 1-based block position X + 1.
    const std::int64_t start = (first == 0 ? 8 : static_cast<std::int64_t>(first)) + 1;
    return static_cast<std::uint64_t>(start) + 2 > window ? 0 : start;
}

// The blocks TIFF directories point at: XMP (tag 700), IPTC-IIM (33723), Photoshop image resources (34377).
std::optional<BlockKind> embeddedKind(std::uint16_t tag) {
    switch (tag) {
        case 0x02BC: return BlockKind::Xmp;
        case 0x83BB: return BlockKind::Iptc;
        case 0x8649: return BlockKind::PhotoshopResources;
        default: return std::nullopt;
    }
}

std::string_view embeddedLabel(BlockKind kind) {
    switch (kind) {
        case BlockKind::Xmp: return " XMP";
        case BlockKind::Iptc: return " IPTC";
        case BlockKind::PhotoshopResources: return " Photoshop";
        case BlockKind::Tiff: break;
    }
    return "";
}

constexpr std::string_view kRw2Header{"IIU\0", 4};

bool isRw2(std::string_view block) { return block.starts_with(kRw2Header); }

// Where the JPEG an RW2 file embeds lies in its block (offset, length): the value of IFD0's tag 0x002E, read by
// the directory walker from the directory at 1-based position `start`.
std::optional<std::pair<std::uint64_t, std::uint64_t>> rw2Jpeg(const ImageInfo& info, std::int64_t start) {
    constexpr std::uint16_t kJpegFromRaw = 0x002E;
    DirectoryLayout layout;
    layout.bigEndian = info.bigEndian;
    layout.countAt = start - 1;
    WalkBudget budget;
    const DirectoryReader directory(info.block, layout, budget);
    const unsigned count = directory.count();
    for (unsigned i = 0; i < count; ++i) {
        const DirectoryEntry entry = directory.entry(i);
        if (entry.tag == kJpegFromRaw && !entry.inlineValue()) {
            return std::pair{static_cast<std::uint64_t>(entry.valueAt), static_cast<std::uint64_t>(entry.size)};
        }
    }
    return std::nullopt;
}

// One walk of the block's first `window` bytes: every directory of it, the chain after the first and all SubIFDs
// included. False when the walk reached beyond them (the first directory, or a sub-directory that failed, lies
// further), so that a wider window may be tried; `last` when no wider one will be: a directory of the chain or a
// later SubIFD that cannot be read is then reported in `skipped` and the other dates are still found.
bool walkTiffWindow(const ByteSource& source, const EmbeddedBlock& block, std::uint64_t window, bool last,
                    DateFieldScan& out, std::vector<EmbeddedBlock>* blocks) {
    const bool whole = window == block.length;
    ImageInfo info(nullptr, 4);  // the tag list only: no text lines are wanted here
    info.directoryGroup = block.firstDirectory;
    const std::int64_t start = loadTiffWindow(source, block, window, info);
    if (start == 0) {
        if (!whole) return false;
        throw ScanProblem("the first directory of the " + block.label + " block lies past its end");
    }
    info.walkDirectory(start, 1, static_cast<std::int64_t>(window), kMainDirectory);
    // A sub-directory beyond the window would keep its dates unshifted while the others move.
    if (!info.walkFailures.empty() && !whole) return false;
    const std::size_t mainFailures = info.walkFailures.size();
    info.walkFollowingDirectories(1, static_cast<std::int64_t>(window));
    if (info.walkFailures.size() != mainFailures && !whole && !last) return false;

    out.fields.clear();
    out.skipped.clear();
    for (std::size_t i = mainFailures; i < info.walkFailures.size(); ++i) {
        out.skipped.push_back("a directory of the " + block.label + " block cannot be read (" + info.walkFailures[i] +
                              "); any dates in it are left as they are");
    }
    std::set<std::int32_t> taken;
    bool inside = true;
    for (const DateValue& value : info.dateValues) {
        // Two tags pointing at one value share it: it is moved once.
        if (!taken.insert(value.pos).second) continue;
        inside = addTiffDate(out, block, window, value) && inside;
    }
    // A date value the walk recorded but the window cut: a wider window may hold it; the whole block cannot.
    if (!inside && !whole) return false;
    addTiffZones(out, block, window, info);
    if (blocks == nullptr) return true;
    std::vector<EmbeddedBlock> found;
    for (const TagEntry& entry : info.entries) {
        const auto kind = embeddedKind(entry.tag);
        if (!kind || entry.rawPos < 1 || entry.rawSize <= 0) continue;
        const auto at = static_cast<std::uint64_t>(entry.rawPos - 1);
        const auto length = static_cast<std::uint64_t>(entry.rawSize);
        // A value cut by the window's end is not known to be whole.
        if (!whole && at + length >= window) return false;
        found.push_back({*kind, block.offset + at, length, block.label + std::string(embeddedLabel(*kind))});
    }
    if (isRw2(info.block)) {
        // The JPEG an RW2 file embeds keeps a second copy of the dates in its own EXIF.
        if (const auto jpeg = rw2Jpeg(info, start)) {
            ContainerScan inner;
            formats::scanJpegBlocks(source, block.offset + jpeg->first, jpeg->second, inner, "RW2 JPEG");
            found.insert(found.end(), inner.blocks.begin(), inner.blocks.end());
        }
    }
    blocks->insert(blocks->end(), found.begin(), found.end());
    return true;
}

}  // namespace

DateFieldScan tiffBlockDateFields(const ByteSource& source, const EmbeddedBlock& block,
                                  std::vector<EmbeddedBlock>* blocks) {
    DateFieldScan out;
    try {
        if (!spanFits(source.size(), block.offset, block.length)) {
            throw ScanProblem("the " + block.label + " block runs past the end of the file");
        }
        // Most files keep their directories near the start: a small window first, a wide one when that falls short.
        const std::uint64_t small = std::min(block.length, kFirstTiffWindow);
        const std::uint64_t wide = std::min(block.length, kMaxTiffWindow);
        if (!walkTiffWindow(source, block, small, wide == small, out, blocks)) {
            if (wide == small || !walkTiffWindow(source, block, wide, true, out, blocks)) {
                throw ScanProblem("a directory of the " + block.label + " block lies beyond its first " +
                                  std::to_string(wide) + " bytes");
            }
        }
    } catch (const std::exception& failure) {
        out.fields.clear();
        out.problem = failure.what();
    }
    return out;
}

std::string walkTiffBlock(const ByteSource& source, const EmbeddedBlock& block, ImageInfo& info) {
    try {
        if (!spanFits(source.size(), block.offset, block.length)) {
            throw ScanProblem("the " + block.label + " block runs past the end of the file");
        }
        const std::uint64_t window = std::min(block.length, kMaxTiffWindow);
        const std::int64_t start = loadTiffWindow(source, block, window, info);
        if (start == 0) throw ScanProblem("the first directory of the " + block.label + " block lies too far");
        info.walkDirectory(start, 1, static_cast<std::int64_t>(window), kMainDirectory);
        info.addFocalLength35mm();
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return {};
}

DateFieldScan allDateFields(const ByteSource& source, ContainerScan& scan) {
    DateFieldScan out = scan.dates;
    if (!out.problem.empty()) {
        out.fields.clear();
        return out;
    }
    // Blocks found inside blocks (the XMP a TIFF directory points at, the EXIF of an RW2 file's JPEG) are appended
    // and read in their turn.
    for (std::size_t i = 0; i < scan.blocks.size(); ++i) {
        if (i >= kMaxEmbeddedBlocks) {
            out.fields.clear();
            out.problem = "more than " + std::to_string(kMaxEmbeddedBlocks) + " embedded metadata blocks";
            return out;
        }
        const EmbeddedBlock block = scan.blocks[i];
        if (block.kind == BlockKind::Tiff) {
            std::vector<EmbeddedBlock> found;
            DateFieldScan inner = tiffBlockDateFields(source, block, &found);
            if (!inner.problem.empty()) {
                out.fields.clear();
                out.problem = inner.problem;
                return out;
            }
            appendDateFields(out, inner);
            scan.blocks.insert(scan.blocks.end(), found.begin(), found.end());
            continue;
        }
        std::string bytes;
        if (block.length > formats::kMaxPiece || !source.read(block.offset, static_cast<std::size_t>(block.length), bytes)) {
            out.skipped.push_back("the " + block.label + " block of " + std::to_string(block.length) +
                                  " bytes is not read; any dates in it are left as they are");
            continue;
        }
        switch (block.kind) {
            case BlockKind::Xmp: appendDateFields(out, findXmpDates(bytes, block.offset)); break;
            case BlockKind::Iptc: appendDateFields(out, findIptcDatasetDates(bytes, block.offset)); break;
            case BlockKind::PhotoshopResources:
                appendDateFields(out, findIptcResourceDates(bytes, block.offset));
                break;
            case BlockKind::Tiff: break;
        }
    }

    // Two fields sharing bytes would be patched twice with different values.
    std::vector<const DateField*> sorted;
    for (const DateField& field : out.fields) sorted.push_back(&field);
    std::sort(sorted.begin(), sorted.end(), [](const DateField* a, const DateField* b) { return a->offset < b->offset; });
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        if (sorted[i - 1]->offset + sorted[i - 1]->width > sorted[i]->offset) {
            out.problem = "the date fields " + sorted[i - 1]->name + " and " + sorted[i]->name + " overlap";
            out.fields.clear();
            return out;
        }
    }
    return out;
}

std::uint32_t crc32(std::string_view bytes, std::uint32_t crc) {
    static const std::array<std::uint32_t, 256> kTable = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        return table;
    }();
    crc = ~crc;
    for (const char b : bytes) crc = kTable[(crc ^ static_cast<unsigned char>(b)) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint64_t SourceFileBytes::size() const {
    return file_.size() < 0 ? 0 : static_cast<std::uint64_t>(file_.size());
}

bool SourceFileBytes::read(std::uint64_t offset, std::size_t length, std::string& out) const {
    out.clear();
    if (!spanFits(size(), offset, length)) return false;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
    const std::int64_t got = file_.readAt(static_cast<std::int64_t>(offset), length, out);
    return got >= 0 && static_cast<std::size_t>(got) == length;
}

}  // namespace morrowtide::meta
