// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/image_info.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>

#include "meta/ascii_case.h"
#include "meta/byte_reader.h"
#include "meta/img_data.h"
#include "meta/makernote/maker_note.h"
#include "meta/tag_tables.h"
#include "meta/value_format.h"

namespace morrowtide::meta {

namespace {

// Numbers from the file may be anything; a value that does not fit is clamped rather than left undefined.
std::int64_t roundedInt64(double value) {
    if (!std::isfinite(value)) return 0;
    constexpr double kLimit = 9.0e18;
    if (value > kLimit) return static_cast<std::int64_t>(kLimit);
    if (value < -kLimit) return -static_cast<std::int64_t>(kLimit);
    return roundHalfEven(value);
}

std::int32_t roundedInt32(double value) {
    const std::int64_t v = roundedInt64(value);
    if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

// Positions are kept in 32 bits; one computed from a hostile offset may not fit (it lies outside the block anyway).
std::int32_t toPos(std::int64_t pos) {
    if (pos > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (pos < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(pos);
}

// Leading and trailing blanks and control characters removed.
std::string trimmed(std::string_view text) {
    std::size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    return std::string(text.substr(first, last - first));
}

// exiftool's name of the directory a link tag points at.
std::string_view linkedGroup(std::uint16_t tag) {
    switch (tag) {
        case 0x8769: return "ExifIFD";
        case 0xA005: return "InteropIFD";
        case 0x8825: return "GPS";
        default: return "SubIFD";
    }
}

}  // namespace

ImageInfo::ImageInfo(ImgData* owner, int buildCode) : owner(owner), buildCode(buildCode) {
    fillCaptions();
}

std::string ImageInfo::traceLine(std::string_view caption, std::string_view text, std::uint16_t tag, std::int64_t size,
                                 std::int64_t start) const {
    std::string line = "\r\n";
    if (traceLevel > 0) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "tag[$%04X]: ", static_cast<unsigned>(tag));
        line += prefix;
    }
    line.append(caption).append(" = ").append(text);
    if (traceLevel > 0) {
        line += " [size: " + std::to_string(size) + "]" + " [start: " + std::to_string(start) + "]";
    }
    return line;
}

DirectoryLayout ImageInfo::directoryLayout(std::int64_t dirStart, std::int64_t offsetBase) const {
    DirectoryLayout layout;
    layout.bigEndian = bigEndian;
    // Positions here are 1-based, the walker's bytes 0-based.
    layout.countAt = dirStart - 1;
    layout.valueBase = offsetBase - 1;
    layout.signedOffsets = true;
    layout.wrapSizes = true;
    return layout;
}

void ImageInfo::walkDirectory(std::int64_t dirStart, std::int64_t offsetBase, std::int64_t length, int kind) {
    const DirectoryNesting::Level level(nesting_, offsetBase, dirStart);
    const int count = read16(dirStart);
    if (traceLevel > 0) {
        trace += "\r\nDirectory: Start, entries = " + std::to_string(dirStart) + ", " + std::to_string(count);
    }
    if (2 + 12 * static_cast<std::int64_t>(count) > offsetBase + length) {
        if (owner && kind != kThumbnailDirectory) owner->setStatusText("Illegally sized directory");
        return;
    }
    if (kind == kMainDirectory && nextDirOffset == 0 && !tiffMode) {
        // Only informative: a link that lies outside the block is left unread instead of costing the directory.
        const std::int64_t linkPos = dirStart + 2 + 12 * static_cast<std::int64_t>(count);
        if (linkPos >= 1 && fitsIn(block.size(), static_cast<std::size_t>(linkPos - 1), 4)) {
            nextDirOffset = read32(linkPos);
            nextDirRemainder = static_cast<std::int32_t>(
                static_cast<std::uint32_t>(static_cast<std::int64_t>(offsetBase + length - nextDirOffset)));
        }
    }
    walkEntries(dirStart, offsetBase, length, kind, count);
}

void ImageInfo::walkEntries(std::int64_t dirStart, std::int64_t offsetBase, std::int64_t length, int kind, int count) {
    const bool makeText = buildCode == 2 || buildCode == 255;
    const bool makeRecords = buildCode == 4 || buildCode == 255;
    const DirectoryLayout layout = directoryLayout(dirStart, offsetBase);
    const DirectoryReader directory(block, layout, budget_);
    for (int i = 0; i < count; ++i) {
        const DirectoryEntry entry = directory.entry(static_cast<unsigned>(i));
        const std::uint16_t tag = entry.tag;
        const std::uint16_t format = entry.format;
        const auto byteCount = static_cast<std::int32_t>(entry.size);
        if (byteCount == 0) continue;
        const std::int64_t e = entry.entryAt + 1;
        const std::int64_t valuePos = entry.valueAt + 1;
        const std::string raw(directory.value(entry));

        const TagEntry row = lookupEntry(tag, kind);
        std::string text;
        if (makeText) {
            if (format == 2) {
                text = raw;
                if (!text.empty() && text.back() == '\0') text.pop_back();
            } else if (format == 7) {
                text = "\"" + raw.substr(0, raw.find('\0')) + "\"";
            } else {
                text = formatValue(raw, format, row.decodeList, row.formatSpec, bigEndian);
            }
            if (row.tag != 0 && row.decoder != nullptr) {
                DecodeContext context{this, false, tag};
                text = row.decoder(text, context);
            } else {
                text = printableText(text);
            }
            if (tag == 0x9286) {
                // The comment runs to the value's end; a closing zero, when there is one, is not part of it.
                userComment = raw.size() > 8 ? trimmed(std::string_view(raw).substr(8)) : std::string();
                text = userComment;
                userCommentPos = toPos(valuePos);
                // 32-bit arithmetic as stored: a count that wrapped below zero wraps again rather than overflow.
                userCommentLength = static_cast<std::int32_t>(static_cast<std::uint32_t>(byteCount) - 9u);
            }
            (kind == kThumbnailDirectory ? thumbTrace : trace) +=
                traceLine(row.caption, text, tag, byteCount, valuePos);
        }

        if (tag == 0x0132 || tag == 0x9003 || tag == 0x9004) {
            dateValues.push_back({tag, toPos(valuePos), byteCount, directoryGroup});
        }
        if (tag >= 0x9010 && tag <= 0x9012 && kind == kMainDirectory) {
            zoneValues.push_back({tag, toPos(valuePos), byteCount, directoryGroup});
        }
        // The thumbnail directory is walked for its dates and compression only: what it says about its small
        // image must not stand for the photo's own values. The directories it links to (some cameras give it an
        // EXIF directory of its own) are walked the same way.
        if (kind == kThumbnailDirectory) {
            if (tag == 0x0103) thumbCompression = roundedInt32(numericValue(raw, format, bigEndian));
            if (tag == 0x8769 || tag == 0xA005 || tag == 0x014A) {
                followDirectory(valuePos, offsetBase, length, kThumbnailDirectory, linkedGroup(tag));
            }
        } else switch (tag) {
            case 0x8769:  // ExifOffset
            case 0xA005:  // InteroperabilityOffset
            case 0x014A:  // SubIFDs: only the first is followed
                followDirectory(valuePos, offsetBase, length, kMainDirectory, linkedGroup(tag));
                break;
            case 0x8825:  // GPSInfo
                followDirectory(valuePos, offsetBase, length, kGpsDirectory, linkedGroup(tag));
                break;
            case 0x010F:
                cameraMake = text.substr(0, 32);
                break;
            case 0x0110:
                cameraModel = text.substr(0, 40);
                break;
            case 0xA431:
                // From the value itself: the display text is not made for every kind of walk.
                bodySerial = raw.substr(0, std::min<std::size_t>(raw.find('\0'), 64));
                break;
            case 0x9000:
                exifVersion = raw.substr(0, 6);
                break;
            case 0x0132:
                dateTimePos = toPos(valuePos);
                dateTimeSize = byteCount;
                dateTimeText = text.substr(0, 20);
                break;
            case 0x9003:
                dateTimeOriginalPos = toPos(valuePos);
                dateTimeOriginalSize = byteCount;
                dateTimeText = text.substr(0, 20);
                break;
            case 0x9004:
                dateTimeDigitizedPos = toPos(valuePos);
                dateTimeDigitizedSize = byteCount;
                break;
            case 0x927C: {
                makerNoteBytes = raw;
                makerNotePos = toPos(valuePos);
                const bool savedOrder = bigEndian;
                try {
                    makerNoteKnown = readMakerNote(*this);
                } catch (...) {
                    // The maker-note reader promises not to throw; should it, the note is lost, not the block.
                    makerNoteKnown = false;
                    bigEndian = savedOrder;
                    if (owner) block.view(owner->block);
                }
                break;
            }
            case 0x9209:
                flashValue = roundedInt32(numericValue(raw, format, bigEndian));
                break;
            case 0x0100:
            case 0xA002:
                widthPos = toPos(e + 8);
                imageWidth = roundedInt32(numericValue(raw, format, bigEndian));
                break;
            case 0x0101:
            case 0xA003:
                heightPos = toPos(e + 8);
                imageHeight = roundedInt32(numericValue(raw, format, bigEndian));
                break;
            default:
                break;
        }

        if (makeRecords) {
            try {
                TagEntry record = row;
                record.text = text;
                record.rawBytes = raw;
                record.rawSize = static_cast<std::int32_t>(raw.size());
                record.rawPos = toPos(valuePos);
                record.format = format;
                if (kind == kThumbnailDirectory) {
                    storeThumbEntry(record);
                } else {
                    storeEntry(record);
                }
            } catch (...) {
                // A record that cannot be stored costs only itself.
            }
        }
    }
}

void ImageInfo::walkNextDirectory(std::int64_t offsetBase, std::int64_t length) {
    if (nextDirOffset == 0) return;
    enterDirectory([&] { return static_cast<std::int64_t>(nextDirOffset) + offsetBase; }, offsetBase, length,
                   kThumbnailDirectory, "IFD1");
}

void ImageInfo::walkFollowingDirectories(std::int64_t offsetBase, std::int64_t length) {
    // The SubIFDs after the first (the main walk follows the first), of the main directories only.
    const std::vector<TagEntry> subDirectories = [&] {
        std::vector<TagEntry> found;
        for (const TagEntry& entry : entries) {
            if (entry.tag == 0x014A && entry.rawPos >= 1) found.push_back(entry);
        }
        return found;
    }();
    for (const TagEntry& entry : subDirectories) {
        for (std::int32_t k = 1; k < entry.rawSize / 4; ++k) {
            const std::int64_t linkPos = std::int64_t{entry.rawPos} + 4 * std::int64_t{k};
            followDirectory(linkPos, offsetBase, length, kThumbnailDirectory, "SubIFD" + std::to_string(k));
        }
    }
    // The chain, each directory's link read once it was walked. A link to a directory walked already ends it.
    std::int64_t link = nextDirOffset;
    for (int n = 1; link != 0 && n <= kMaxChainedDirectories; ++n) {
        const std::int64_t start = link + offsetBase;
        if (nesting_.walked(offsetBase, start)) break;
        const std::size_t failures = walkFailures.size();
        enterDirectory([&] { return start; }, offsetBase, length, kThumbnailDirectory, "IFD" + std::to_string(n));
        if (walkFailures.size() != failures) break;
        try {
            link = read32(start + 2 + 12 * std::int64_t{read16(start)});
        } catch (const std::exception& failure) {
            // A directory whose link is cut short ends the chain; the next one cannot be known to be whole.
            if (walkFailures.size() < DirectoryNesting::kMaxKeptFailures) walkFailures.emplace_back(failure.what());
            break;
        }
    }
}

void ImageInfo::followDirectory(std::int64_t valuePos, std::int64_t offsetBase, std::int64_t length, int kind,
                                std::string_view group) {
    enterDirectory([&] { return static_cast<std::int64_t>(read32(valuePos)) + offsetBase; }, offsetBase, length, kind,
                   group);
}

template <typename Start>
void ImageInfo::enterDirectory(Start start, std::int64_t offsetBase, std::int64_t length, int kind,
                               std::string_view group) {
    std::string parentGroup(group);
    directoryGroup.swap(parentGroup);
    nesting_.enter(
        offsetBase, start, [&](std::int64_t child) { walkDirectory(child, offsetBase, length, kind); }, walkFailures);
    directoryGroup.swap(parentGroup);
}

int ImageInfo::storeEntry(const TagEntry& entry) {
    if (entry.tag != 0) {
        // The capacity is the program's own bookkeeping; the vector grows geometrically underneath.
        if (entryCount() >= entryCapacity - 1) entryCapacity += 25;
        entries.push_back(entry);
    }
    return entryCount() - 1;
}

int ImageInfo::storeThumbEntry(const TagEntry& entry) {
    if (entry.tag != 0) {
        if (thumbEntryCount() >= thumbEntryCapacity - 1) thumbEntryCapacity += 25;
        thumbEntries.push_back(entry);
    }
    return thumbEntryCount() - 1;
}

int ImageInfo::indexOfTag(std::string_view name) const {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (equalsIgnoringAsciiCase(entries[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

std::string ImageInfo::textOfTag(std::string_view name) const {
    const int index = indexOfTag(name);
    return index < 0 ? std::string() : entries[static_cast<std::size_t>(index)].text;
}

TagEntry ImageInfo::entryByName(std::string_view name) const {
    const int index = indexOfTag(name);
    return index < 0 ? emptyTagEntry() : entries[static_cast<std::size_t>(index)];
}

double ImageInfo::numberByName(std::string_view name) const {
    const int index = indexOfTag(name);
    if (index < 0) return 0;
    const TagEntry& entry = entries[static_cast<std::size_t>(index)];
    return entry.tag == 0 ? 0 : numericValue(entry.rawBytes, entry.format, bigEndian);
}

std::int64_t ImageInfo::integerByName(std::string_view name) const {
    return roundedInt64(numberByName(name));
}

void ImageInfo::recordSubField(std::string_view name, std::string_view value, std::uint16_t format, std::uint16_t tag) {
    if (buildCode != 4 && buildCode != 255) return;
    try {
        TagEntry entry;
        entry.id = 1;
        entry.format = format;
        entry.tag = tag;
        entry.name = name;
        entry.caption = name;
        entry.text = value;
        entry.rawBytes = value;
        entry.rawSize = static_cast<std::int32_t>(value.size());
        entry.rawPos = 0;
        storeEntry(entry);
    } catch (...) {
        // A sub-field that cannot be stored is only missing from the list.
    }
}

}  // namespace morrowtide::meta
