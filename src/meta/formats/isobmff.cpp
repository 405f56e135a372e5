// SPDX-License-Identifier: GPL-3.0-or-later
// ISO base media files: HEIC/HEIF/AVIF (items located through iinf/iloc), CR3 (TIFF blocks in a uuid box) and
// MP4/MOV movies (movie, track and media header times, QuickTime date strings, XMP boxes). The walk reads box
// headers one by one and takes into memory only the small boxes it interprets; mdat is never read.
#include <algorithm>
#include <limits>
#include <map>
#include <optional>

#include "meta/byte_reader.h"
#include "meta/formats/readers.h"

namespace morrowtide::meta::formats {
namespace {

constexpr int kMaxDepth = 16;
constexpr std::uint64_t kMaxBoxes = 1'000'000;
// mvhd, tkhd and mdhd keep their times in the first 20 bytes after the version; keys, ilst, iinf and iloc are read
// whole and are never near this size in a real file.
constexpr std::uint64_t kMaxInterpretedBox = 4u << 20;
// Items, their locations and their extents kept for one file, far above the few hundred of a real photo (a grid
// image of 256 tiles has about 520). An extent whose field sizes are 0 takes no byte of the iloc box, so the box's
// length alone cannot bound them.
constexpr std::uint64_t kMaxItemEntries = 1u << 18;
// Only so much of an item's content type and encoding is kept: they are compared with short names.
constexpr std::size_t kMaxItemText = 255;

constexpr std::string_view kXmpUuid{"\xBE\x7A\xCF\xCB\x97\xA9\x42\xE8\x9C\x71\x99\x94\x91\xE3\xAF\xAC", 16};
constexpr std::string_view kCanonUuid{"\x85\xC0\xB6\x87\x82\x0F\x11\xE0\x81\x11\xF4\xCE\x46\x2B\x6A\x48", 16};
constexpr std::string_view kCreationDateKey = "com.apple.quicktime.creationdate";
constexpr std::string_view kDay{"\xA9" "day", 4};
constexpr std::string_view kMakeKey = "com.apple.quicktime.make";
constexpr std::string_view kModelKey = "com.apple.quicktime.model";
constexpr std::string_view kMake{"\xA9" "mak", 4};
constexpr std::string_view kModel{"\xA9" "mod", 4};
// No camera name is anywhere near this long.
constexpr std::uint64_t kMaxCameraText = 64;

struct Box {
    std::uint64_t start = 0;
    std::uint64_t content = 0;  // first byte after the header (and after a uuid box's 16-byte type)
    std::uint64_t end = 0;
    std::string type;
    std::string uuid;  // for type "uuid"
    std::uint64_t contentLength() const { return end - content; }
};

struct Extent {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct ItemLocation {
    int constructionMethod = 0;
    std::uint64_t baseOffset = 0;
    std::vector<Extent> extents;
};

struct ItemInfo {
    std::string type;
    std::string contentType;
    std::string contentEncoding;
};

// What one meta box holds, resolved once its children are read.
struct MetaBox {
    std::vector<std::string> keys;  // keys box, 1-based in ilst
    std::optional<Box> ilst;
    std::map<std::uint32_t, ItemInfo> items;
    std::map<std::uint32_t, ItemLocation> locations;
    std::optional<Box> idat;
};

std::uint64_t readSized(const ByteReader& r, std::size_t at, int size) {
    switch (size) {
        case 0: return 0;
        case 4: return r.u32(at);
        case 8: return (static_cast<std::uint64_t>(r.u32(at)) << 32) | r.u32(at + 4);
        default: throw ScanProblem("iloc field size " + std::to_string(size) + " is not 0, 4 or 8");
    }
}

// A zero-terminated string starting at `at`, and where the next one starts; the string may end with the bytes.
std::string cString(const ByteReader& r, std::size_t& at) {
    const std::string_view rest = r.bytesClamped(at, r.size());
    const std::size_t zero = rest.find('\0');
    const std::string_view text = rest.substr(0, zero);
    at += text.size() + (zero == std::string_view::npos ? 0 : 1);
    return std::string(text);
}

class BmffScanner {
  public:
    BmffScanner(const ByteSource& source, ContainerScan& scan) : source_(source), scan_(scan) {}

    void run() { walk(0, source_.size(), 0, ""); }

  private:
    Box readHeader(std::uint64_t at, std::uint64_t end, bool topLevel) {
        if (++boxes_ > kMaxBoxes) throw ScanProblem("more than " + std::to_string(kMaxBoxes) + " boxes");
        if (end - at < 8) throw ScanProblem("a box header at " + std::to_string(at) + " is cut short");
        const std::string head = readPiece(source_, at, 8, "a box header");
        const ByteReader r(head, true);
        Box box;
        box.start = at;
        box.type = std::string(r.bytes(4, 4));
        std::uint64_t size = r.u32(0);
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (end - at < 16) throw ScanProblem("the 64-bit size of box " + printableCode(box.type) + " is cut short");
            const std::string large = readPiece(source_, at + 8, 8, "a 64-bit box size");
            const ByteReader lr(large, true);
            size = (static_cast<std::uint64_t>(lr.u32(0)) << 32) | lr.u32(4);
            headerSize = 16;
        } else if (size == 0) {
            // "To the end of the file" is only meaningful for the last box of the file.
            if (!topLevel) throw ScanProblem("box " + printableCode(box.type) + " inside another has size 0");
            size = end - at;
        }
        if (size < headerSize) {
            throw ScanProblem("box " + printableCode(box.type) + " at " + std::to_string(at) + " has size " +
                              std::to_string(size) + ", less than its header");
        }
        if (size > end - at) {
            throw ScanProblem("box " + printableCode(box.type) + " at " + std::to_string(at) +
                              " runs past the end of its " + (topLevel ? "file" : "parent"));
        }
        box.content = at + headerSize;
        box.end = at + size;
        if (box.type == "uuid") {
            if (box.end - box.content < 16) throw ScanProblem("a uuid box too short for its type");
            box.uuid = readPiece(source_, box.content, 16, "a uuid");
            box.content += 16;
        }
        return box;
    }

    std::string readBox(const Box& box, std::uint64_t maxLength = kMaxInterpretedBox) {
        const std::uint64_t length = std::min(box.contentLength(), maxLength);
        return readPiece(source_, box.content, length, "box " + printableCode(box.type));
    }

    void walk(std::uint64_t begin, std::uint64_t end, int depth, std::string_view parent, int track = 0,
              MetaBox* meta = nullptr) {
        if (depth > kMaxDepth) throw ScanProblem("boxes nest deeper than " + std::to_string(kMaxDepth) + " levels");
        const bool topLevel = depth == 0;
        std::uint64_t at = begin;
        while (at < end) {
            // QuickTime lets a user-data list end with a 32-bit zero.
            if (parent == "udta" && end - at == 4 && readPiece(source_, at, 4, "a terminator") == std::string(4, '\0')) {
                break;
            }
            const Box box = readHeader(at, end, topLevel);
            visit(box, depth, parent, track, meta);
            at = box.end;
        }
    }

    void visit(const Box& box, int depth, std::string_view parent, int track, MetaBox* meta) {
        const std::string& t = box.type;
        if (depth == 0 && t == "ftyp" && scan_.brand.empty()) {
            scan_.brand = readBox(box, 4);
        } else if (t == "moov" || t == "mdia" || t == "udta") {
            walk(box.content, box.end, depth + 1, t, track);
        } else if (t == "trak" && parent == "moov") {
            walk(box.content, box.end, depth + 1, t, ++tracks_);
        } else if (t == "mvhd" && parent == "moov") {
            headerTimes(box, "QuickTime", "");
        } else if (t == "tkhd" && parent == "trak") {
            headerTimes(box, "Track" + std::to_string(track), "Track");
        } else if (t == "mdhd" && parent == "mdia" && track > 0) {
            headerTimes(box, "Track" + std::to_string(track), "Media");
        } else if (t == "meta") {
            readMeta(box, depth);
        } else if (meta != nullptr) {
            metaChild(box, *meta);
        } else if (t == kDay && parent == "udta") {
            userDataDay(box);
        } else if ((t == kMake || t == kModel) && parent == "udta") {
            // As ©day: a 16-bit length and a language, then the text.
            const std::string head = readBox(box, 4);
            const ByteReader r(head, true);
            if (r.fits(0, 4) && r.u16(0) + 4u <= box.contentLength()) {
                camera(t == kMake, box.content + 4, r.u16(0));
            }
        } else if (t == "date" && parent == "udta") {
            // Android's capture date: the text alone, no length or language before it.
            addText(box.content, box.contentLength(), DateRole::Original, "UserData", "DateTimeOriginal");
        } else if (t == "XMP_" && parent == "udta") {
            addBlock(BlockKind::Xmp, box.content, box.contentLength(), "udta XMP_");
        } else if (t == "uuid" && box.uuid == kXmpUuid) {
            addBlock(BlockKind::Xmp, box.content, box.contentLength(), "uuid XMP");
        } else if (t == "uuid" && box.uuid == kCanonUuid) {
            walk(box.content, box.end, depth + 1, "canon-uuid", track);
        } else if (parent == "canon-uuid" && t.size() == 4 && t.substr(0, 3) == "CMT" && t[3] >= '1' && t[3] <= '4') {
            addBlock(BlockKind::Tiff, box.content, box.contentLength(), t);
            // CMT2 holds the EXIF directory, CMT3 the maker note, CMT4 the GPS directory, each as a TIFF structure.
            static constexpr const char* kFirstDirectories[] = {"IFD0", "ExifIFD", "MakerNotes", "GPS"};
            scan_.blocks.back().firstDirectory = kFirstDirectories[t[3] - '1'];
        }
    }

    void addBlock(BlockKind kind, std::uint64_t offset, std::uint64_t length, std::string label) {
        recordBlock(scan_, {kind, offset, length, std::move(label)});
    }

    void addField(std::uint64_t offset, std::uint32_t width, DateEncoding encoding, DateRole role, std::string group,
                  std::string name) {
        DateField field;
        field.offset = offset;
        field.width = width;
        field.encoding = encoding;
        field.role = role;
        field.group = std::move(group);
        field.name = std::move(name);
        recordField(scan_, std::move(field));
    }

    // mvhd, tkhd and mdhd: version 0 keeps 32-bit creation and modification seconds after the version and flags,
    // version 1 64-bit ones.
    void headerTimes(const Box& box, const std::string& group, std::string_view prefix) {
        const std::string bytes = readBox(box, 20);
        const ByteReader r(bytes, true);
        if (!r.fits(0, 1)) throw ScanProblem("box " + box.type + " is empty");
        const int version = r.u8(0);
        if (version > 1) {
            recordNote(scan_, box.type + " version " + std::to_string(version) + " is not read");
            return;
        }
        const std::uint32_t width = version == 0 ? 4 : 8;
        if (!r.fits(4, 2 * width)) throw ScanProblem("box " + box.type + " is cut short");
        const DateEncoding encoding = version == 0 ? DateEncoding::QuickTimeSeconds32 : DateEncoding::QuickTimeSeconds64;
        const std::string name(prefix);
        addField(box.content + 4, width, encoding, DateRole::Digitized, group, name + "CreateDate");
        addField(box.content + 4 + width, width, encoding, DateRole::Modified, group, name + "ModifyDate");
    }

    // A QuickTime user-data text: a 16-bit length and a language code, then the text.
    void userDataDay(const Box& box) {
        const std::string bytes = readBox(box, 4);
        const ByteReader r(bytes, true);
        if (!r.fits(0, 4)) throw ScanProblem("a \\xa9day box is cut short");
        const std::uint64_t length = r.u16(0);
        if (length + 4 > box.contentLength()) throw ScanProblem("the \\xa9day text runs past its box");
        addText(box.content + 4, length, DateRole::Original, "UserData", "ContentCreateDate");
    }

    // The camera's make or model as a movie names it; the first one found counts (keys before user data).
    void camera(bool make, std::uint64_t offset, std::uint64_t length) {
        std::string& into = make ? scan_.make : scan_.model;
        if (!into.empty() || length == 0) return;
        std::string text = readPiece(source_, offset, std::min(length, kMaxCameraText), "a camera name");
        while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.pop_back();
        into = std::move(text);
    }

    // A date string, its trailing zero bytes left out of the field.
    void addText(std::uint64_t offset, std::uint64_t length, DateRole role, std::string group, std::string name) {
        const std::string text = readPiece(source_, offset, std::min<std::uint64_t>(length, 64), "a date text");
        std::uint64_t width = std::min<std::uint64_t>(length, 64);
        while (width > 0 && text[width - 1] == '\0') --width;
        if (width == 0) return;
        addField(offset, static_cast<std::uint32_t>(width), DateEncoding::Iso8601, role, std::move(group),
                 std::move(name));
    }

    void readMeta(const Box& box, int depth) {
        // An ISO meta box is a full box (version and flags before its children); a QuickTime one is not.
        std::uint64_t first = box.content;
        if (box.contentLength() >= 8) {
            const std::string peek = readPiece(source_, box.content, 8, "a meta box");
            if (peek.substr(4, 4) != "hdlr") first += 4;
        } else {
            first += std::min<std::uint64_t>(4, box.contentLength());
        }
        MetaBox meta;
        walk(first, box.end, depth + 1, "meta", 0, &meta);
        resolveItemList(meta);
        resolveItems(meta);
    }

    void metaChild(const Box& box, MetaBox& meta) {
        if (box.type == "keys") {
            readKeys(box, meta);
        } else if (box.type == "ilst") {
            meta.ilst = box;
        } else if (box.type == "iinf") {
            readItemInfos(box, meta);
        } else if (box.type == "iloc") {
            readItemLocations(box, meta);
        } else if (box.type == "idat") {
            meta.idat = box;
        }
    }

    void readKeys(const Box& box, MetaBox& meta) {
        const std::string bytes = readBox(box);
        const ByteReader r(bytes, true);
        const std::uint32_t count = r.u32(4);
        std::size_t at = 8;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t size = r.u32(at);
            if (size < 8 || !r.fits(at, size)) throw ScanProblem("a key of the keys box runs past it");
            meta.keys.emplace_back(r.bytes(at + 8, size - 8));
            at += size;
        }
    }

    // ilst: each item is named by a four-character code or by its 1-based index into keys, and holds data boxes
    // (type indicator and locale, then the value).
    void resolveItemList(const MetaBox& meta) {
        if (!meta.ilst) return;
        std::uint64_t at = meta.ilst->content;
        while (at < meta.ilst->end) {
            const Box item = readHeader(at, meta.ilst->end, false);
            at = item.end;
            const ByteReader name(item.type, true);
            std::string key = item.type;
            const std::uint32_t index = name.u32(0);
            if (index >= 1 && index <= meta.keys.size()) key = meta.keys[index - 1];
            const bool day = key == kDay;
            const bool make = key == kMakeKey || key == kMake;
            const bool model = key == kModelKey || key == kModel;
            if (!day && key != kCreationDateKey && !make && !model) continue;
            std::uint64_t inner = item.content;
            while (inner < item.end) {
                const Box data = readHeader(inner, item.end, false);
                inner = data.end;
                if (data.type != "data" || data.contentLength() < 8) continue;
                const std::string headBytes = readBox(data, 4);
                const ByteReader head(headBytes, true);
                if (head.u32(0) != 1) continue;  // only UTF-8 text holds a date string
                if (make || model) {
                    camera(make, data.content + 8, data.contentLength() - 8);
                    continue;
                }
                addText(data.content + 8, data.contentLength() - 8, DateRole::Original, day ? "ItemList" : "Keys",
                        day ? "ContentCreateDate" : "CreationDate");
            }
        }
    }

    void readItemInfos(const Box& box, MetaBox& meta) {
        const std::string bytes = readBox(box, 4);
        const ByteReader r(bytes, true);
        const int version = r.u8(0);
        std::uint64_t at = box.content + (version == 0 ? 6 : 8);
        while (at < box.end) {
            const Box entry = readHeader(at, box.end, false);
            at = entry.end;
            if (entry.type != "infe") continue;
            const std::string e = readBox(entry);
            const ByteReader er(e, true);
            const int entryVersion = er.u8(0);
            if (entryVersion < 2) continue;  // no item type before version 2
            std::size_t pos = 4;
            const std::uint32_t id = entryVersion == 2 ? er.u16(pos) : er.u32(pos);
            pos += entryVersion == 2 ? 2 : 4;
            pos += 2;  // protection index
            ItemInfo info;
            info.type = std::string(er.bytes(pos, 4));
            // Only the Exif and XMP items are resolved; the image tiles of a grid are passed by.
            if (info.type != "Exif" && info.type != "mime") continue;
            pos += 4;
            cString(er, pos);  // item name
            if (info.type == "mime") {
                info.contentType = cString(er, pos).substr(0, kMaxItemText);
                info.contentEncoding = cString(er, pos).substr(0, kMaxItemText);
            }
            countItemEntries(1);
            meta.items[id] = std::move(info);
        }
    }

    // Counts that the box's bytes cannot hold are refused before anything is kept for them: what the reader
    // holds follows the bytes it read, not the numbers the file states.
    void readItemLocations(const Box& box, MetaBox& meta) {
        const std::string bytes = readBox(box);
        const ByteReader r(bytes, true);
        const int version = r.u8(0);
        if (version > 2) throw ScanProblem("iloc version " + std::to_string(version));
        const int offsetSize = r.u8(4) >> 4, lengthSize = r.u8(4) & 15;
        const int baseOffsetSize = r.u8(5) >> 4, indexSize = version == 0 ? 0 : r.u8(5) & 15;
        const std::size_t idSize = version < 2 ? 2 : 4;
        // id, construction method (from version 1), data reference index, base offset, extent count
        const std::size_t itemCost = idSize + (version > 0 ? 2 : 0) + 2 + static_cast<std::size_t>(baseOffsetSize) + 2;
        const auto extentCost = static_cast<std::size_t>(indexSize + offsetSize + lengthSize);
        std::size_t pos = 6;
        const std::uint32_t count = version < 2 ? r.u16(pos) : r.u32(pos);
        pos += idSize;
        if (count > (r.size() - pos) / itemCost) {
            throw ScanProblem("the list of item locations (iloc box) names " + std::to_string(count) +
                              " items, more than its " + std::to_string(r.size()) + " bytes can hold");
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t id = version < 2 ? r.u16(pos) : r.u32(pos);
            pos += idSize;
            ItemLocation location;
            if (version > 0) {
                location.constructionMethod = r.u16(pos) & 15;
                pos += 2;
            }
            pos += 2;  // data reference index
            location.baseOffset = readSized(r, pos, baseOffsetSize);
            pos += static_cast<std::size_t>(baseOffsetSize);
            const std::uint16_t extents = r.u16(pos);
            pos += 2;
            if (extentCost > 0 && extents > (r.size() - pos) / extentCost) {
                throw ScanProblem("item " + std::to_string(id) + " of the list of item locations (iloc box) has " +
                                  std::to_string(extents) + " parts, more than the box's remaining " +
                                  std::to_string(r.size() - pos) + " bytes can hold");
            }
            countItemEntries(1 + std::uint64_t{extents});
            location.extents.reserve(extents);
            for (std::uint16_t k = 0; k < extents; ++k) {
                pos += static_cast<std::size_t>(indexSize);
                Extent extent;
                extent.offset = readSized(r, pos, offsetSize);
                pos += static_cast<std::size_t>(offsetSize);
                extent.length = readSized(r, pos, lengthSize);
                pos += static_cast<std::size_t>(lengthSize);
                location.extents.push_back(extent);
            }
            meta.locations[id] = std::move(location);
        }
    }

    // Every item info, item location and extent kept counts against one budget for the file.
    void countItemEntries(std::uint64_t entries) {
        itemEntries_ += entries;
        if (itemEntries_ > kMaxItemEntries) {
            throw ScanProblem("the file lists more than " + std::to_string(kMaxItemEntries) +
                              " items and item parts, far more than a photo or video holds");
        }
    }

    // The bytes of one item as one span of the file; an item whose bytes cannot be found, or lie in pieces, is a
    // problem (its dates would stay unshifted while the others move).
    Extent itemSpan(const MetaBox& meta, std::uint32_t id, const std::string& what) {
        const auto found = meta.locations.find(id);
        if (found == meta.locations.end()) throw ScanProblem("the " + what + " item has no location");
        const ItemLocation& location = found->second;
        std::uint64_t origin = 0, limit = source_.size();
        if (location.constructionMethod == 1) {
            if (!meta.idat) throw ScanProblem("the " + what + " item lies in an idat box that is missing");
            origin = meta.idat->content;
            limit = meta.idat->contentLength();
        } else if (location.constructionMethod != 0) {
            throw ScanProblem("the " + what + " item is built from other items");
        }
        if (location.extents.empty()) throw ScanProblem("the " + what + " item has no extent");
        Extent span;
        for (std::size_t k = 0; k < location.extents.size(); ++k) {
            const Extent& e = location.extents[k];
            if (e.length == 0) throw ScanProblem("the " + what + " item has an extent of length 0");
            if (e.offset > std::numeric_limits<std::uint64_t>::max() - location.baseOffset) {
                throw ScanProblem("the " + what + " item's offset overflows");
            }
            const std::uint64_t offset = location.baseOffset + e.offset;
            if (!spanFits(limit, offset, e.length)) throw ScanProblem("the " + what + " item lies past the end of its data");
            if (k == 0) {
                span = {origin + offset, e.length};
            } else if (origin + offset == span.offset + span.length) {
                span.length += e.length;
            } else {
                throw ScanProblem("the " + what + " item is stored in separate parts of the file");
            }
        }
        return span;
    }

    void resolveItems(const MetaBox& meta) {
        for (const auto& [id, info] : meta.items) {
            if (info.type == "Exif") {
                const Extent span = itemSpan(meta, id, "Exif");
                // The item starts with the offset of the TIFF header from the end of that field.
                const std::string rBytes = readPiece(source_, span.offset, 4, "the Exif item");
                const ByteReader r(rBytes, true);
                if (span.length < 4) throw ScanProblem("the Exif item is cut short");
                const std::uint64_t skip = r.u32(0);
                if (skip > span.length - 4) throw ScanProblem("the Exif item's TIFF header lies past its end");
                addBlock(BlockKind::Tiff, span.offset + 4 + skip, span.length - 4 - skip, "Exif item");
            } else if (info.type == "mime" && info.contentType == "application/rdf+xml") {
                if (!info.contentEncoding.empty()) {
                    recordNote(scan_, "an XMP item encoded as " + info.contentEncoding + " is not read");
                    continue;
                }
                const Extent span = itemSpan(meta, id, "XMP");
                addBlock(BlockKind::Xmp, span.offset, span.length, "XMP item");
            }
        }
    }

    const ByteSource& source_;
    ContainerScan& scan_;
    std::uint64_t boxes_ = 0;
    std::uint64_t itemEntries_ = 0;
    int tracks_ = 0;
};

}  // namespace

void scanIsoBmff(const ByteSource& source, ContainerScan& scan) {
    try {
        BmffScanner(source, scan).run();
    } catch (const OutOfBounds& failure) {
        // A box read into memory whose fields run past its end.
        throw ScanProblem(std::string("a box is cut short: ") + failure.what());
    }
}

}  // namespace morrowtide::meta::formats
