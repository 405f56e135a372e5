// SPDX-License-Identifier: GPL-3.0-or-later
// `morrowtide-cli info` run as a user runs it: the real binary on files made for the test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/container_builder.h"
#include "support/date_packet_builder.h"
#include "support/exif_builder.h"

using morrowtide::test::JpegBuilder;
using morrowtide::test::TempDir;
using morrowtide::test::TiffBuilder;

namespace {

struct Result {
    int status = -1;
    std::string out;
};

std::string quoted(const std::string& arg) {
    std::string q = "'";
    for (const char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Result runCli(const std::string& args) {
    Result result;
    FILE* pipe = ::popen((quoted(MORROWTIDE_CLI_PATH) + " " + args + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    const int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

}  // namespace

TEST(InfoCommand, ShowsDatesPositionsAndEntriesInUtf8) {
    TiffBuilder tiff(morrowtide::test::ByteOrder::kBig);
    const auto ifd0 = tiff.directory(), exif = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Caf\xE9 \x80");  // Windows-1252 e acute and euro sign
    tiff.ascii(ifd0, 0x0132, "2005:12:31 23:30:00");
    tiff.link(ifd0, 0x8769, exif);
    tiff.ascii(exif, 0x9003, "2005:06:01 10:00:00");
    const TempDir dir;
    const std::string path = dir.write("photo.jpg", JpegBuilder().app1Exif(tiff.build()).imageData().build());

    const Result result = runCli("info " + quoted(path));
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("File: " + path + "\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Status: <none>"), std::string::npos);
    EXPECT_NE(result.out.find("Byte order: Motorola (MM)"), std::string::npos);
    const std::string dateTime =
        "DateTime: \"2005:12:31 23:30:00\" at block position " + std::to_string(tiff.valueOffset(ifd0, 1) + 9);
    EXPECT_NE(result.out.find(dateTime), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("DateTimeDigitized: -"), std::string::npos);
    EXPECT_NE(result.out.find("    Make = Caf\xC3\xA9 \xE2\x82\xAC\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find('\r'), std::string::npos);
}

TEST(InfoCommand, ControlCharactersAreEscapedAndUnreadableNotesSaidOnce) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory(), exif = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Canon");
    tiff.link(ifd0, 0x8769, exif);
    tiff.undefined(exif, 0x9286, std::string("ASCII\0\0\0line one\nline\x1btwo", 25));
    tiff.undefined(exif, 0x927C, std::string("\x12\x34", 2) + std::string(200, 'Z'));
    const TempDir dir;
    const std::string path = dir.write("photo.jpg", JpegBuilder().app1Exif(tiff.build()).imageData().build());

    const Result result = runCli("info " + quoted(path));
    EXPECT_NE(result.out.find("    User Comment = line one\\nline\\x1Btwo\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("  Maker note: unreadable (implausible directory: 13330 entries)\n"), std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("Unknown"), std::string::npos) << result.out;
}

// Files other than JPEG and TIFF are shown by their container: each date field at its file offset, the blocks,
// and the entries of the EXIF block.
TEST(InfoCommand, ShowsTheDateFieldsOfOtherContainers) {
    TiffBuilder tiff;
    const auto ifd0 = tiff.directory();
    tiff.ascii(ifd0, 0x010F, "Maker");
    tiff.ascii(ifd0, 0x0132, "2005:12:31 23:30:00");
    const std::string heic = morrowtide::test::heicFile({.tiff = tiff.build()});
    const std::string movie = morrowtide::test::movieFile({.creation = 3'600'000'000u});
    const TempDir dir;
    const Result result =
        runCli("info " + quoted(dir.write("a.HEIC", heic)) + " " + quoted(dir.write("b.mov", movie)));
    EXPECT_EQ(result.status, 0);
    // The TIFF structure lies after the item's 4-byte offset field and "Exif\0\0".
    const std::size_t tiffAt = heic.find(tiff.build());
    EXPECT_NE(result.out.find("  Container: ISO-BMFF, brand \"heic\"\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("  Date field: IFD0:DateTime = \"2005:12:31 23:30:00\" at " +
                              std::to_string(tiffAt + tiff.valueOffset(ifd0, 1)) + "\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("  Block: TIFF \"Exif item\" at " + std::to_string(tiffAt)), std::string::npos);
    EXPECT_NE(result.out.find("    Make = Maker\n"), std::string::npos);
    // 3,600,000,000 seconds after 1904-01-01.
    EXPECT_NE(result.out.find("  Date field: QuickTime:CreateDate = 2018:01:28 16:00:00 at "), std::string::npos)
        << result.out;
}

TEST(InfoCommand, ExitStatusTellsWhetherEveryFileCouldBeRead) {
    const TempDir dir;
    const std::string plain = dir.write("plain.jpg", JpegBuilder().dqt().imageData().build());
    const std::string text = dir.write("notes.txt", "hello");
    const Result readable = runCli("info " + quoted(plain) + " " + quoted(text));
    EXPECT_EQ(readable.status, 0);  // read, even if without metadata
    EXPECT_NE(readable.out.find("Status: Not an EXIF file"), std::string::npos);

    const Result missing = runCli("info " + quoted(plain) + " " + quoted((dir.path() / "gone.jpg").string()));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("Status: (file not found)"), std::string::npos);

    // Anything but a regular file is named for what it is, and never read: a FIFO would wait for a writer.
    const std::string fifo = (dir.path() / "pipe.jpg").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& other : {fifo, dir.path().string()}) {
        const Result notFile = runCli("info " + quoted(other));
        EXPECT_EQ(notFile.status, 1);
        EXPECT_NE(notFile.out.find("Status: (not a regular file)"), std::string::npos) << notFile.out;
    }

    EXPECT_EQ(runCli("info").status, 2);
    EXPECT_EQ(runCli("frobnicate").status, 2);
    const Result help = runCli("info --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: morrowtide-cli info FILE..."), std::string::npos);
    const Result version = runCli("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("morrowtide-cli ", 0), 0u);
}

TEST(InfoCommand, ListsTheXmpAndIptcCopiesOfTheDates) {
    const TempDir dir;
    const std::string bytes = morrowtide::test::jpegWithDateCopies({});
    const std::string path = dir.write("photo.jpg", bytes);
    const Result result = runCli("info " + quoted(path));
    EXPECT_EQ(result.status, 0);
    const auto at = [&](const std::string& value) { return std::to_string(bytes.find(value)); };
    for (const std::string& line : std::vector<std::string>{
             "  Date copies:\n",
             "    IPTC DateCreated: \"20051231\" at file offset " + at("20051231") + "\n",
             "    IPTC TimeCreated: \"233000+0200\" at file offset " + at("233000+0200") + "\n",
             "    XMP-xmp xmp:CreateDate: \"2005-06-01T10:00:00+02:00\" at file offset " +
                 at("2005-06-01T10:00:00+02:00") + "\n",
             "    XMP-xmp xmp:ModifyDate: \"yesterday\" at file offset " + at("yesterday") + " (unreadable)\n",
             "    XMP-photoshop photoshop:DateCreated: \"2005-06-01\" at file offset ",
             "    XMP-exif exif:DateTimeDigitized: \"2005-06-01T10:00:00\" at file offset "}) {
        EXPECT_NE(result.out.find(line), std::string::npos) << line << result.out;
    }
    EXPECT_EQ(result.out.find("MetadataDate"), std::string::npos);
}
