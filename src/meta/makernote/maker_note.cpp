// SPDX-License-Identifier: GPL-3.0-or-later
// Recognises the camera maker of a MakerNote value and walks the note's private directory.
#include "meta/makernote/maker_note.h"

#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include "meta/ascii_case.h"
#include "meta/byte_reader.h"
#include "meta/image_info.h"
#include "meta/img_data.h"
#include "meta/makernote/maker_tables.h"
#include "meta/tiff_walker.h"
#include "meta/value_format.h"

namespace morrowtide::meta {

namespace makernote {

std::string makeKey(std::string_view cameraMake) {
    return asciiUpper(cameraMake.substr(0, 5));
}

namespace {

// The character after the model's first blank ("NIKON D70" -> 'D'), or its first character without a blank.
char modelCharacter(std::string_view model) {
    const auto blank = model.find(' ');
    const std::size_t at = blank == std::string_view::npos ? 0 : blank + 1;
    return at < model.size() ? model[at] : '\0';
}

// Newer Nikon bodies put a "Nikon" header and a TIFF header of their own in front of the directory. The EXIF
// version tells them apart; a bare TIFF file from a D-series body has none.
bool newerNikon(const ImageInfo& info) {
    return info.exifVersion > std::string_view("0210") ||
           (info.exifVersion.empty() && modelCharacter(info.cameraModel) == 'D' && info.tiffMode);
}

// One layout of the registry: the make key it serves, what the note must start with and what else must hold for
// it, then how its directory is read.
struct LayoutRow {
    std::string_view key;
    std::string_view header;                    // empty: any note
    bool (*applies)(const ImageInfo&) = nullptr;  // null: always
    std::string_view label;
    std::span<const TagRow> (*table)() = nullptr;
    std::int64_t directoryStart = 0;
    OffsetOrigin origin = OffsetOrigin::kExifTiffHeader;
    bool forceLittleEndian = false;
    std::int64_t byteOrderMarkAt = -1;
};

using enum OffsetOrigin;

// The layouts, tried in this order; the first whose key, header and condition match is the note's.
constexpr LayoutRow kLayouts[] = {
    {"NIKON", "", newerNikon, "Nikon type 3 with header", nikonType3Table, 18, kNoteTiffHeader, false, 10},
    {"NIKON", "Nikon", nullptr, "Nikon type 1", nikonType1Table, 8, kExifTiffHeader},
    {"NIKON", "", nullptr, "Nikon type 3", nikonType3Table, 0, kExifTiffHeader},
    // Newer bodies write "OLYMPUS", a zero and a byte-order mark; their offsets count from the note's first byte.
    {"OLYMP", std::string_view("OLYMPUS\0", 8), nullptr, "Olympus with byte-order mark", olympusTable, 12, kNoteStart,
     false, 8},
    {"OLYMP", "", nullptr, "Olympus", olympusTable, 8, kExifTiffHeader},
    {"CASIO", "QVC", nullptr, "Casio type 2", casioType2Table, 6, kExifTiffHeader},
    {"CASIO", "", nullptr, "Casio type 1", casioType1Table, 0, kExifTiffHeader},
    {"FUJIF", "", nullptr, "Fujifilm", fujifilmTable, 12, kNoteStart, true},
    // "FUJI PHOTO FILM CO., LTD.", the make of the older bodies
    {"FUJI ", "", nullptr, "Fujifilm", fujifilmTable, 12, kNoteStart, true},
    {"CANON", "", nullptr, "Canon", canonTable, 0, kExifTiffHeader},
    {"SEIKO", "", nullptr, "Seiko", seikoTable, 8, kExifTiffHeader},
    {"SANYO", "", nullptr, "Sanyo", sanyoTable, 8, kExifTiffHeader},
    {"MINOL", "", nullptr, "Minolta", minoltaTable, 0, kExifTiffHeader},
};

}  // namespace

std::optional<MakerLayout> selectMakerLayout(const ImageInfo& info, std::string_view note) {
    const std::string key = makeKey(info.cameraMake);
    for (const LayoutRow& row : kLayouts) {
        if (row.key != key || !note.starts_with(row.header) || (row.applies != nullptr && !row.applies(info))) {
            continue;
        }
        return MakerLayout{row.label, row.table(), row.directoryStart, row.origin, row.forceLittleEndian,
                           row.byteOrderMarkAt};
    }
    return std::nullopt;
}

}  // namespace makernote

namespace {

using makernote::MakerLayout;
using makernote::OffsetOrigin;

// "Skip" in any letter case.
bool isSkipCaption(std::string_view caption) {
    return caption.size() == 4 && makernote::makeKey(caption) == "SKIP";
}

std::string quoted(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() + 2);
    text += '"';
    text += bytes;
    text += '"';
    return text;
}

// The display text of a value before any decoder: texts in quotes, numbers through the row's list and pattern.
std::string formattedValue(std::string_view value, unsigned format, const TagRow* row, bool bigEndian) {
    if (format == 2) return quoted(value.substr(0, value.find('\0')));
    if (format == 7) return quoted(value);
    try {
        return formatValue(value, format, row ? row->decodeList : std::string_view(),
                           row ? row->formatSpec : std::string_view(), bigEndian);
    } catch (const std::exception&) {
        return quoted(value);
    }
}

// More entries than any maker writes: a count above it comes from reading the note in the wrong order or place.
constexpr unsigned kMaxNoteEntries = 512;

// A directory that makes sense at `dir`: a count that is neither 0 nor absurd, entries that fit in the note, and
// (for half of them at least) a TIFF format code, 13 (a sub-directory) included.
bool plausibleDirectory(const ByteReader& note, std::int64_t dir) {
    if (dir < 0) return false;
    const auto count = note.tryU16(static_cast<std::size_t>(dir));
    if (!count || *count == 0 || *count > kMaxNoteEntries) return false;
    if (!note.fits(static_cast<std::size_t>(dir) + 2, 12 * std::size_t{*count})) return false;
    DirectoryLayout layout;
    layout.bigEndian = note.bigEndian();
    layout.countAt = dir;
    WalkBudget budget;
    const DirectoryReader directory(note.data(), layout, budget);
    unsigned known = 0;
    for (unsigned i = 0; i < *count; ++i) {
        const std::uint16_t format = directory.entry(i).format;
        if (format >= 1 && format <= 13) ++known;
    }
    return known * 2 >= *count;
}

// Where the long values of a directory lie once their offsets are turned into note bytes.
struct ValuePlacement {
    unsigned longValues = 0;        // values of more than 4 bytes
    unsigned inside = 0;            // of those, wholly inside the note
    unsigned reachable = 0;         // of the others, wholly inside the EXIF block
    std::int64_t lowestOffset = 0;  // the smallest stored offset
    std::int64_t lowestStart = 0;   // the note byte it gives
    std::int64_t directoryEnd = 0;  // note byte after the last entry
    // All inside, the first right after the directory (with or without the 4-byte link).
    bool inPlace() const {
        return longValues > 0 && inside == longValues &&
               (lowestStart == directoryEnd || lowestStart == directoryEnd + 4);
    }
};

// `elsewhere` tells whether a value that is not in the note can still be read where its offset points.
template <typename Elsewhere>
ValuePlacement valuesPlaced(std::string_view note, const DirectoryLayout& layout, Elsewhere elsewhere) {
    ValuePlacement placement;
    WalkBudget budget;
    const DirectoryReader directory(note, layout, budget);
    const unsigned count = directory.count();
    placement.directoryEnd = directory.linkAt(count);
    for (unsigned i = 0; i < count; ++i) {
        const DirectoryEntry entry = directory.entry(i);
        if (entry.inlineValue()) continue;
        const std::int64_t offset = entry.valueAt - layout.valueBase;
        const auto size = static_cast<std::uint64_t>(entry.size);
        if (placement.longValues == 0 || offset < placement.lowestOffset) {
            placement.lowestOffset = offset;
            placement.lowestStart = entry.valueAt;
        }
        ++placement.longValues;
        if (entry.valueAt >= 0 && directory.bytes().fits(static_cast<std::size_t>(entry.valueAt), size)) {
            ++placement.inside;
        } else if (elsewhere(entry.valueAt, size)) {
            ++placement.reachable;
        }
    }
    return placement;
}

// Reads one maker's note. Lives for one MakerNote tag.
class MakerNoteReader {
  public:
    // In a bare TIFF file the note position is moved by 16 so that, as in a JPEG, the EXIF TIFF header counts as
    // position 9.
    MakerNoteReader(bool tiffMode, ImageInfo& info)
        : info_(info), notePos_(std::int64_t{info.makerNotePos} + (tiffMode ? 16 : 0)) {}

    bool read() {
        makerText_.clear();
        info_.makerNoteProblem.clear();
        const std::string_view note = info_.makerNoteBytes;
        const auto layout = makernote::selectMakerLayout(info_, note);
        if (!layout) return false;
        parseDirectory(note, *layout);
        makerText_ = info_.cameraMake;
        return true;
    }

  private:
    void parseDirectory(std::string_view note, const MakerLayout& layout);
    void parseEntries(std::string_view note, const MakerLayout& layout);
    // The byte order and offset origin the note is read with; a reason in problem when it cannot be read.
    bool planReading(std::string_view note, MakerLayout& layout, bool& bigEndian, std::string& problem) const;

    // The walker's layout of the note's directory: value offsets turned into note bytes (0-based, which may lie
    // outside the note) by the origin they count from.
    DirectoryLayout directoryLayout(const MakerLayout& layout, bool bigEndian) const {
        DirectoryLayout directory;
        directory.bigEndian = bigEndian;
        directory.countAt = layout.directoryStart;
        switch (layout.origin) {
            case OffsetOrigin::kNoteTiffHeader:
                directory.valueBase = 10;
                break;
            case OffsetOrigin::kNoteStart:
                directory.valueBase = layout.noteStartShift;
                break;
            case OffsetOrigin::kExifTiffHeader:
                // notePos_ counts as if the EXIF block's TIFF header sat at position 9, in a TIFF file too.
                directory.valueBase = 9 - notePos_;
                break;
        }
        return directory;
    }

    ImageInfo& info_;
    std::int64_t notePos_;
    std::string makerText_;
};

void MakerNoteReader::parseDirectory(std::string_view note, const MakerLayout& layout) {
    try {
        parseEntries(note, layout);
    } catch (const std::exception& error) {
        // The note is lost from here on; the EXIF walk goes on with its next entry.
        if (info_.owner != nullptr) info_.owner->setStatusText(std::string("Error Detected = ") + error.what());
    }
}

bool MakerNoteReader::planReading(std::string_view note, MakerLayout& layout, bool& bigEndian,
                                  std::string& problem) const {
    const std::int64_t dir = layout.directoryStart;
    bigEndian = layout.forceLittleEndian ? false : info_.bigEndian;
    if (layout.byteOrderMarkAt >= 0) {
        // The note's own mark decides, whatever order the block that holds it was written in.
        const auto markAt = static_cast<std::size_t>(layout.byteOrderMarkAt);
        const std::string_view mark = markAt < note.size() ? note.substr(markAt, 2) : std::string_view();
        if (mark == "MM") bigEndian = true;
        if (mark == "II") bigEndian = false;
    } else if (!layout.forceLittleEndian && !plausibleDirectory(ByteReader(note, bigEndian), dir) &&
               plausibleDirectory(ByteReader(note, !bigEndian), dir)) {
        // A note copied between blocks of different byte order keeps its own.
        bigEndian = !bigEndian;
    }
    const ByteReader reader(note, bigEndian);
    const auto count = reader.tryU16(static_cast<std::size_t>(dir));
    if (!count) {
        problem = "truncated: no directory at note byte " + std::to_string(dir);
        return false;
    }
    if (*count == 0) return true;
    if (*count > kMaxNoteEntries) {
        problem = "implausible directory: " + std::to_string(*count) + " entries";
        return false;
    }
    if (!reader.fits(static_cast<std::size_t>(dir) + 2, 12 * std::size_t{*count})) {
        problem = "truncated: " + std::to_string(*count) + " entries do not fit in " + std::to_string(note.size()) +
                  " bytes";
        return false;
    }
    if (!plausibleDirectory(reader, dir)) {
        problem = "implausible directory: most entries have no valid format";
        return false;
    }
    if (layout.origin != OffsetOrigin::kExifTiffHeader) return true;
    // A note moved by editing software keeps offsets that no longer point at its values. Makers put the values
    // right after the directory and its link; when the stated offsets leave the note but, all moved by one amount,
    // fall into place there, they are read that way.
    const ByteReader block(info_.block);
    const auto inBlock = [&](std::int64_t start, std::uint64_t size) {
        const std::int64_t at = std::int64_t{info_.makerNotePos} - 1 + start;
        return at >= 0 && block.fits(static_cast<std::size_t>(at), size);
    };
    const auto nowhere = [](std::int64_t, std::uint64_t) { return false; };
    const auto stated = valuesPlaced(note, directoryLayout(layout, bigEndian), inBlock);
    // Values all inside the note and after the directory are taken as stated.
    if (stated.longValues < 2 || (stated.inside == stated.longValues && stated.lowestStart >= stated.directoryEnd))
        return true;
    for (const std::int64_t gap : {4, 0}) {
        const std::int64_t shift = stated.directoryEnd + gap - stated.lowestOffset;
        MakerLayout moved = layout;
        moved.origin = OffsetOrigin::kNoteStart;
        moved.noteStartShift = shift;
        const auto shifted = valuesPlaced(note, directoryLayout(moved, bigEndian), nowhere);
        if (shifted.inPlace()) {
            layout.origin = OffsetOrigin::kNoteStart;
            layout.noteStartShift = shift;
            return true;
        }
    }
    const unsigned readable = stated.inside + stated.reachable;
    if (readable * 2 > stated.longValues) return true;
    problem = "misplaced: " + std::to_string(stated.longValues - readable) + " of " +
              std::to_string(stated.longValues) + " values point outside the note";
    return false;
}

void MakerNoteReader::parseEntries(std::string_view note, const MakerLayout& plannedLayout) {
    MakerLayout layout = plannedLayout;
    bool bigEndian = false;
    std::string problem;
    const bool readable = planReading(note, layout, bigEndian, problem);
    info_.makerNoteBigEndian = bigEndian;
    if (!readable) {
        // Said once, instead of one line of junk per entry read from the wrong bytes.
        info_.makerNoteProblem = problem;
        throw OutOfBounds("maker note unreadable (" + problem + ")");
    }
    // A value that is not wholly inside the note is looked for where its offset points: for offsets from the EXIF
    // TIFF header that is the same place in the EXIF block, otherwise the note itself. Like the EXIF walk, a value
    // cut short by the end of its block keeps the bytes that are there.
    const ByteReader block(info_.block, info_.bigEndian);
    DirectoryLayout directoryShape = directoryLayout(layout, bigEndian);
    if (layout.origin == OffsetOrigin::kExifTiffHeader) {
        directoryShape.outside = &block;
        directoryShape.outsideShift = std::int64_t{info_.makerNotePos} - 1;
    }
    // Entries may all point at one large value; the copies kept in the records stay within the walker's budget.
    WalkBudget budget;
    const DirectoryReader directory(note, directoryShape, budget);
    const bool makeLines = info_.buildCode == 2 || info_.buildCode == 255;
    const bool makeRecords = info_.buildCode == 4 || info_.buildCode == 255;

    const unsigned count = directory.count();
    for (unsigned i = 0; i < count; ++i) {
        const DirectoryEntry entry = directory.entry(i);
        const std::uint16_t tag = entry.tag;
        const std::uint16_t format = entry.format;
        const std::int64_t size = entry.size;

        int index = -1;
        for (std::size_t r = 0; r < layout.table.size(); ++r) {
            if (layout.table[r].tag == tag) {
                index = static_cast<int>(r);
                break;
            }
        }
        const TagRow* row = index >= 0 ? &layout.table[static_cast<std::size_t>(index)] : nullptr;
        const std::string_view caption = row ? (row->caption.empty() ? row->name : row->caption) : "Unknown";
        // Skipped entries are ignored before their value is even looked for.
        if (isSkipCaption(caption)) continue;
        if (!makeLines && !makeRecords) continue;
        const std::int64_t start = entry.valueAt;
        const std::string_view value = directory.value(entry);
        const std::string formatted = formattedValue(value, format, row, bigEndian);

        DecodeContext context{&info_, false, tag};
        const bool decoded = index >= 1 && row->decoder != nullptr;
        const std::string shown = decoded ? row->decoder(formatted, context) : printableText(formatted);
        const bool multiLine = decoded && context.multiLineResult;

        if (makeLines) {
            std::string& text = info_.makerNoteText;
            if (info_.traceLevel > 0) {
                char tagText[8];
                std::snprintf(tagText, sizeof tagText, "%04X", static_cast<unsigned>(tag));
                text += "\r\ntag[$";
                text += tagText;
                text += "]: ";
                text += caption;
                text += " = ";
                if (!multiLine) text += shown;
                text += " [size: " + std::to_string(size) + "]";
                text += " [raw: " + hexText(value) + "]";
                text += " [start: " + std::to_string(start + 1) + "]";
                if (multiLine) text += shown;
            } else if (multiLine) {
                text += shown;
                text += "\r\n";
                text += caption;
                text += " = ";
                text += formatted;
            } else {
                text += "\r\n";
                text += caption;
                text += " = ";
                text += shown;
            }
        }

        // The table's first row and unknown tags get a line but no record.
        if (index >= 1 && makeRecords) {
            try {
                TagEntry record;
                record.id = 1;
                record.format = format;
                record.tag = row->tag;
                record.name = row->name;
                record.caption = caption;
                record.decodeList = row->decodeList;
                record.formatSpec = row->formatSpec;
                record.decoder = row->decoder;
                record.text = multiLine ? formatted : shown;
                record.rawBytes = value;
                record.rawSize = static_cast<std::int32_t>(value.size());
                info_.storeEntry(record);
            } catch (const std::exception&) {
                // The line is written; a record that cannot be kept is no reason to stop.
            }
        }
    }
}

}  // namespace

bool readMakerNote(ImageInfo& info) {
    try {
        MakerNoteReader reader(info.tiffMode, info);
        return reader.read();
    } catch (...) {
        // Only allocation can fail outside the guarded walk; the EXIF walk must go on regardless.
        return false;
    }
}

}  // namespace morrowtide::meta
