// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/container_builder.h"

#include "meta/formats/container.h"
#include "support/exif_builder.h"

namespace morrowtide::test {

std::string be16(std::uint16_t v) { return bytes16(v, ByteOrder::kBig); }
std::string be32(std::uint32_t v) { return bytes32(v, ByteOrder::kBig); }
std::string be64(std::uint64_t v) { return be32(static_cast<std::uint32_t>(v >> 32)) + be32(static_cast<std::uint32_t>(v)); }
std::string le32(std::uint32_t v) { return bytes32(v, ByteOrder::kLittle); }

std::string box(std::string_view type, std::string_view content) {
    return boxWithSize(static_cast<std::uint32_t>(content.size() + 8), type, content);
}

std::string boxWithSize(std::uint32_t statedSize, std::string_view type, std::string_view content) {
    return be32(statedSize) + std::string(type) + std::string(content);
}

std::string largeBox(std::string_view type, std::string_view content, std::uint64_t statedSize) {
    return be32(1) + std::string(type) + be64(statedSize != 0 ? statedSize : content.size() + 16) + std::string(content);
}

std::string fullBox(std::string_view type, std::uint8_t version, std::string_view content, std::uint32_t flags) {
    std::string head(1, static_cast<char>(version));
    head += be32(flags).substr(1);
    return box(type, head + std::string(content));
}

std::string uuidBox(std::string_view uuid16, std::string_view content) {
    return box("uuid", std::string(uuid16) + std::string(content));
}

std::string ftyp(std::string_view brand) { return box("ftyp", std::string(brand) + be32(0) + std::string(brand)); }

const std::string kXmpUuid{"\xBE\x7A\xCF\xCB\x97\xA9\x42\xE8\x9C\x71\x99\x94\x91\xE3\xAF\xAC", 16};
const std::string kCanonUuid{"\x85\xC0\xB6\x87\x82\x0F\x11\xE0\x81\x11\xF4\xCE\x46\x2B\x6A\x48", 16};

namespace {

std::string sized(std::uint64_t value, int size) {
    if (size == 4) return be32(static_cast<std::uint32_t>(value));
    if (size == 8) return be64(value);
    return {};
}

std::string infe(std::uint16_t id, std::string_view type, std::string_view contentType = {}) {
    std::string content = be16(id) + be16(0) + std::string(type) + std::string("item", 5);
    if (type == "mime") content += std::string(contentType) + std::string(1, '\0');
    return fullBox("infe", 2, content);
}

struct Item {
    std::uint16_t id;
    std::string bytes;
};

// An iloc box placing each item at `base` + its position among the items.
std::string iloc(const HeicSpec& spec, const std::vector<Item>& items, std::uint64_t base) {
    const int v = spec.ilocVersion;
    std::string content;
    content += static_cast<char>(spec.offsetSize << 4 | spec.lengthSize);
    content += static_cast<char>(0);  // base offset size 0, index size 0
    content += v < 2 ? be16(static_cast<std::uint16_t>(items.size())) : be32(static_cast<std::uint32_t>(items.size()));
    std::uint64_t at = base;
    const std::uint64_t first = base;
    for (const Item& item : items) {
        if (spec.xmpOverExif && item.id == 2) at = first;
        content += v < 2 ? be16(item.id) : be32(item.id);
        if (v > 0) content += be16(static_cast<std::uint16_t>(spec.constructionMethod));
        content += be16(0);  // data reference index
        const bool split = spec.exifInTwoExtents && item.id == 1;
        content += be16(split ? 2 : 1);
        if (split) {
            const std::uint64_t half = item.bytes.size() / 2;
            content += sized(at, spec.offsetSize) + sized(half, spec.lengthSize);
            content += sized(at + half + spec.extentGap, spec.offsetSize) + sized(item.bytes.size() - half, spec.lengthSize);
        } else {
            content += sized(at, spec.offsetSize) + sized(item.bytes.size(), spec.lengthSize);
        }
        at += item.bytes.size();
    }
    return fullBox("iloc", static_cast<std::uint8_t>(v), content);
}

std::string trackBox(const MovieSpec& spec) {
    const bool v1 = spec.version == 1;
    const std::string times = v1 ? be64(spec.creation) + be64(spec.modification)
                                 : be32(static_cast<std::uint32_t>(spec.creation)) +
                                       be32(static_cast<std::uint32_t>(spec.modification));
    const auto version = static_cast<std::uint8_t>(spec.version);
    return box("trak", fullBox("tkhd", version, times + std::string(60, '\0')) +
                           box("mdia", fullBox("mdhd", version, times + std::string(12, '\0'))));
}

}  // namespace

std::string heicFile(const HeicSpec& spec) {
    std::vector<Item> items;
    std::string iinfEntries;
    if (!spec.tiff.empty()) {
        items.push_back({1, be32(6) + std::string("Exif\0\0", 6) + spec.tiff});
        iinfEntries += infe(1, "Exif");
    }
    if (!spec.xmp.empty()) {
        items.push_back({2, spec.xmp});
        iinfEntries += infe(2, "mime", "application/rdf+xml");
    }
    std::string data;
    for (const Item& item : items) data += item.bytes;
    const std::string iinf = fullBox("iinf", 0, be16(static_cast<std::uint16_t>(items.size())) + iinfEntries);
    const std::string hdlr = fullBox("hdlr", 0, be32(0) + "pict" + std::string(13, '\0'));
    const std::string head = ftyp(spec.brand);
    const bool inIdat = spec.constructionMethod == 1;
    // The sizes do not depend on the offsets, so a first pass gives where mdat's data starts.
    auto meta = [&](std::uint64_t base) {
        return fullBox("meta", 0, hdlr + iinf + iloc(spec, items, base) + (inIdat ? box("idat", data) : ""));
    };
    const std::uint64_t mdatData = head.size() + meta(0).size() + 8;
    return head + meta(inIdat ? 0 : mdatData) + (inIdat ? box("mdat", "") : box("mdat", data));
}

namespace {

std::string heicWithIloc(std::string_view ilocContent, std::uint8_t version) {
    const std::string hdlr = fullBox("hdlr", 0, be32(0) + "pict" + std::string(13, '\0'));
    return ftyp("heic") + fullBox("meta", 0, hdlr + fullBox("iloc", version, ilocContent)) + box("mdat", "");
}

}  // namespace

std::string heicWithEmptyExtents(std::uint32_t items, std::uint16_t extents, std::uint32_t statedItems) {
    std::string content(2, '\0');  // every field size 0
    content += be32(statedItems != 0 ? statedItems : items);
    for (std::uint32_t id = 1; id <= items; ++id) content += be32(id) + be16(0) + be16(0) + be16(extents);
    return heicWithIloc(content, 2);
}

std::string heicWithMissingExtents(std::uint16_t extents, std::uint16_t held) {
    std::string content = std::string(1, '\x44') + '\0' + be16(1) + be16(1) + be16(0) + be16(0) + be16(extents);
    for (std::uint16_t k = 0; k < held; ++k) content += be32(k) + be32(1);
    return heicWithIloc(content, 1);
}

std::string movieFile(const MovieSpec& movie) {
    const bool v1 = movie.version == 1;
    const std::string times = v1 ? be64(movie.creation) + be64(movie.modification)
                                 : be32(static_cast<std::uint32_t>(movie.creation)) +
                                       be32(static_cast<std::uint32_t>(movie.modification));
    std::string moov = fullBox("mvhd", static_cast<std::uint8_t>(movie.version), times + std::string(88, '\0'));
    for (int t = 0; t < movie.tracks; ++t) moov += trackBox(movie);
    std::string udta;
    if (!movie.userDay.empty()) {
        udta += box("\xA9" "day", be16(static_cast<std::uint16_t>(movie.userDay.size())) + be16(0x55C4) + movie.userDay);
    }
    if (!movie.userDate.empty()) udta += box("date", movie.userDate);
    if (!movie.udtaXmp.empty()) udta += box("XMP_", movie.udtaXmp);
    for (const auto& [type, text] : {std::pair{"\xA9" "mak", movie.userMake}, std::pair{"\xA9" "mod", movie.userModel}}) {
        if (!text.empty()) udta += box(type, be16(static_cast<std::uint16_t>(text.size())) + be16(0x55C4) + text);
    }
    if (!udta.empty()) moov += box("udta", udta);
    if (!movie.creationDate.empty() || !movie.keysMake.empty() || !movie.keysModel.empty()) {
        // Keys 1 to 3; the item list holds the values given, each named by its key's index.
        const std::string keys = fullBox("keys", 0, be32(3) + box("mdta", "com.apple.quicktime.make") +
                                                        box("mdta", "com.apple.quicktime.creationdate") +
                                                        box("mdta", "com.apple.quicktime.model"));
        std::string items;
        const std::pair<std::uint32_t, std::string> values[] = {
            {2, movie.creationDate}, {1, movie.keysMake}, {3, movie.keysModel}};
        for (const auto& [index, text] : values) {
            if (text.empty()) continue;
            items += boxWithSize(8 + 8 + 8 + static_cast<std::uint32_t>(text.size()), be32(index),
                                 box("data", be32(1) + be32(0) + text));
        }
        moov += box("meta", box("hdlr", be32(0) + be32(0) + "mdta" + std::string(12, '\0')) + keys + box("ilst", items));
    }
    std::string file = ftyp(movie.brand) + box("moov", moov);
    if (!movie.uuidXmp.empty()) file += uuidBox(kXmpUuid, movie.uuidXmp);
    return file + box("mdat", std::string(16, '\x55'));
}

std::string cr3File(std::string_view cmt1, std::string_view cmt2, std::uint32_t creation) {
    const std::string maker = uuidBox(kCanonUuid, box("CNCV", "CanonCR3_001/00.09.00/00.00.00") + box("CMT1", cmt1) +
                                                      box("CMT2", cmt2));
    const std::string mvhd = fullBox("mvhd", 0, be32(creation) + be32(creation) + std::string(88, '\0'));
    return ftyp("crx ") + box("moov", maker + mvhd) + box("mdat", std::string(8, '\0'));
}

std::string pngChunk(std::string_view type, std::string_view data, std::uint32_t crc) {
    const std::string covered = std::string(type) + std::string(data);
    return be32(static_cast<std::uint32_t>(data.size())) + covered + be32(crc != 0 ? crc : meta::crc32(covered));
}

std::string pngFile(const std::vector<std::string>& chunks) {
    std::string file(kPngSignature);
    file += pngChunk("IHDR", be32(1) + be32(1) + std::string("\x08\x00\x00\x00\x00", 5));
    for (const std::string& chunk : chunks) file += chunk;
    return file + pngChunk("IEND", "");
}

std::string pngTime(int year, int month, int day, int hour, int minute, int second) {
    std::string data = be16(static_cast<std::uint16_t>(year));
    for (const int v : {month, day, hour, minute, second}) data += static_cast<char>(v);
    return data;
}

std::string pngWithTimes(std::size_t count) {
    std::vector<std::string> chunks;
    for (std::size_t i = 0; i < count; ++i) {
        const auto s = static_cast<int>(i % 60), m = static_cast<int>(i / 60 % 60), h = static_cast<int>(i / 3600 % 24);
        chunks.push_back(pngChunk("tIME", pngTime(2020, 5, 4 + static_cast<int>(i / 86400 % 20), h, m, s)));
    }
    return pngFile(chunks);
}

std::string pngXmpText(std::string_view packet, bool compressed) {
    return std::string("XML:com.adobe.xmp") + '\0' + (compressed ? '\1' : '\0') + '\0' + "en" + '\0' + '\0' +
           std::string(packet);
}

std::string riffChunk(std::string_view type, std::string_view data) {
    std::string chunk = std::string(type) + le32(static_cast<std::uint32_t>(data.size())) + std::string(data);
    if (data.size() % 2 == 1) chunk += '\0';
    return chunk;
}

std::string webpFile(const std::vector<std::string>& chunks, std::uint32_t statedSize) {
    std::string body = "WEBP" + riffChunk("VP8X", std::string("\x0C\0\0\0\0\0\0\0\0\0", 10));
    for (const std::string& chunk : chunks) body += chunk;
    return "RIFF" + le32(statedSize != 0 ? statedSize : static_cast<std::uint32_t>(body.size())) + body;
}

std::string rafFile(std::string_view jpeg) {
    std::string header = "FUJIFILMCCD-RAW 0201FF383501";
    header.resize(84, '\0');
    header += be32(108) + be32(static_cast<std::uint32_t>(jpeg.size()));
    header.resize(108, '\0');
    return header + std::string(jpeg);
}

std::string tiffPhoto(std::string_view date, std::string_view model, ByteOrder order) {
    TiffBuilder tiff(order);
    const auto ifd0 = tiff.directory();
    const auto exif = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Maker");
    tiff.ascii(ifd0, 0x0110, model);
    tiff.ascii(ifd0, 0x0132, date);
    tiff.link(ifd0, 0x8769, exif);
    tiff.ascii(exif, 0x9003, date);
    return tiff.build();
}

}  // namespace morrowtide::test
