// SPDX-License-Identifier: GPL-3.0-or-later
// The corrected copy of a file that is not a JPEG: the source with its patches, and the CRC of every checksum region
// a patch fell into computed anew, however many patches and regions there are and in whatever order they come.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "meta/formats/file_dates.h"
#include "meta/safe_file.h"
#include "support/container_builder.h"
#include "support/exif_builder.h"

using namespace morrowtide::meta;
using namespace morrowtide::test;

namespace {

// The copy as it must come out, computed the plain way: every patch laid on the source, then the CRC of each
// region that any patch touches written after it.
std::string expectedCopy(std::string bytes, const std::vector<BytePatch>& patches,
                         const std::vector<ChecksumRegion>& regions) {
    for (const BytePatch& patch : patches) bytes.replace(patch.offset, patch.bytes.size(), patch.bytes);
    for (const ChecksumRegion& region : regions) {
        const bool touched = std::any_of(patches.begin(), patches.end(), [&](const BytePatch& patch) {
            return patch.offset < region.offset + region.length && patch.offset + patch.bytes.size() > region.offset;
        });
        if (touched) bytes.replace(region.checksumOffset, 4, be32(crc32(bytes.substr(region.offset, region.length))));
    }
    return bytes;
}

TEST(PatchedCopy, RenewsTheChecksumOfEveryRegionAPatchFallsInto) {
    std::mt19937 random(20240517);
    const auto below = [&](std::uint64_t n) { return std::uniform_int_distribution<std::uint64_t>(0, n - 1)(random); };
    // Regions laid end to end, each followed by its checksum, which holds 0 so that one left alone stays wrong. One
    // region is longer than the 1 MB the writer reads at a time.
    std::string source;
    std::vector<ChecksumRegion> regions;
    std::uint64_t longRegion = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::uint64_t length = i == 1500 ? (5u << 19) : 1 + below(40);
        if (i == 1500) longRegion = source.size();
        regions.push_back({source.size(), length, source.size() + length});
        for (std::uint64_t k = 0; k < length; ++k) source += static_cast<char>(below(256));
        source += be32(0);
    }
    // Patches that do not overlap, some across a region's end, given in no order; two across the long region's
    // 1 MB pieces.
    std::vector<BytePatch> patches;
    std::uint64_t at = 0;
    while (true) {
        at += 1 + below(60);
        const std::uint64_t length = 1 + below(8);
        if (at + length > source.size()) break;
        if (at + length <= longRegion || at >= longRegion + (5u << 19)) {
            patches.push_back({at, std::string(length, static_cast<char>('a' + below(26)))});
        }
        at += length;
    }
    patches.push_back({longRegion + (1u << 20) - 3, "straddle"});
    patches.push_back({longRegion + (2u << 20) - 1, "xy"});
    std::shuffle(patches.begin(), patches.end(), random);
    std::shuffle(regions.begin(), regions.end(), random);

    const TempDir dir;
    const std::string sourcePath = dir.write("in.png", source);
    SourceFile in;
    ASSERT_EQ(in.open(sourcePath), 0);
    {
        SafeFileWriter out((dir.path() / "out.png").string());
        writePatchedCopy(in, out, patches, regions);
        out.commit();
    }
    const std::string expected = expectedCopy(source, patches, regions);
    const std::string written = readFile(dir.path() / "out.png");
    ASSERT_EQ(written.size(), expected.size());
    // Compared region by region, so that a failure names the region rather than printing the file.
    for (const ChecksumRegion& region : regions) {
        const std::uint64_t end = region.checksumOffset + 4;
        ASSERT_EQ(written.substr(region.offset, end - region.offset), expected.substr(region.offset, end - region.offset))
            << "region at " << region.offset;
    }
    // Some regions were left alone: their checksums still hold 0.
    EXPECT_TRUE(std::any_of(regions.begin(), regions.end(),
                            [&](const ChecksumRegion& r) { return written.substr(r.checksumOffset, 4) == be32(0); }));
}

}  // namespace
