// SPDX-License-Identifier: GPL-3.0-or-later
// Text helpers shared by the maker-note decoders.
#include <exception>

#include "meta/image_info.h"
#include "meta/makernote/maker_tables.h"

namespace morrowtide::meta::makernote {

std::string_view textBefore(std::string_view s, std::string_view sep) {
    if (sep.empty()) return s;
    return s.substr(0, s.find(sep));  // npos keeps all of s
}

std::string_view textAfter(std::string_view s, std::string_view sep) {
    if (sep.empty()) return s;
    const auto at = s.find(sep);
    return at == std::string_view::npos ? std::string_view() : s.substr(at + sep.size());
}

std::string_view itemOf(std::string_view s, std::string_view sep, int n) {
    for (int i = 1; i < n && !s.empty(); ++i) s = textAfter(s, sep);
    return textBefore(s, sep);
}

int countOf(std::string_view s, std::string_view sep) {
    if (sep.empty()) return 0;
    int count = 0;
    for (auto at = s.find(sep); at != std::string_view::npos; at = s.find(sep, at + sep.size())) ++count;
    return count;
}

namespace {
bool isBlank(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > ' ') return false;
    }
    return true;
}
}  // namespace

void addSubField(DecodeContext& context, std::string& lines, std::string_view caption, std::string_view text) {
    if (isBlank(text)) return;
    if (context.imageInfo != nullptr) {
        try {
            context.imageInfo->recordSubField(caption, text, 2, context.tag);
        } catch (const std::exception&) {
            // A sub-field that cannot be recorded still gets its line.
        }
    }
    lines += "\r\n";
    lines += caption;
    lines += " = ";
    lines += text;
}

}  // namespace morrowtide::meta::makernote
