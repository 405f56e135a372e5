// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/info_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string_view>

#include "meta/ascii_case.h"
#include "meta/date_copies.h"
#include "meta/formats/container.h"
#include "meta/formats/date_codec.h"
#include "meta/formats/file_dates.h"
#include "meta/img_data.h"
#include "meta/tag_tables.h"
#include "meta/text_codec.h"

namespace morrowtide::cli {

namespace {

using meta::ImageInfo;
using meta::ImgData;
using meta::IptcData;
using meta::JpegSection;

// The system's texts are Windows-1252 with "\r\n" line breaks; a terminal wants UTF-8 and "\n". A control
// character inside a value (a line feed in a comment, say) is shown as an escape, so each value stays on its line
// and nothing can steer the terminal.
std::string forTerminal(std::string_view text) {
    std::string clean;
    clean.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            clean += '\n';
            ++i;
        } else if (c == '\n') {
            clean += "\\n";
        } else if (c == '\r') {
            clean += "\\r";
        } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            clean += "\\x";
            clean += kHex[c >> 4];
            clean += kHex[c & 0xF];
        } else {
            clean += static_cast<char>(c);
        }
    }
    return meta::cp1252ToUtf8(clean);
}

// Text lines begin with their line break; printed one per line without the empty first one.
void printLines(std::ostream& out, std::string_view lines, std::string_view indent) {
    std::string_view rest = lines;
    while (!rest.empty()) {
        if (rest.starts_with("\r\n")) rest.remove_prefix(2);
        const std::size_t next = rest.find("\r\n");
        out << indent << forTerminal(rest.substr(0, next)) << '\n';
        if (next == std::string_view::npos) break;
        rest.remove_prefix(next);
    }
}

std::string sectionName(int marker) {
    for (const auto& row : meta::sectionNameTable()) {
        if (row.tag == marker && row.tag != 0) return std::string(row.caption.empty() ? row.name : row.caption);
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    return std::string("0x") + kHex[(marker >> 4) & 0xF] + kHex[marker & 0xF];
}

// The 19 characters of a date value, as far as they lie inside the block.
std::string dateAt(const ImageInfo& info, std::int32_t pos) {
    if (pos < 1 || static_cast<std::size_t>(pos) > info.block.size()) return {};
    std::string value = info.block.substr(static_cast<std::size_t>(pos - 1), 19);
    return value.substr(0, value.find('\0'));
}

void printDate(std::ostream& out, std::string_view label, const ImageInfo* info, std::int32_t pos) {
    out << "  " << label << ": ";
    if (info == nullptr || pos == 0) {
        out << "-\n";
        return;
    }
    out << '"' << forTerminal(dateAt(*info, pos)) << "\" at block position " << pos << '\n';
}

void printWalk(std::ostream& out, const ImageInfo& info);
void printIptc(std::ostream& out, const ImgData& data);

// The XMP and IPTC copies of the dates, each with its place in the file and, when it is not a date that a
// correction can move, why.
void printDateCopies(std::ostream& out, const ImgData& data) {
    const meta::DateFieldScan copies = meta::findDateCopies(data);
    if (copies.fields.empty() && copies.skipped.empty()) {
        out << "  Date copies: -\n";
        return;
    }
    out << "  Date copies:\n";
    const meta::MemoryByteSource source(data.sourceBytes());
    for (const meta::DateField& field : copies.fields) {
        std::string value;
        const bool read = source.read(field.offset, field.width, value);
        out << "    " << field.group << ' ' << field.name << ": \"" << forTerminal(value) << "\" at file offset "
            << field.offset;
        if (!read) {
            out << " (cannot be read)";
        } else if (meta::isEmptyDateField(field.encoding, value)) {
            out << " (empty)";
        } else if (!meta::parseDateField(field.encoding, value)) {
            out << " (unreadable)";
        }
        out << '\n';
    }
    for (const std::string& why : copies.skipped) out << "    Left as it is: " << forTerminal(why) << '\n';
}

// Why a file the reader could not open at all was not read, as its look-up tells: missing, not a regular file (a
// folder, a FIFO or a device, none of which is read), or the system's reason.
std::string unreadReason(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return "file not found";
        return std::string("cannot be opened: ") + std::strerror(errno);
    }
    return S_ISREG(info.st_mode) ? "cannot be opened" : "not a regular file";
}

void printFile(std::ostream& out, const std::string& path, const ImgData& data) {
    const ImageInfo* info = data.exif();
    out << "File: " << path << '\n';
    out << "  Status: "
        << (data.statusText().empty() ? "(" + unreadReason(path) + ")" : forTerminal(data.statusText())) << '\n';
    if (!data.diagnostic().empty()) out << "  Diagnostic: " << forTerminal(data.diagnostic()) << '\n';
    out << "  Size: " << data.sourceSize() << " bytes\n";
    if (data.sectionCount() > 0) {
        out << "  Sections:";
        for (int i = 0; i < data.sectionCount(); ++i) {
            const auto& s = data.section(i);
            out << (i == 0 ? " " : ", ") << (data.tiffMode() || s.marker == 0 ? "TIFF block" : sectionName(s.marker));
            if (i == data.exifSectionIndex()) out << " [EXIF]";
            if (i == data.iptcSectionIndex()) out << " [IPTC]";
            if (i == data.commentSectionIndex()) out << " [comment]";
            if (i == data.app0SectionIndex()) out << " [APP0]";
        }
        out << '\n';
    }
    const bool walked = info != nullptr && !info->block.empty();
    out << "  Byte order: " << (!walked ? "-" : info->bigEndian ? "Motorola (MM)" : "Intel (II)") << '\n';
    printDate(out, "DateTime", info, info ? info->dateTimePos : 0);
    printDate(out, "DateTimeOriginal", info, info ? info->dateTimeOriginalPos : 0);
    printDate(out, "DateTimeDigitized", info, info ? info->dateTimeDigitizedPos : 0);
    printDateCopies(out, data);
    if (info != nullptr) printWalk(out, *info);
    printIptc(out, data);
}

void printWalk(std::ostream& out, const ImageInfo& info) {
    for (const auto& failure : info.walkFailures) out << "  Skipped sub-directory: " << forTerminal(failure) << '\n';
    if (!info.trace.empty()) {
        out << "  Entries:\n";
        printLines(out, info.trace, "    ");
    }
    if (info.makerNoteKnown && !info.makerNoteProblem.empty()) {
        out << "  Maker note: unreadable (" << forTerminal(info.makerNoteProblem) << ")\n";
    } else if (!info.makerNoteText.empty()) {
        out << "  Maker note" << (info.makerNoteKnown ? "" : " (maker not recognised)") << ":\n";
        printLines(out, info.makerNoteText, "    ");
    } else if (!info.makerNoteBytes.empty()) {
        out << "  Maker note: " << info.makerNoteBytes.size() << " bytes"
            << (info.makerNoteKnown ? "" : ", maker not recognised") << '\n';
    }
}

void printIptc(std::ostream& out, const ImgData& data) {
    const JpegSection* section = data.iptcSection();
    if (section == nullptr) return;
    // The container's own object is left as it is; a local copy parses the section for display.
    IptcData iptc;
    iptc.parseIptcSection(section->data);
    if (!iptc.hasEntries()) return;
    out << "  IPTC:\n";
    printLines(out, iptc.textLines(), "    ");
}

// The files the JPEG and TIFF reader above takes by their name; every other file is shown by its container.
bool readByName(const std::string& path) {
    const std::string extension = meta::asciiLower(std::filesystem::path(path).extension().string());
    for (const char* known : {".jpg", ".jpeg", ".jpe", ".tif", ".tiff", ".nef"}) {
        if (extension == known) return true;
    }
    return false;
}

std::string fieldValue(const meta::ByteSource& source, const meta::DateField& field) {
    std::string bytes;
    if (!source.read(field.offset, field.width, bytes)) return "(unreadable)";
    const bool binary = field.encoding == meta::DateEncoding::QuickTimeSeconds32 ||
                        field.encoding == meta::DateEncoding::QuickTimeSeconds64 ||
                        field.encoding == meta::DateEncoding::PngTime;
    if (!binary) return '"' + forTerminal(bytes) + '"';
    // A number's value as a date; its bytes in hexadecimal when they are not one.
    if (const auto parsed = meta::parseDateField(field.encoding, bytes)) {
        const meta::CivilDateTime& v = parsed->value;
        char text[40];
        std::snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", v.year, v.month, v.day, v.hour, v.minute,
                      v.second);
        return text;
    }
    std::string hex = "0x";
    for (const char c : bytes) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        hex += kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
        hex += kHex[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

// Container, date fields with their file offsets, embedded blocks, and the entries of the first EXIF block.
void printContainer(std::ostream& out, const std::string& path) {
    meta::SourceFile file;
    if (file.open(path) != 0) return;
    const meta::SourceFileBytes source(file);
    const std::string extension = std::filesystem::path(path).extension().string();
    meta::ContainerScan scan = meta::scanContainer(source, extension);
    if (scan.kind == meta::ContainerKind::Unknown) return;
    meta::allDateFields(source, scan);  // adds the blocks the TIFF directories point at
    // The fields as the run finds them, those of the XMP and IPTC blocks included.
    const meta::FileDates dates = meta::readFileDates(source, extension);
    out << "  Container: " << meta::containerName(scan.kind);
    if (!scan.brand.empty()) out << ", brand \"" << forTerminal(scan.brand) << '"';
    out << '\n';
    if (!dates.problem.empty()) out << "  Problem: " << forTerminal(dates.problem) << '\n';
    for (const meta::DateField& field : dates.fields) {
        out << "  Date field: " << field.group << ':' << field.name << " = " << fieldValue(source, field) << " at "
            << field.offset << '\n';
    }
    static constexpr const char* kKinds[] = {"TIFF", "XMP", "IPTC", "Photoshop"};
    for (const meta::EmbeddedBlock& block : scan.blocks) {
        out << "  Block: " << kKinds[static_cast<int>(block.kind)] << " \"" << forTerminal(block.label) << "\" at "
            << block.offset << ", " << block.length << " bytes\n";
    }
    for (const std::string& note : dates.notes) out << "  Note: " << forTerminal(note) << '\n';
    for (const meta::EmbeddedBlock& block : scan.blocks) {
        if (block.kind != meta::BlockKind::Tiff) continue;
        ImageInfo info(nullptr, 255);
        const std::string problem = meta::walkTiffBlock(source, block, info);
        if (!problem.empty()) out << "  Problem: " << forTerminal(problem) << '\n';
        printWalk(out, info);
        break;
    }
}

}  // namespace

const char* infoHelp() {
    return "Usage: morrowtide-cli info FILE...\n"
           "\n"
           "Reads each FILE the way the date correction does and shows what was understood:\n"
           "the status of the read, the metadata sections kept, the byte order of the EXIF block,\n"
           "the three date values (DateTime, DateTimeOriginal, DateTimeDigitized) with their\n"
           "positions in the block, their copies in the XMP and IPTC sections (xmp:CreateDate,\n"
           "exif:DateTimeOriginal, IPTC Date Created, ...) with their places in the file, then\n"
           "one line per directory entry and per maker-note entry.\n"
           "Control characters inside a value are shown as escapes (\\n). A maker note that cannot\n"
           "be read is reported once: \"Maker note: unreadable (reason)\".\n"
           "JPEG files (.jpg, .jpeg, .jpe) and TIFF-structured files (.tif, .tiff, .nef) are read;\n"
           "other names are reported as \"Not an EXIF file\". Nothing is written.\n"
           "Other photo and video files (raw, HEIC, AVIF, CR3, PNG, WebP, MP4, MOV, XMP) are\n"
           "also shown by their container: each date field with its file offset, the embedded\n"
           "metadata blocks, and the entries of the first EXIF block.\n"
           "\n"
           "Exit status: 0 when every file could be read (with or without metadata),\n"
           "1 when a file does not exist, is not a regular file (a folder, a FIFO) or cannot\n"
           "be opened, 2 for a usage error.\n";
}

int runInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "morrowtide-cli info: no file given\n\n" << infoHelp();
        return 2;
    }
    if (std::find(args.begin(), args.end(), "--help") != args.end() ||
        std::find(args.begin(), args.end(), "-h") != args.end()) {
        out << infoHelp();
        return 0;
    }
    int status = 0;
    ImgData data(255);
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) out << '\n';
        data.readImageFile(args[i]);
        printFile(out, args[i], data);
        if (!readByName(args[i])) printContainer(out, args[i]);
        // Only a file that could not be opened at all counts as a failure; a photo without metadata is an answer.
        if (data.statusText().empty() || data.statusText() == "Illegal Exif construction") status = 1;
    }
    return status;
}

}  // namespace morrowtide::cli
