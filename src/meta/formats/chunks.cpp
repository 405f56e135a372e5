// SPDX-License-Identifier: GPL-3.0-or-later
// The chunked and segmented containers: PNG chunks, RIFF/WebP chunks, a JPEG's marker segments (for the JPEG that
// a RAF file embeds) and the RAF header that points at it.
#include <algorithm>

#include "meta/byte_reader.h"
#include "meta/formats/iptc_dates.h"
#include "meta/formats/jpeg_markers.h"
#include "meta/formats/readers.h"

namespace morrowtide::meta::formats {
namespace {

constexpr std::uint64_t kMaxChunks = 1'000'000;
constexpr std::uint64_t kMaxJpegSegments = 4096;
constexpr std::string_view kExifPrefix{"Exif\0\0", 6};
constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";
constexpr std::string_view kJpegXmpSignature{"http://ns.adobe.com/xap/1.0/\0", 29};

// Some writers put the JPEG APP1 identifier before the TIFF header of an eXIf or EXIF chunk.
std::uint64_t exifPrefixLength(const ByteSource& source, std::uint64_t offset, std::uint64_t length) {
    if (length < kExifPrefix.size()) return 0;
    return readPiece(source, offset, kExifPrefix.size(), "an EXIF chunk") == kExifPrefix ? kExifPrefix.size() : 0;
}

bool isChunkTypeLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The PNG chunk [offset, offset + 12 + length): length, type, data, CRC.
struct PngChunk {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::string type;
    std::uint64_t data() const { return offset + 8; }
    std::uint64_t crc() const { return data() + length; }
    std::uint64_t end() const { return crc() + 4; }
};

// A chunk whose bytes a patch may change: its CRC must be right now, or rewriting it would hide damage that was
// there before.
void registerChecksum(const ByteSource& source, const PngChunk& chunk, ContainerScan& scan) {
    const std::string covered = readPiece(source, chunk.offset + 4, 4 + std::uint64_t{chunk.length}, "a PNG chunk");
    const std::string storedBytes = readPiece(source, chunk.crc(), 4, "a PNG CRC");
    const ByteReader stored(storedBytes, true);
    if (crc32(covered) != stored.u32(0)) {
        throw ScanProblem("the CRC of the " + printableCode(chunk.type) + " chunk at " + std::to_string(chunk.offset) +
                          " does not match its bytes");
    }
    scan.checksums.push_back({chunk.offset + 4, 4 + std::uint64_t{chunk.length}, chunk.crc()});
}

// The text chunks (tEXt, zTXt, iTXt) begin with a keyword of 1 to 79 bytes ended by a zero byte.
std::string textKeyword(const ByteSource& source, const PngChunk& chunk) {
    const std::string head = readPiece(source, chunk.data(), std::min<std::uint64_t>(chunk.length, 80), "a keyword");
    return head.substr(0, head.find('\0'));
}

void pngTextChunk(const ByteSource& source, const PngChunk& chunk, ContainerScan& scan) {
    const std::string keyword = textKeyword(source, chunk);
    if (chunk.type == "iTXt" && keyword == kXmpKeyword) {
        // keyword \0, compression flag, compression method, language \0, translated keyword \0, text
        const std::string head =
            readPiece(source, chunk.data(), std::min<std::uint64_t>(chunk.length, 4096), "an iTXt chunk");
        const ByteReader r(head);
        std::size_t at = keyword.size() + 1;
        if (!r.fits(at, 2)) throw ScanProblem("the XMP iTXt chunk is cut short");
        if (r.u8(at) != 0) {
            // A changed value would change the compressed stream's length, and with it the chunk's.
            recordNote(scan, "compressed XMP in an iTXt chunk: its dates cannot be changed in place and are left "
                             "as they are");
            return;
        }
        at += 2;
        for (int field = 0; field < 2; ++field) {
            const std::size_t zero = head.find('\0', at);
            if (zero == std::string::npos) throw ScanProblem("the XMP iTXt chunk's language fields run past it");
            at = zero + 1;
        }
        recordBlock(scan, {BlockKind::Xmp, chunk.data() + at, chunk.length - at, "iTXt XMP"});
        registerChecksum(source, chunk, scan);
    } else if (keyword.starts_with("Raw profile type")) {
        // An EXIF or XMP profile kept as hexadecimal text, compressed in a zTXt or iTXt chunk: a changed date would
        // change the compressed length, and with it the chunk's.
        recordNote(scan, "the " + chunk.type + " chunk \"" + keyword +
                             "\" (a profile in hexadecimal text): its dates are not changed");
    } else if (keyword == "Creation Time") {
        recordNote(scan, "the " + chunk.type + " chunk \"" + keyword + "\" (free-form text) is not changed");
    }
}

}  // namespace

void scanPng(const ByteSource& source, ContainerScan& scan) {
    std::uint64_t at = 8;
    bool timeSeen = false;
    for (std::uint64_t count = 0;; ++count) {
        if (count >= kMaxChunks) throw ScanProblem("more than " + std::to_string(kMaxChunks) + " PNG chunks");
        const std::string headBytes = readPiece(source, at, 8, "a PNG chunk header");
        const ByteReader head(headBytes, true);
        PngChunk chunk;
        chunk.offset = at;
        chunk.length = head.u32(0);
        chunk.type = std::string(head.bytes(4, 4));
        if (chunk.length > 0x7FFFFFFFu) throw ScanProblem("a PNG chunk length above 2^31 - 1");
        if (!std::all_of(chunk.type.begin(), chunk.type.end(), isChunkTypeLetter)) {
            throw ScanProblem("a PNG chunk type \"" + printableCode(chunk.type) + "\" at " + std::to_string(at));
        }
        if (!spanFits(source.size(), chunk.offset, 12 + std::uint64_t{chunk.length})) {
            throw ScanProblem("the " + chunk.type + " chunk at " + std::to_string(at) + " runs past the end of the file");
        }
        if (chunk.type == "IEND") return;
        if (chunk.type == "eXIf") {
            const std::uint64_t skip = exifPrefixLength(source, chunk.data(), chunk.length);
            recordBlock(scan, {BlockKind::Tiff, chunk.data() + skip, chunk.length - skip, "eXIf"});
            registerChecksum(source, chunk, scan);
        } else if (chunk.type == "tIME") {
            if (chunk.length != 7) throw ScanProblem("a tIME chunk of " + std::to_string(chunk.length) + " bytes");
            // A PNG holds one time of its last change; which of two would be the true one cannot be told.
            if (timeSeen) {
                throw ScanProblem("the PNG holds a second time of last change (tIME chunk at " + std::to_string(at) +
                                  "), where a PNG may hold only one");
            }
            timeSeen = true;
            DateField field;
            field.offset = chunk.data();
            field.width = 7;
            field.encoding = DateEncoding::PngTime;
            field.role = DateRole::Modified;
            field.group = "PNG";
            field.name = "ModifyDate";
            recordField(scan, std::move(field));
            registerChecksum(source, chunk, scan);
        } else if (chunk.type == "iTXt" || chunk.type == "tEXt" || chunk.type == "zTXt") {
            pngTextChunk(source, chunk, scan);
        }
        at = chunk.end();
    }
}

void scanWebP(const ByteSource& source, ContainerScan& scan) {
    const std::string riffBytes = readPiece(source, 0, 12, "the RIFF header");
    const ByteReader riff(riffBytes);
    const std::uint64_t end = 8 + std::uint64_t{riff.u32(4)};
    if (end > source.size()) throw ScanProblem("the RIFF size runs past the end of the file");
    std::uint64_t at = 12;
    for (std::uint64_t count = 0; at < end; ++count) {
        if (count >= kMaxChunks) throw ScanProblem("more than " + std::to_string(kMaxChunks) + " RIFF chunks");
        if (end - at < 8) throw ScanProblem("a RIFF chunk header at " + std::to_string(at) + " is cut short");
        const std::string headBytes = readPiece(source, at, 8, "a RIFF chunk header");
        const ByteReader head(headBytes);
        const std::string type(head.bytes(0, 4));
        const std::uint64_t length = head.u32(4);
        const std::uint64_t data = at + 8;
        if (length > end - data) {
            throw ScanProblem("the RIFF chunk " + printableCode(type) + " at " + std::to_string(at) +
                              " runs past the end of the RIFF data");
        }
        if (type == "EXIF") {
            const std::uint64_t skip = exifPrefixLength(source, data, length);
            recordBlock(scan, {BlockKind::Tiff, data + skip, length - skip, "EXIF"});
        } else if (type == "XMP ") {
            recordBlock(scan, {BlockKind::Xmp, data, length, "XMP"});
        }
        // A chunk of odd size is followed by one pad byte, which the last chunk may leave out.
        at = std::min(end, data + length + (length & 1));
    }
}

void scanJpegBlocks(const ByteSource& source, std::uint64_t offset, std::uint64_t length, ContainerScan& scan,
                    std::string_view labelPrefix) {
    if (!spanFits(source.size(), offset, length)) throw ScanProblem("the JPEG runs past the end of the file");
    const std::uint64_t end = offset + length;
    if (length < 2 || readPiece(source, offset, 2, "the JPEG start") != "\xFF\xD8") {
        throw ScanProblem("the JPEG does not start with a start-of-image marker");
    }
    std::uint64_t at = offset + 2;
    bool exifSeen = false;
    const auto read = [&](std::uint64_t pos, std::size_t wanted) {
        return readPiece(source, pos, std::min<std::uint64_t>(wanted, end - pos), "a JPEG marker");
    };
    std::string window;
    for (std::uint64_t count = 0; count < kMaxJpegSegments; ++count) {
        const JpegMarker found = nextJpegMarkerAt(at, read, window);
        if (found.status == JpegMarker::Status::EndOfBytes) return;  // the header ends with the data
        if (found.status != JpegMarker::Status::Found) {
            throw ScanProblem("the JPEG header at " + std::to_string(at) + " holds more bytes that belong to no "
                              "section than a JPEG reader passes over");
        }
        const int marker = found.marker;
        if (marker == 0xDA || marker == 0xD9) return;  // the image data starts: no metadata follows
        if (found.code + 3 > window.size()) return;    // no length field: nothing further to find
        at += found.code + 1;
        const std::uint64_t segment = ByteReader(window, true).u16(found.code + 1);
        if (segment < 2) throw ScanProblem("a JPEG segment length below 2 at " + std::to_string(at));
        if (segment > end - at) throw ScanProblem("a JPEG segment at " + std::to_string(at) + " runs past the JPEG");
        const std::uint64_t payload = at + 2, payloadLength = segment - 2;
        if (marker == 0xE1) {
            const std::string signature =
                readPiece(source, payload, std::min<std::uint64_t>(payloadLength, kJpegXmpSignature.size()), "an APP1");
            const std::string label(labelPrefix);
            if (!exifSeen && signature.starts_with(kExifPrefix)) {
                exifSeen = true;
                recordBlock(scan, {BlockKind::Tiff, payload + kExifPrefix.size(),
                                   payloadLength - kExifPrefix.size(), label + " APP1"});
            } else if (signature == kJpegXmpSignature) {
                recordBlock(scan, {BlockKind::Xmp, payload + kJpegXmpSignature.size(),
                                   payloadLength - kJpegXmpSignature.size(), label + " APP1 XMP"});
            }
        } else if (marker == 0xED) {
            const std::string signature = readPiece(
                source, payload, std::min<std::uint64_t>(payloadLength, kPhotoshopApp13Signature.size()), "an APP13");
            if (signature == kPhotoshopApp13Signature) {
                recordBlock(scan, {BlockKind::PhotoshopResources, payload + kPhotoshopApp13Signature.size(),
                                   payloadLength - kPhotoshopApp13Signature.size(),
                                   std::string(labelPrefix) + " APP13"});
            }
        }
        at = payload + payloadLength;
    }
    throw ScanProblem("more than " + std::to_string(kMaxJpegSegments) + " JPEG segments");
}

// The RAF header: a 16-byte signature, then at byte 84 the big-endian offset and length of the embedded JPEG, whose
// EXIF holds the dates.
void scanRaf(const ByteSource& source, ContainerScan& scan) {
    const std::string headerBytes = readPiece(source, 0, 108, "the RAF header");
    const ByteReader header(headerBytes, true);
    const std::uint64_t jpegOffset = header.u32(84), jpegLength = header.u32(88);
    if (jpegLength == 0) throw ScanProblem("the RAF header names no JPEG");
    scanJpegBlocks(source, jpegOffset, jpegLength, scan, "RAF JPEG");
    // Later RAF files keep a TIFF structure as their raw block.
    const std::uint64_t rawOffset = header.u32(100), rawLength = header.u32(104);
    if (rawLength >= 8 && spanFits(source.size(), rawOffset, rawLength)) {
        const std::string magic = readPiece(source, rawOffset, 4, "the RAF raw block");
        if (magic == std::string_view("MM\0*", 4) || magic == std::string_view("II*\0", 4)) {
            recordBlock(scan, {BlockKind::Tiff, rawOffset, rawLength, "RAF raw TIFF"});
        }
    }
}

}  // namespace morrowtide::meta::formats
