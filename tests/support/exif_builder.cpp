// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/exif_builder.h"

#include <unistd.h>
#include <atomic>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace morrowtide::test {

namespace {

// A grey 8x8 baseline image written by the JPEG library (quality 50, optimised Huffman tables), SOI left out.
constexpr std::string_view kTinyImage(
    "\xFF\xDB\x00\x43\x00\x10\x0B\x0C\x0E\x0C\x0A\x10\x0E\x0D\x0E\x12\x11\x10\x13\x18\x28\x1A\x18\x16"
    "\x16\x18\x31\x23\x25\x1D\x28\x3A\x33\x3D\x3C\x39\x33\x38\x37\x40\x48\x5C\x4E\x40\x44\x57\x45\x37"
    "\x38\x50\x6D\x51\x57\x5F\x62\x67\x68\x67\x3E\x4D\x71\x79\x70\x64\x78\x5C\x65\x67\x63\xFF\xC0\x00"
    "\x0B\x08\x00\x08\x00\x08\x01\x01\x11\x00\xFF\xC4\x00\x14\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00\xFF\xC4\x00\x14\x10\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\x3F\xFF\xD9",
    139);

std::uint32_t padded(std::size_t size) {
    return static_cast<std::uint32_t>(size + (size & 1));
}

}  // namespace

std::string bytes16(std::uint16_t value, ByteOrder order) {
    std::string out(2, '\0');
    const auto hi = static_cast<char>(value >> 8), lo = static_cast<char>(value & 0xFF);
    out[0] = order == ByteOrder::kBig ? hi : lo;
    out[1] = order == ByteOrder::kBig ? lo : hi;
    return out;
}

std::string bytes32(std::uint32_t value, ByteOrder order) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<char>((value >> (8 * i)) & 0xFF);
        out[static_cast<std::size_t>(order == ByteOrder::kBig ? 3 - i : i)] = byte;
    }
    return out;
}

TiffBuilder::TiffBuilder(ByteOrder order) : order_(order) {}

TiffBuilder::Dir TiffBuilder::directory() {
    dirs_.emplace_back();
    return static_cast<Dir>(dirs_.size() - 1);
}

int TiffBuilder::entry(Dir dir, std::uint16_t tag, std::uint16_t format, std::uint32_t count, std::string value) {
    auto& entries = dirs_.at(static_cast<std::size_t>(dir)).entries;
    entries.push_back(Entry{tag, format, count, std::move(value), std::nullopt, {}});
    return static_cast<int>(entries.size() - 1);
}

int TiffBuilder::rawEntry(Dir dir, std::uint16_t tag, std::uint16_t format, std::uint32_t count,
                          std::uint32_t valueField) {
    auto& entries = dirs_.at(static_cast<std::size_t>(dir)).entries;
    entries.push_back(Entry{tag, format, count, {}, valueField, {}});
    return static_cast<int>(entries.size() - 1);
}

int TiffBuilder::ascii(Dir dir, std::uint16_t tag, std::string_view text) {
    std::string value(text);
    value += '\0';
    const auto count = static_cast<std::uint32_t>(value.size());
    return entry(dir, tag, 2, count, std::move(value));
}

int TiffBuilder::byteValues(Dir dir, std::uint16_t tag, std::string_view bytes, std::uint16_t format) {
    return entry(dir, tag, format, static_cast<std::uint32_t>(bytes.size()), std::string(bytes));
}

int TiffBuilder::shortValue(Dir dir, std::uint16_t tag, std::uint16_t value) {
    return entry(dir, tag, 3, 1, bytes16(value, order_));
}

int TiffBuilder::shortValues(Dir dir, std::uint16_t tag, const std::vector<std::uint16_t>& values) {
    std::string value;
    for (const auto v : values) value += bytes16(v, order_);
    return entry(dir, tag, 3, static_cast<std::uint32_t>(values.size()), std::move(value));
}

int TiffBuilder::longValue(Dir dir, std::uint16_t tag, std::uint32_t value) {
    return entry(dir, tag, 4, 1, bytes32(value, order_));
}

int TiffBuilder::rational(Dir dir, std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator,
                          std::uint16_t format) {
    return entry(dir, tag, format, 1, bytes32(numerator, order_) + bytes32(denominator, order_));
}

int TiffBuilder::link(Dir dir, std::uint16_t tag, Dir child) {
    return links(dir, tag, {child});
}

int TiffBuilder::links(Dir dir, std::uint16_t tag, const std::vector<Dir>& children) {
    auto& entries = dirs_.at(static_cast<std::size_t>(dir)).entries;
    entries.push_back(Entry{tag, 4, static_cast<std::uint32_t>(children.size()), {}, std::nullopt, children});
    return static_cast<int>(entries.size() - 1);
}

void TiffBuilder::setNext(Dir dir, Dir next) {
    dirs_.at(static_cast<std::size_t>(dir)).next = next;
}

void TiffBuilder::setNextOffset(Dir dir, std::uint32_t rawOffset) {
    auto& d = dirs_.at(static_cast<std::size_t>(dir));
    d.next.reset();
    d.nextOffset = rawOffset;
}

void TiffBuilder::setStatedCount(Dir dir, std::uint16_t count) {
    dirs_.at(static_cast<std::size_t>(dir)).statedCount = count;
}

void TiffBuilder::setFirstDirOffset(std::uint32_t rawOffset) {
    firstOffset_ = rawOffset;
}

void TiffBuilder::setTrailer(std::string bytes) {
    trailer_ = std::move(bytes);
}

TiffBuilder::Layout TiffBuilder::layout() const {
    Layout out;
    std::uint32_t at = 8;
    for (const auto& d : dirs_) {
        out.dirOffsets.push_back(at);
        at += 2 + 12 * static_cast<std::uint32_t>(d.entries.size()) + 4;
        std::vector<std::uint32_t> values;
        for (const auto& e : d.entries) {
            if (!e.field && e.valueSize() > 4) {
                values.push_back(at);
                at += padded(e.valueSize());
            } else {
                values.push_back(0);
            }
        }
        out.valueOffsets.push_back(std::move(values));
    }
    out.end = at;
    return out;
}

std::uint32_t TiffBuilder::offsetOf(Dir dir) const {
    return layout().dirOffsets.at(static_cast<std::size_t>(dir));
}

std::uint32_t TiffBuilder::entryOffset(Dir dir, int entryIndex) const {
    return offsetOf(dir) + 2 + 12 * static_cast<std::uint32_t>(entryIndex);
}

std::uint32_t TiffBuilder::valueOffset(Dir dir, int entryIndex) const {
    const auto lay = layout();
    const auto& e = dirs_.at(static_cast<std::size_t>(dir)).entries.at(static_cast<std::size_t>(entryIndex));
    if (e.field) return *e.field;
    const std::uint32_t outside = lay.valueOffsets[static_cast<std::size_t>(dir)][static_cast<std::size_t>(entryIndex)];
    return outside != 0 ? outside : entryOffset(dir, entryIndex) + 8;
}

std::string TiffBuilder::build() const {
    const Layout lay = layout();
    std::string out = order_ == ByteOrder::kBig ? "MM" : "II";
    out += bytes16(42, order_);
    out += bytes32(firstOffset_ ? *firstOffset_ : (dirs_.empty() ? 0 : lay.dirOffsets[0]), order_);
    for (std::size_t di = 0; di < dirs_.size(); ++di) {
        const auto& d = dirs_[di];
        out += bytes16(d.statedCount ? *d.statedCount : static_cast<std::uint16_t>(d.entries.size()), order_);
        std::string values;
        for (std::size_t ei = 0; ei < d.entries.size(); ++ei) {
            const auto& e = d.entries[ei];
            out += bytes16(e.tag, order_);
            out += bytes16(e.format, order_);
            out += bytes32(e.count, order_);
            std::string value = e.value;
            for (const Dir child : e.linkTo)
                value += bytes32(lay.dirOffsets.at(static_cast<std::size_t>(child)), order_);
            if (e.field) {
                out += bytes32(*e.field, order_);
            } else if (value.size() <= 4) {
                value.resize(4, '\0');
                out += value;
            } else {
                out += bytes32(lay.valueOffsets[di][ei], order_);
                values += value;
                if (value.size() & 1) values += '\0';
            }
        }
        out += bytes32(d.next ? lay.dirOffsets.at(static_cast<std::size_t>(*d.next)) : d.nextOffset, order_);
        out += values;
    }
    if (out.size() != lay.end) throw std::logic_error("TiffBuilder layout mismatch");
    out += trailer_;
    return out;
}

std::string cameraPhoto(const PhotoTags& tags) {
    // Built twice when there is a thumbnail: its offset is known once the rest is laid out.
    const auto tiffWith = [&tags](std::uint32_t thumbnailOffset) {
        TiffBuilder tiff;
        const auto ifd0 = tiff.directory();
        const auto exif = tiff.directory();
        if (!tags.make.empty()) tiff.ascii(ifd0, 0x010F, tags.make);
        if (!tags.model.empty()) tiff.ascii(ifd0, 0x0110, tags.model);
        if (!tags.date.empty()) tiff.ascii(ifd0, 0x0132, tags.date);
        tiff.link(ifd0, 0x8769, exif);
        if (!tags.date.empty()) {
            tiff.ascii(exif, 0x9003, tags.date);
            tiff.ascii(exif, 0x9004, tags.date);
        } else {
            tiff.shortValue(exif, 0xA002, 8);
        }
        if (!tags.serial.empty()) tiff.ascii(exif, 0xA431, tags.serial);
        if (!tags.zone.empty()) {
            for (const std::uint16_t tag : {0x9010, 0x9011, 0x9012}) tiff.ascii(exif, tag, tags.zone);
        }
        if (!tags.gpsDate.empty() || tags.gpsTimeOnly) {
            const auto gps = tiff.directory();
            tiff.link(ifd0, 0x8825, gps);
            std::string stamp;
            for (const std::uint32_t part : tags.gpsTime) {
                stamp += bytes32(part, tiff.order()) + bytes32(1, tiff.order());
            }
            tiff.entry(gps, 0x0007, 5, static_cast<std::uint32_t>(tags.gpsTime.size()), stamp);
            if (!tags.gpsDate.empty()) tiff.ascii(gps, 0x001D, tags.gpsDate);
        }
        if (!tags.thumbnail.empty()) {
            const auto ifd1 = tiff.directory();
            tiff.setNext(ifd0, ifd1);
            tiff.shortValue(ifd1, 0x0103, 6);
            tiff.longValue(ifd1, 0x0201, thumbnailOffset);
            tiff.longValue(ifd1, 0x0202, static_cast<std::uint32_t>(tags.thumbnail.size()));
            tiff.setTrailer(tags.thumbnail);
        }
        return tiff.build();
    };
    std::string tiff = tiffWith(0);
    if (!tags.thumbnail.empty()) tiff = tiffWith(static_cast<std::uint32_t>(tiff.size() - tags.thumbnail.size()));
    return JpegBuilder().app1Exif(tiff).imageData().build();
}

std::string replacedAll(std::string bytes, std::string_view from, std::string_view to) {
    for (std::size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at + to.size())) {
        bytes.replace(at, from.size(), to);
    }
    return bytes;
}

std::string plainPhoto() {
    return JpegBuilder().app0Jfif().imageData().build();
}

std::string exifPayload(std::string_view tiff) {
    std::string out("Exif\0\0", 6);
    out += tiff;
    return out;
}

JpegBuilder::JpegBuilder(bool withSoi) {
    if (withSoi) bytes_ = "\xFF\xD8";
}

JpegBuilder& JpegBuilder::segment(std::uint8_t marker, std::string_view payload) {
    if (payload.size() + 2 > 0xFFFF) throw std::length_error("JPEG section payload too long");
    return segmentWithLength(marker, static_cast<std::uint16_t>(payload.size() + 2), payload);
}

JpegBuilder& JpegBuilder::segmentWithLength(std::uint8_t marker, std::uint16_t lengthField, std::string_view payload) {
    bytes_ += '\xFF';
    bytes_ += static_cast<char>(marker);
    bytes_ += bytes16(lengthField, ByteOrder::kBig);
    bytes_ += payload;
    return *this;
}

JpegBuilder& JpegBuilder::app0Jfif() {
    return segment(0xE0, std::string_view("JFIF\0\x01\x02\x01\x00\x48\x00\x48\x00\x00", 14));
}

JpegBuilder& JpegBuilder::app1Xmp() {
    return segment(
        0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"></x:xmpmeta>");
}

JpegBuilder& JpegBuilder::app2() {
    return segment(0xE2, std::string_view("ICC_PROFILE\0\x01\x01", 14));
}

JpegBuilder& JpegBuilder::app13(std::string_view payload) {
    return segment(0xED, payload);
}

JpegBuilder& JpegBuilder::dqt() {
    return segment(0xDB, std::string(65, '\x01').replace(0, 1, 1, '\0'));
}

JpegBuilder& JpegBuilder::imageData() {
    bytes_ += kTinyImage;
    return *this;
}

JpegBuilder& JpegBuilder::scan() {
    segment(0xDA, std::string_view("\x01\x01\x00\x00\x3F\x00", 6));
    bytes_ += std::string_view("\x12\x34\x56\xFF\x00\x78\xFF\xD9", 8);
    return *this;
}

JpegBuilder& JpegBuilder::raw(std::string_view bytes) {
    bytes_ += bytes;
    return *this;
}

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("morrowtide-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(std::string_view name, std::string_view bytes) const {
    const auto file = path_ / std::string(name);
    writeFile(file, bytes);
    return file.string();
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace morrowtide::test
