// SPDX-License-Identifier: GPL-3.0-or-later
// The one record for every named piece of metadata: table rows and decoded values alike.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace morrowtide::meta {

class ImageInfo;

// What a decoder may reach besides the value text: the image being decoded and the flag a decoder sets when its
// result is a series of "\r\n"-led lines. Carried explicitly so that two readers never share state.
struct DecodeContext {
    ImageInfo* imageInfo = nullptr;
    bool multiLineResult = false;
    std::uint16_t tag = 0;  // tag of the entry being decoded; sub-fields a decoder records carry it
};

// Receives the formatted value text, returns the display text. May throw std::runtime_error on a text it cannot
// read (the walker treats that as a failed directory).
using Decoder = std::string (*)(std::string_view text, DecodeContext& context);

// Texts are Windows-1252 byte strings; RawBytes holds the value bytes in the file's byte order.
struct TagEntry {
    std::int32_t id = 0;
    std::uint16_t format = 0;
    std::uint16_t indexCode = 0;
    std::uint16_t tag = 0;
    std::string name;
    std::string caption;
    std::string decodeList;
    std::string text;
    std::string rawBytes;
    std::int32_t rawPos = 0;
    std::string formatSpec;
    std::int32_t rawSize = 0;
    Decoder decoder = nullptr;
};

// A constant table row. Tables are constexpr arrays of these; rows are turned into TagEntry copies on lookup.
struct TagRow {
    std::uint16_t tag = 0;
    std::string_view name;
    std::string_view caption = {};
    std::string_view decodeList = {};
    std::string_view formatSpec = {};
    Decoder decoder = nullptr;
    std::uint16_t indexCode = 0;  // IPTC record number
    std::int32_t rawSize = 0;     // IPTC maximum length
};

// Byte size of one element of each TIFF value format; 0 outside 1..12.
inline constexpr std::array<int, 13> kFormatSizes = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

constexpr int formatSize(unsigned code) { return code < kFormatSizes.size() ? kFormatSizes[code] : 0; }

}  // namespace morrowtide::meta
