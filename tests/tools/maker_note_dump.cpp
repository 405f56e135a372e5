// SPDX-License-Identifier: GPL-3.0-or-later
// Test-only driver: reads photos the way the date correction does and prints, per photo, what the maker-note
// reader made of its note, one tab-separated row per recorded value. scripts/compare_maker_notes.py compares these
// rows with exiftool's by tag id.
#include <cstdio>
#include <string>
#include <string_view>

#include "meta/image_info.h"
#include "meta/img_data.h"
#include "meta/makernote/maker_tables.h"
#include "meta/value_format.h"

using namespace morrowtide::meta;

namespace {

// Tabs and line breaks would break the row; they never occur in the values compared.
std::string oneField(std::string_view text) {
    std::string out;
    for (const char c : text) out += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
    return out;
}

// The numbers of a numeric value, blank-separated, rationals divided out.
std::string numbers(const TagEntry& entry, bool bigEndian) {
    const int size = formatSize(entry.format);
    if (size == 0) return {};
    std::string out;
    for (std::size_t at = 0; at + static_cast<std::size_t>(size) <= entry.rawBytes.size() && at < 64 * 8;
         at += static_cast<std::size_t>(size)) {
        const std::string_view element = std::string_view(entry.rawBytes).substr(at, static_cast<std::size_t>(size));
        char text[64];
        if (entry.format == 5 || entry.format == 10) {
            const double value = numericValue(element, entry.format, bigEndian);
            std::snprintf(text, sizeof text, "%.6g", value);
        } else {
            std::int64_t value = bytesToInteger(element, bigEndian);
            if (entry.format == 3 || entry.format == 1) value &= size == 1 ? 0xFF : 0xFFFF;
            if (entry.format == 4) value &= 0xFFFFFFFF;
            if (entry.format == 8 && value >= 32768) value -= 65536;
            if (entry.format == 6 && value >= 128) value -= 256;
            std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
        }
        if (!out.empty()) out += ' ';
        out += text;
    }
    return out;
}

std::string unquoted(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    return std::string(text);
}

std::size_t countOf(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        ImgData img;
        img.readImageFile(argv[i]);
        const ImageInfo* info = img.exif();
        std::string state = "none";
        if (info != nullptr && !info->makerNoteBytes.empty()) {
            state = info->makerNoteKnown ? "read" : "unknown";
        }
        const bool noteBigEndian = info != nullptr && info->makerNoteBigEndian;
        if (info != nullptr && info->makerNoteKnown && !info->makerNoteProblem.empty()) {
            state = "unreadable:" + oneField(info->makerNoteProblem);
        }
        std::printf("FILE\t%s\t%s\t%s\t%zu\t%zu\n", argv[i],
                    info ? makernote::makeKey(info->cameraMake).c_str() : "", state.c_str(),
                    info ? countOf(info->makerNoteText, "\r\n") : 0,
                    info ? countOf(info->makerNoteText, "\r\nUnknown = ") : 0);
        if (info == nullptr) continue;
        for (const TagEntry& entry : info->entries) {
            if (entry.id != 1) continue;
            if (entry.rawPos == 0 && entry.format == 2 && entry.rawBytes == entry.text) {
                // A decoded sub-field of a composite entry.
                std::printf("SUB\t%u\t%s\t%s\n", static_cast<unsigned>(entry.tag), oneField(entry.name).c_str(),
                            oneField(entry.text).c_str());
                continue;
            }
            const bool numeric = entry.format != 2 && entry.format != 7;
            const std::string value = numeric ? numbers(entry, noteBigEndian)
                                              : unquoted(entry.format == 2 ? std::string_view(entry.rawBytes).substr(
                                                                                 0, entry.rawBytes.find('\0'))
                                                                           : std::string_view(entry.rawBytes));
            std::printf("REC\t%u\t%s\t%u\t%s\n", static_cast<unsigned>(entry.tag), oneField(entry.name).c_str(),
                        static_cast<unsigned>(entry.format), oneField(value).c_str());
        }
    }
    return 0;
}
