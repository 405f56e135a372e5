// Recognises the camera maker of a MakerNote value and walks the note's private directory.
#include "meta/makernote/maker_note.h"

#include <cstdio>
#include <exception>
#include <string>

#include "meta/byte_reader.h"
#include "meta/image_info.h"
#include "meta/img_data.h"
#include "meta/makernote/maker_tables.h"
#include "meta/value_format.h"

namespace morrowtide::meta {

namespace makernote {

std::string makeKey(std::string_view cameraMake) {
    std::string key(cameraMake.substr(0, 5));
    for (char& c : key) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

namespace {

// The character after the model's first blank ("NIKON D70" -> 'D'), or its first character without a blank.
char modelCharacter(std::string_view model) {
    const auto blank = model.find(' ');
    const std::size_t at = blank == std::string_view::npos ? 0 : blank + 1;
    return at < model.size() ? model[at] : '\0';
}

MakerLayout layout(std::string_view label, std::span<const TagRow> table, std::int64_t directoryStart,
                   OffsetOrigin origin, bool forceLittleEndian = false) {
    return MakerLayout{label, table, directoryStart, origin, forceLittleEndian};
}

// The maker registry, one row per make key, tried in this order.
struct MakerEntry {
    std::string_view key;
    std::optional<MakerLayout> (*select)(const ImageInfo& info, std::string_view note);
};

std::optional<MakerLayout> selectNikon(const ImageInfo& info, std::string_view note) {
    // Later models put a "Nikon" header and a TIFF header of their own in front of the directory. The EXIF version
    // tells them apart; a bare TIFF file from a D-series body has none.
    if (info.exifVersion > std::string_view("0210") ||
        (info.exifVersion.empty() && modelCharacter(info.cameraModel) == 'D' && info.tiffMode)) {
        return layout("Nikon type 3 with header", nikonType3Table(), 18, OffsetOrigin::kNoteTiffHeader);
    }
    if (note.substr(0, 5) == "Nikon")
        return layout("Nikon type 1", nikonType1Table(), 8, OffsetOrigin::kExifTiffHeader);
    return layout("Nikon type 3", nikonType3Table(), 0, OffsetOrigin::kExifTiffHeader);
}

std::optional<MakerLayout> selectOlympus(const ImageInfo&, std::string_view) {
    return layout("Olympus", olympusTable(), 8, OffsetOrigin::kExifTiffHeader);
}

std::optional<MakerLayout> selectCasio(const ImageInfo&, std::string_view note) {
    if (note.substr(0, 3) == "QVC") return layout("Casio type 2", casioType2Table(), 6, OffsetOrigin::kExifTiffHeader);
    return layout("Casio type 1", casioType1Table(), 0, OffsetOrigin::kExifTiffHeader);
}

std::optional<MakerLayout> selectFujifilm(const ImageInfo&, std::string_view) {
    return layout("Fujifilm", fujifilmTable(), 12, OffsetOrigin::kNoteStart, true);
}

std::optional<MakerLayout> selectCanon(const ImageInfo&, std::string_view) {
    return layout("Canon", canonTable(), 0, OffsetOrigin::kExifTiffHeader);
}

std::optional<MakerLayout> selectSeiko(const ImageInfo&, std::string_view) {
    return layout("Seiko", seikoTable(), 8, OffsetOrigin::kExifTiffHeader);
}

std::optional<MakerLayout> selectSanyo(const ImageInfo&, std::string_view) {
    return layout("Sanyo", sanyoTable(), 8, OffsetOrigin::kExifTiffHeader);
}

std::optional<MakerLayout> selectMinolta(const ImageInfo&, std::string_view) {
    return layout("Minolta", minoltaTable(), 0, OffsetOrigin::kExifTiffHeader);
}

constexpr MakerEntry kMakers[] = {
    {"NIKON", selectNikon}, {"OLYMP", selectOlympus}, {"CASIO", selectCasio}, {"FUJIF", selectFujifilm},
    {"CANON", selectCanon}, {"SEIKO", selectSeiko},   {"SANYO", selectSanyo}, {"MINOL", selectMinolta},
};

}  // namespace

std::optional<MakerLayout> selectMakerLayout(const ImageInfo& info, std::string_view note) {
    const std::string key = makeKey(info.cameraMake);
    for (const MakerEntry& maker : kMakers) {
        if (maker.key == key) return maker.select(info, note);
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

// Reads one maker's note. Lives for one MakerNote tag.
class MakerNoteReader {
  public:
    // In a bare TIFF file the note position is moved by 16 so that, as in a JPEG, the EXIF TIFF header counts as
    // position 9.
    MakerNoteReader(bool tiffMode, ImageInfo& info)
        : info_(info), notePos_(std::int64_t{info.makerNotePos} + (tiffMode ? 16 : 0)) {}

    bool read() {
        makerText_.clear();
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

    // Note byte (0-based, may lie outside the note) at which a value offset X points.
    std::int64_t noteByteOf(std::uint32_t offset, OffsetOrigin origin) const {
        switch (origin) {
            case OffsetOrigin::kNoteTiffHeader:
                return std::int64_t{offset} + 10;
            case OffsetOrigin::kNoteStart:
                return offset;
            case OffsetOrigin::kExifTiffHeader:
                break;
        }
        // notePos_ counts as if the EXIF block's TIFF header sat at position 9, in a TIFF file too.
        return std::int64_t{offset} + 9 - notePos_;
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

void MakerNoteReader::parseEntries(std::string_view note, const MakerLayout& layout) {
    const bool bigEndian = layout.forceLittleEndian ? false : info_.bigEndian;
    info_.makerNoteBigEndian = bigEndian;
    const ByteReader reader(note, bigEndian);
    const ByteReader block(info_.block, info_.bigEndian);
    const bool makeLines = info_.buildCode == 2 || info_.buildCode == 255;
    const bool makeRecords = info_.buildCode == 4 || info_.buildCode == 255;

    std::int64_t valueBytes = 0;
    const std::int64_t dir = layout.directoryStart;
    const unsigned count = reader.u16(static_cast<std::size_t>(dir));
    for (unsigned i = 0; i < count; ++i) {
        const auto e = static_cast<std::size_t>(dir + 2 + 12 * std::int64_t{i});
        const std::uint16_t tag = reader.u16(e);
        const std::uint16_t format = reader.u16(e + 2);
        const std::uint64_t size = std::uint64_t{reader.u32(e + 4)} * formatSize(format);

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

        std::int64_t start = static_cast<std::int64_t>(e) + 8;
        if (size > 4) start = noteByteOf(reader.u32(e + 8), layout.origin);
        // A value that is not wholly inside the note is looked for where its offset points: for offsets from the
        // EXIF TIFF header that is the same place in the EXIF block, otherwise the note itself. Like the EXIF walk,
        // a value cut short by the end of its block keeps the bytes that are there.
        std::string_view value;
        if (start >= 0 && reader.fits(static_cast<std::size_t>(start), size)) {
            value = reader.bytes(static_cast<std::size_t>(start), size);
        } else if (layout.origin == OffsetOrigin::kExifTiffHeader) {
            const std::int64_t at = std::int64_t{info_.makerNotePos} - 1 + start;
            if (at >= 0) value = block.bytesClamped(static_cast<std::size_t>(at), size);
        } else if (start >= 0) {
            value = reader.bytesClamped(static_cast<std::size_t>(start), size);
        }

        if (!makeLines && !makeRecords) continue;
        // Entries may all point at one large value; the copies kept in the records stay within the walker's budget.
        valueBytes += static_cast<std::int64_t>(value.size());
        if (valueBytes > ImageInfo::kMaxCopiedValueBytes) {
            throw OutOfBounds("maker-note values exceed " + std::to_string(ImageInfo::kMaxCopiedValueBytes) + " bytes");
        }
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
                TagEntry entry;
                entry.id = 1;
                entry.format = format;
                entry.tag = row->tag;
                entry.name = row->name;
                entry.caption = caption;
                entry.decodeList = row->decodeList;
                entry.formatSpec = row->formatSpec;
                entry.decoder = row->decoder;
                entry.text = multiLine ? formatted : shown;
                entry.rawBytes = value;
                entry.rawSize = static_cast<std::int32_t>(value.size());
                info_.storeEntry(entry);
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
