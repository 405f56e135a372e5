// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/hostile_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>
#include <stdexcept>

#include "meta/image_info.h"
#include "support/exif_builder.h"

namespace morrowtide::test {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kRefusedJpeg = "JPEG error #";
constexpr std::string_view kCannotOpen = "Cannot open file \"";

// IFD0 with Make and DateTime, linked to an EXIF directory with DateTimeOriginal and DateTimeDigitized. Returns the
// two directories so that callers can make them lie.
struct PhotoTiff {
    TiffBuilder tiff;
    TiffBuilder::Dir ifd0;
    TiffBuilder::Dir exif;
};

PhotoTiff photoTiff(ByteOrder order, std::string_view date = kHostileDate) {
    PhotoTiff photo{TiffBuilder(order), 0, 0};
    photo.ifd0 = photo.tiff.directory();
    photo.exif = photo.tiff.directory();
    photo.tiff.ascii(photo.ifd0, 0x010F, "Canon");
    photo.tiff.ascii(photo.ifd0, 0x0132, date);
    photo.tiff.link(photo.ifd0, 0x8769, photo.exif);
    photo.tiff.ascii(photo.exif, 0x9003, date);
    photo.tiff.ascii(photo.exif, 0x9004, date);
    return photo;
}

std::string jpegWith(const std::string& tiff) {
    return JpegBuilder().app1Exif(tiff).imageData().build();
}

HostileFile hostileFile(std::string path, std::string bytes, HostileExpect expect, std::string what) {
    HostileFile file;
    file.path = std::move(path);
    file.bytes = std::move(bytes);
    file.expect = expect;
    file.what = std::move(what);
    return file;
}

HostileFile corrected(std::string path, std::string bytes, std::string what) {
    return hostileFile(std::move(path), std::move(bytes), HostileExpect::kCorrected, std::move(what));
}

HostileFile refused(std::string path, std::string bytes, std::string_view message, std::string what) {
    HostileFile file = hostileFile(std::move(path), std::move(bytes), HostileExpect::kRefused, std::move(what));
    file.message = message;
    return file;
}

HostileFile survives(std::string path, std::string bytes, std::string what) {
    return hostileFile(std::move(path), std::move(bytes), HostileExpect::kSurvives, std::move(what));
}

std::uint16_t bigEndian16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[at]) << 8) |
                                      static_cast<unsigned char>(bytes[at + 1]));
}

// Photos with ordinary content and names that are anything but ordinary.
void addNames(std::vector<HostileFile>& files) {
    const std::string photo = hostilePhoto();
    const char* names[] = {
        "names/with spaces  and\ttab.jpg",
        "names/it's a \"quoted\" name.jpg",
        "names/back\\slash and |pipe| *star*.jpg",
        "names/new\nline.jpg",
        "names/carriage\rreturn.JPG",
        "names/\xC3\xBCn\xC3\xAF\x63\xC3\xB6\x64\xC3\xA9 \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80.jpg",
        "names/-starts with a dash.jpg",
        "names/.hidden.jpg",
        "names/ leading and trailing blanks .jpg",
        "names/$HOME `date` $(id) %s %n.jpg",
        "names/escape \x1B[31mred\x1B[0m.jpg",
        "names/folder named like a photo.jpg/inside.jpg",
        "names/a/b/c/d/e/f/g/h/i/j/k/l/m/n/o/p/deep.jpg",
        "names/\xE7\x85\xA7\xE7\x89\x87/\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE.JPG",
    };
    for (const char* name : names) files.push_back(corrected(name, photo, "an unusual name"));
    // Latin-1 bytes, not UTF-8: a name from a memory card written by another system. It must at least be reported
    // clearly; hostile_tree_test asks for more.
    files.push_back(survives(std::string(kNotUtf8Name), photo, "a name that is not UTF-8"));
    files.push_back(corrected("names/" + std::string(240, 'L') + ".jpg", photo, "a name that the date makes too long"));
    files.push_back(corrected("names/big-endian.jpg", hostilePhoto(true), "a Motorola-order EXIF block"));
    files.push_back(
        corrected("names/jfif then exif.jpg",
                  JpegBuilder().app0Jfif().app1Exif(photoTiff(ByteOrder::kLittle).tiff.build()).imageData().build(),
                  "APP0 before APP1"));

    // Listed by name only when the extension is exactly ".jpg" or ".JPG".
    HostileFile wrongCase = corrected("names/wrong case.Jpg", photo, "not listed: .Jpg");
    wrongCase.listed = false;
    files.push_back(wrongCase);
    HostileFile jpeg = corrected("names/long extension.jpeg", photo, "not listed: .jpeg");
    jpeg.listed = false;
    files.push_back(jpeg);

    HostileFile link = corrected("names/link to a photo.jpg", "", "a symbolic link to a photo");
    link.kind = HostileKind::kSymlink;
    link.linkTarget = "with spaces  and\ttab.jpg";
    files.push_back(link);
    HostileFile loop = survives("names/loop back to the top.jpg", "", "a folder link back to the top of the tree");
    loop.kind = HostileKind::kSymlink;
    loop.linkTarget = "..";
    loop.listed = false;
    files.push_back(loop);
    HostileFile dangling = refused("names/dangling link.jpg", "", kCannotOpen, "a symbolic link to nothing");
    dangling.kind = HostileKind::kSymlink;
    dangling.linkTarget = "there is no such file.jpg";
    files.push_back(dangling);
    HostileFile fifo = refused("names/fifo.jpg", "", kCannotOpen, "a FIFO named like a photo");
    fifo.kind = HostileKind::kFifo;
    files.push_back(fifo);
}

// Files named .jpg that are something else (another container's bytes are read as that container).
void addImpostors(std::vector<HostileFile>& files) {
    files.push_back(refused("impostors/empty.jpg", "", kRefusedJpeg, "an empty file"));
    files.push_back(refused("impostors/text.jpg", "This is not a photo.\n", kRefusedJpeg, "a text file"));
    files.push_back(
        survives("impostors/png.jpg", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), "a cut PNG file"));
    files.push_back(refused("impostors/gif.JPG", "GIF89a\x01\x00\x01\x00\x00\x00\x00;", kRefusedJpeg, "a GIF file"));
    files.push_back(
        survives("impostors/tiff.jpg", photoTiff(ByteOrder::kLittle).tiff.build(), "a TIFF file"));
    files.push_back(refused("impostors/soi only.jpg", "\xFF\xD8", kRefusedJpeg, "start-of-image and nothing else"));
    files.push_back(refused("impostors/soi eoi.jpg", "\xFF\xD8\xFF\xD9", kRefusedJpeg, "an image with no image"));
    files.push_back(refused("impostors/exif without image.jpg",
                            JpegBuilder().app1Exif(photoTiff(ByteOrder::kLittle).tiff.build()).build(), kRefusedJpeg,
                            "EXIF but no image"));
    std::mt19937 random(20240601);
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(random() & 0xFF);
    files.push_back(refused("impostors/noise.jpg", noise, kRefusedJpeg, "random bytes"));
    files.push_back(refused("impostors/noise after soi.jpg", "\xFF\xD8" + noise, kRefusedJpeg,
                            "random bytes after start-of-image"));
}

// A good photo cut at every section boundary: before the end of the scan header the JPEG reader refuses it; from
// there on it is a (short) picture whose dates are corrected.
void addTruncations(std::vector<HostileFile>& files) {
    for (const bool big : {false, true}) {
        const std::string photo = hostilePhoto(big);
        const std::size_t scanStart = scanDataStart(photo);
        const std::size_t scanHeader = photo.rfind("\xFF\xDA", scanStart);
        for (const std::size_t cut : sectionCuts(photo)) {
            char name[80];
            std::snprintf(name, sizeof name, "truncated/%s cut at %04zu.jpg", big ? "mm" : "ii", cut);
            const std::string bytes = photo.substr(0, cut);
            if (cut < scanHeader) {
                files.push_back(refused(name, bytes, kRefusedJpeg, "cut before the image"));
            } else if (cut < scanStart) {
                // The JPEG library may read a cut scan header as complete.
                files.push_back(survives(name, bytes, "cut inside the scan header"));
            } else {
                files.push_back(corrected(name, bytes, "cut inside the image"));
            }
        }
    }
}

// EXIF blocks that lie: loops, huge counts, offsets at the 32-bit limits. Where the lie is away from the dates the
// dates must still be corrected.
void addLyingExif(std::vector<HostileFile>& files) {
    for (const bool big : {false, true}) {
        const ByteOrder order = big ? ByteOrder::kBig : ByteOrder::kLittle;
        const std::string prefix = big ? "exif/mm " : "exif/ii ";
        auto add = [&](HostileExpect expect, const std::string& name, const std::string& bytes, const char* what) {
            files.push_back(hostileFile(prefix + name + ".jpg", bytes, expect, what));
        };
        using E = HostileExpect;
        {
            auto p = photoTiff(order);
            p.tiff.setNext(p.ifd0, p.ifd0);
            add(E::kCorrected, "ifd0 next is itself", jpegWith(p.tiff.build()), "IFD0 links to itself");
        }
        {
            auto p = photoTiff(order);
            p.tiff.link(p.exif, 0x8769, p.ifd0);
            p.tiff.setNext(p.exif, p.ifd0);
            add(E::kCorrected, "exif links back to ifd0", jpegWith(p.tiff.build()), "EXIF directory links to IFD0");
        }
        {
            auto p = photoTiff(order);
            p.tiff.link(p.exif, 0xA005, p.exif);
            add(E::kCorrected, "interop is the exif dir", jpegWith(p.tiff.build()), "interoperability loop");
        }
        {
            auto p = photoTiff(order);
            p.tiff.setStatedCount(p.exif, 0xFFFF);
            add(E::kSurvives, "exif count 65535", jpegWith(p.tiff.build()), "EXIF directory claims 65535 entries");
        }
        {
            auto p = photoTiff(order);
            p.tiff.setStatedCount(p.ifd0, 0xFFFF);
            add(E::kSurvives, "ifd0 count 65535", jpegWith(p.tiff.build()), "IFD0 claims 65535 entries");
        }
        {
            auto p = photoTiff(order);
            p.tiff.rawEntry(p.exif, 0x9286, 2, 0xFFFFFFFF, 0x20);
            add(E::kCorrected, "ascii count 4294967295", jpegWith(p.tiff.build()), "ASCII count 0xFFFFFFFF");
        }
        {
            auto p = photoTiff(order);
            p.tiff.rawEntry(p.ifd0, 0x0111, 4, 0x40000000, 8);
            p.tiff.rawEntry(p.ifd0, 0x011A, 5, 0x20000000, 8);
            p.tiff.rawEntry(p.ifd0, 0x0112, 3, 0x80000000, 8);
            add(E::kCorrected, "counts that overflow 32 bits", jpegWith(p.tiff.build()),
                "counts whose byte size wraps to 0 in 32 bits");
        }
        for (const std::uint32_t offset : {0xFFFFFFFFu, 0xFFFFFFF7u, 0xFFFFFFF0u, 0x80000000u, 0x7FFFFFFFu}) {
            auto p = photoTiff(order);
            p.tiff.rawEntry(p.ifd0, 0x010E, 2, 40, offset);
            p.tiff.rawEntry(p.exif, 0x927C, 7, 64, offset);
            p.tiff.rawEntry(p.exif, 0x9286, 7, 0x7FFFFFFF, offset);
            char name[64];
            std::snprintf(name, sizeof name, "value offsets %08X", offset);
            add(E::kCorrected, name, jpegWith(p.tiff.build()), "value offsets at the 32-bit limits");
        }
        for (const std::uint32_t offset : {0xFFFFFFFFu, 0xFFFFFFF8u, 0x80000000u}) {
            auto p = photoTiff(order);
            p.tiff.setFirstDirOffset(offset);
            char name[64];
            std::snprintf(name, sizeof name, "first directory at %08X", offset);
            add(E::kSurvives, name, jpegWith(p.tiff.build()), "IFD0 offset at the 32-bit limits");
        }
        for (const std::uint32_t offset : {0xFFFFFFFEu, 0x7FFFFFFFu}) {
            auto p = photoTiff(order);
            p.tiff.setNextOffset(p.ifd0, offset);
            p.tiff.setNextOffset(p.exif, offset);
            char name[64];
            std::snprintf(name, sizeof name, "next directory at %08X", offset);
            add(E::kCorrected, name, jpegWith(p.tiff.build()), "next-directory links at the 32-bit limits");
        }
        {
            auto p = photoTiff(order);
            p.tiff.link(p.ifd0, 0x8825, p.ifd0);  // GPS directory = IFD0
            p.tiff.link(p.exif, 0x014A, p.exif);  // sub-images = itself
            p.tiff.rawEntry(p.exif, 0xA005, 4, 1, 0xFFFFFFFF);
            add(E::kCorrected, "sub-directories at impossible places", jpegWith(p.tiff.build()),
                "GPS, sub-image and interoperability links that loop or point outside");
        }
        {
            // DateTime well-formed, DateTimeOriginal's value far outside the block, DateTimeDigitized claiming a
            // huge count: the one good date is still corrected.
            PhotoTiff p{TiffBuilder(order), 0, 0};
            p.ifd0 = p.tiff.directory();
            p.exif = p.tiff.directory();
            p.tiff.ascii(p.ifd0, 0x0132, kHostileDate);
            p.tiff.link(p.ifd0, 0x8769, p.exif);
            p.tiff.rawEntry(p.exif, 0x9003, 2, 20, 0xFFFFFFF0);
            p.tiff.entry(p.exif, 0x9004, 2, 0xFFFFFFFF, std::string(kHostileDate) + '\0');
            add(E::kSurvives, "dates with bad offsets and counts", jpegWith(p.tiff.build()),
                "date entries pointing outside the block or claiming 4 GB");
        }
        {
            // The last date runs off the end of the block: only 7 of its 19 characters are there.
            auto p = photoTiff(order);
            const int entry = p.tiff.rawEntry(p.exif, 0x9004, 2, 20, 0);
            p.tiff.setTrailer("2005:06");
            std::string tiff = p.tiff.build();
            const std::uint32_t field = p.tiff.entryOffset(p.exif, entry) + 8;
            tiff.replace(field, 4, bytes32(static_cast<std::uint32_t>(tiff.size() - 7), order));
            add(E::kSurvives, "date cut by the end of the block", jpegWith(tiff), "a date value past the block's end");
        }
        {
            std::string tiff = photoTiff(order).tiff.build();
            tiff[0] = 'X';
            tiff[1] = 'Y';
            add(E::kSurvives, "bad byte order mark", jpegWith(tiff), "neither II nor MM");
        }
        {
            // Canon-style maker note: a directory at the note's start whose entries claim 4 GB at the limits.
            std::string note = bytes16(3, order);
            note +=
                bytes16(0x0001, order) + bytes16(3, order) + bytes32(0xFFFFFFFF, order) + bytes32(0xFFFFFFF0, order);
            note +=
                bytes16(0x0004, order) + bytes16(3, order) + bytes32(0x7FFFFFFF, order) + bytes32(0x7FFFFFFF, order);
            note +=
                bytes16(0x0006, order) + bytes16(2, order) + bytes32(0x40000000, order) + bytes32(0x80000000, order);
            note += bytes32(0xFFFFFFFF, order);
            auto p = photoTiff(order);
            p.tiff.undefined(p.exif, 0x927C, note);
            add(E::kCorrected, "maker note at the limits", jpegWith(p.tiff.build()), "maker-note counts and offsets");
        }
    }
    const std::string tiff = photoTiff(ByteOrder::kLittle).tiff.build();
    auto section = [](std::uint8_t marker, std::uint16_t length, std::string_view payload) {
        return JpegBuilder(false).segmentWithLength(marker, length, payload).build();
    };
    files.push_back(survives("exif/header only.jpg", JpegBuilder().app1Exif("").imageData().build(),
                             "an EXIF section with no TIFF structure"));
    files.push_back(survives("exif/app1 length 0.jpg",
                             "\xFF\xD8" + section(0xE1, 0, exifPayload(tiff)) + JpegBuilder(false).imageData().build(),
                             "APP1 length field 0"));
    files.push_back(survives("exif/app1 length 1.jpg",
                             "\xFF\xD8" + section(0xE1, 1, exifPayload(tiff)) + JpegBuilder(false).imageData().build(),
                             "APP1 length field 1"));
    files.push_back(
        survives("exif/app1 length 65535.jpg",
                 "\xFF\xD8" + section(0xE1, 0xFFFF, exifPayload(tiff)) + JpegBuilder(false).imageData().build(),
                 "APP1 length field beyond the end of the file"));
    {
        JpegBuilder many;
        for (int i = 0; i < 25; ++i) many.app2();
        many.app1Exif(tiff).imageData();
        files.push_back(survives("exif/25 sections before exif.jpg", many.build(), "more sections than are kept"));
    }
    {
        JpegBuilder many;
        many.app1Exif(tiff);
        for (int i = 0; i < 40; ++i) many.comment("c");
        files.push_back(corrected("exif/40 comments after exif.jpg", many.imageData().build(),
                                  "more sections than are kept, after the EXIF section"));
    }
    // Only the first APP1 section is taken for the EXIF block.
    files.push_back(survives("exif/xmp before exif.jpg", JpegBuilder().app1Xmp().app1Exif(tiff).imageData().build(),
                             "an XMP APP1 before the EXIF one"));
    files.push_back(survives("exif/two exif sections.jpg",
                             JpegBuilder().app1Exif(tiff).app1Exif(tiff).imageData().build(), "two EXIF sections"));
    {
        // Photoshop resource block whose sizes claim 4 GB.
        std::string iptc(
            "Photoshop 3.0\0"
            "8BIM\x04\x04\x00\x00\xFF\xFF\xFF\xFF"
            "8BIM",
            30);
        files.push_back(corrected("exif/iptc sizes at the limit.jpg",
                                  JpegBuilder().app1Exif(tiff).app13(iptc).imageData().build(),
                                  "an APP13 resource claiming 4 GB"));
        std::string records(
            "Photoshop 3.0\0"
            "8BIM\x04\x04\x00\x00\x00\x00\x00\x0A\x1C\x02\x05\xFF\xFF",
            31);
        files.push_back(corrected("exif/iptc record at the limit.jpg",
                                  JpegBuilder().app1Exif(tiff).app13(records).imageData().build(),
                                  "an IPTC record claiming 64 KB"));
    }
}

}  // namespace

std::string hostilePhoto(bool bigEndian, std::string_view date) {
    return jpegWith(photoTiff(bigEndian ? ByteOrder::kBig : ByteOrder::kLittle, date).tiff.build());
}

std::size_t scanDataStart(std::string_view jpeg) {
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && static_cast<unsigned char>(jpeg[at]) == 0xFF) {
        const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
        const std::size_t end = at + 2 + bigEndian16(jpeg, at + 2);
        if (marker == 0xDA) return end <= jpeg.size() ? end : 0;
        at = end;
    }
    return 0;
}

std::vector<std::size_t> sectionCuts(std::string_view jpeg) {
    std::vector<std::size_t> cuts{0, 1, 2};
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && static_cast<unsigned char>(jpeg[at]) == 0xFF) {
        const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
        const std::size_t length = bigEndian16(jpeg, at + 2);
        cuts.insert(cuts.end(), {at, at + 1, at + 2, at + 3, at + 2 + length / 2});
        at += 2 + length;
        if (marker == 0xDA) {
            cuts.insert(cuts.end(), {at, at + 1});
            break;
        }
    }
    if (jpeg.size() >= 2) cuts.insert(cuts.end(), {jpeg.size() - 2, jpeg.size() - 1});
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    std::erase_if(cuts, [&](std::size_t cut) { return cut >= jpeg.size(); });
    return cuts;
}

bool differsOnlyInDates(std::string_view source, std::string_view output, std::string* why) {
    auto fail = [&](std::string text) {
        if (why != nullptr) *why = std::move(text);
        return false;
    };
    if (source.size() != output.size()) {
        return fail("length " + std::to_string(output.size()) + " instead of " + std::to_string(source.size()));
    }
    // Each changed byte lies in 19 characters that read as a date before and after: every copy of a date may
    // move (a photo can hold many), nothing else may change.
    constexpr std::size_t kDateLength = 19;
    std::size_t windowEnd = 0;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i] == output[i] || i < windowEnd) continue;
        bool inDate = false;
        for (std::size_t start = i >= kDateLength - 1 ? i - (kDateLength - 1) : 0; start <= i && !inDate; ++start) {
            inDate = start + kDateLength <= source.size() &&
                     morrowtide::meta::parseExifDate(source.substr(start, kDateLength)) != 0.0 &&
                     morrowtide::meta::parseExifDate(output.substr(start, kDateLength)) != 0.0;
            if (inDate) windowEnd = start + kDateLength;
        }
        if (!inDate) return fail("a change outside any date at byte " + std::to_string(i));
    }
    return true;
}

std::vector<HostileFile> hostileTree() {
    std::vector<HostileFile> files;
    addNames(files);
    addImpostors(files);
    addTruncations(files);
    addLyingExif(files);
    return files;
}

void writeHostileTree(const fs::path& root, const std::vector<HostileFile>& files) {
    for (const HostileFile& file : files) {
        const fs::path path = root / file.path;
        fs::create_directories(path.parent_path());
        switch (file.kind) {
            case HostileKind::kFile: {
                std::ofstream out(path, std::ios::binary);
                out << file.bytes;
                if (!out) throw std::runtime_error("cannot write " + path.string());
                break;
            }
            case HostileKind::kFifo:
                if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("cannot make FIFO " + path.string());
                break;
            case HostileKind::kSymlink:
                fs::create_symlink(file.linkTarget, path);
                break;
        }
    }
}

}  // namespace morrowtide::test
