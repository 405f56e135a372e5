// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "meta/formats/date_codec.h"
#include "meta/formats/iptc_dates.h"
#include "meta/formats/jpeg_copy_dates.h"
#include "meta/formats/xmp_dates.h"
#include "support/date_packet_builder.h"

using namespace morrowtide::meta;
using morrowtide::test::applyPatches;
using morrowtide::test::IptcBuilder;

namespace {

constexpr std::uint64_t kPayloadOffset = 300;

std::string shiftedPayload(const std::string& payload, std::int64_t seconds) {
    const DateFieldScan scan = findApp13IptcDates(payload, kPayloadOffset);
    const std::string file = std::string(kPayloadOffset, '\0') + payload;
    const DatePatchPlan result = shiftDateFields(scan.fields, MemoryByteSource(file), DateMapping::bySeconds(seconds));
    return applyPatches(payload, result.patches, kPayloadOffset);
}

IptcBuilder dates(std::string_view created, std::string_view createdTime, std::string_view digitized,
                  std::string_view digitizedTime) {
    IptcBuilder builder;
    builder.dataset(2, 0, std::string("\0\4", 2)).dataset(2, 5, "Title 2:55").dataset(2, 25, "keyword");
    builder.dataset(2, 55, created).dataset(2, 60, createdTime).dataset(2, 120, "caption");
    builder.dataset(2, 62, digitized).dataset(2, 63, digitizedTime);
    return builder;
}

}  // namespace

TEST(IptcDates, FindsBothPairsInsideTheIptcResource) {
    const std::string payload = dates("20051231", "233000+0200", "20050601", "100000").app13Payload();
    const DateFieldScan scan = findApp13IptcDates(payload, kPayloadOffset);
    ASSERT_EQ(scan.fields.size(), 4u);
    const std::vector<std::string> names = {"DateCreated", "TimeCreated", "DigitalCreationDate", "DigitalCreationTime"};
    const std::vector<std::string> values = {"20051231", "233000+0200", "20050601", "100000"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(scan.fields[i].name, names[i]);
        EXPECT_EQ(scan.fields[i].group, "IPTC");
        EXPECT_EQ(payload.substr(scan.fields[i].offset - kPayloadOffset, scan.fields[i].width), values[i]);
    }
    EXPECT_EQ(scan.fields[0].partner, 1);
    EXPECT_EQ(scan.fields[2].partner, 3);
    EXPECT_EQ(scan.fields[0].role, DateRole::Original);
    EXPECT_EQ(scan.fields[3].role, DateRole::Digitized);
    EXPECT_EQ(scan.fields[1].encoding, DateEncoding::IptcTime);
    EXPECT_EQ(scan.fields[2].encoding, DateEncoding::IptcDate);
}

TEST(IptcDates, ShiftAcrossDayAndYearBoundariesChangesOnlyTheDates) {
    struct Case {
        std::int64_t seconds;
        std::vector<std::string> before, after;  // created, time, digitized, time
    };
    const std::vector<Case> cases = {
        {3600, {"20051231", "233000+0200", "20050601", "100000"}, {"20060101", "003000+0200", "20050601", "110000"}},
        {-3600, {"20060101", "003000-0500", "20040301", "002000"}, {"20051231", "233000-0500", "20040229", "232000"}},
        {86400, {"20041231", "120000", "20050228", "235959"}, {"20050101", "120000", "20050301", "235959"}},
        // An unreadable time leaves its pair; a broken date leaves its pair too; the other pair still moves.
        {3600, {"20051231", "25xx00", "20050601", "100000"}, {"20051231", "25xx00", "20050601", "110000"}},
        {3600, {"2005-12-", "100000", "20050601", "100000"}, {"2005-12-", "100000", "20050601", "110000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before[0] + " " + c.before[1]);
        const std::string before = dates(c.before[0], c.before[1], c.before[2], c.before[3]).app13Payload();
        const std::string after = dates(c.after[0], c.after[1], c.after[2], c.after[3]).app13Payload();
        EXPECT_EQ(shiftedPayload(before, c.seconds), after);
    }
}

TEST(IptcDates, DatasetFormsAndLimits) {
    // The extended size form is read; pairs are taken in order; a date dataset past the end is left and reported.
    IptcBuilder extended;
    extended.extendedDataset(2, 55, "20050601").dataset(2, 55, "20050602").dataset(2, 60, "100000");
    const DateFieldScan scan = findIptcDatasetDates(extended.iim(), 0);
    ASSERT_EQ(scan.fields.size(), 3u);
    EXPECT_EQ(extended.iim().substr(scan.fields[0].offset, scan.fields[0].width), "20050601");
    EXPECT_EQ(scan.fields[0].partner, 2);
    EXPECT_EQ(scan.fields[1].partner, -1);

    IptcBuilder cut;
    cut.dataset(2, 60, "100000").raw(std::string("\x1C\x02\x37\x00\x08" "2005", 9));
    const DateFieldScan truncated = findIptcDatasetDates(cut.iim(), 0);
    EXPECT_EQ(truncated.fields.size(), 1u);
    EXPECT_EQ(truncated.skipped.size(), 1u);

    // Record 1 and other datasets are not dates; a resource that is not IPTC is not looked into.
    IptcBuilder others;
    others.dataset(1, 55, "20050601").dataset(2, 56, "20050601").dataset(2, 30, "20050601");
    EXPECT_TRUE(findIptcDatasetDates(others.iim(), 0).fields.empty());
    const std::string notIptc = std::string("8BIM\x04\x0C\0\0\0\0\0\x0D", 12) +
                                IptcBuilder().dataset(2, 55, "20050601").iim();
    EXPECT_TRUE(findIptcResourceDates(notIptc, 0).fields.empty());
    EXPECT_TRUE(findApp13IptcDates(IptcBuilder().dataset(2, 55, "20050601").iim(), 0).fields.empty());

    // An IPTC resource whose size runs past the block is left; its dates are named, other datasets are not.
    std::string resources = IptcBuilder().dataset(2, 55, "20050601").dataset(2, 5, "Title").resources();
    resources.resize(resources.size() - 2);
    const DateFieldScan shortBlock = findIptcResourceDates(resources, 0);
    EXPECT_TRUE(shortBlock.fields.empty());
    EXPECT_EQ(shortBlock.skipped,
              std::vector<std::string>{"IPTC DateCreated in a resource that runs past the end of its block"});
    std::string undated = IptcBuilder().dataset(2, 5, "Title").resources();
    undated.resize(undated.size() - 2);
    EXPECT_TRUE(findIptcResourceDates(undated, 0).skipped.empty());
}

TEST(JpegCopyDates, GathersXmpExtendedPartsAndIptcFromTheSections) {
    using morrowtide::test::extendedXmpPayload;
    using morrowtide::test::XmpBuilder;
    const std::string xmp = std::string(kXmpApp1Signature) +
                            XmpBuilder().attribute("xmp:CreateDate", "2005-06-01T10:00:00").build();
    const std::string extendedPacket = XmpBuilder().element("exif:DateTimeOriginal", "2005-06-01T10:00:00").build();
    const auto length = static_cast<std::uint32_t>(extendedPacket.size());
    const std::size_t half = extendedPacket.size() / 2;
    const std::string complete1 = extendedXmpPayload(std::string(32, 'A'), length, 0, extendedPacket.substr(0, half));
    const std::string complete2 = extendedXmpPayload(std::string(32, 'A'), length, static_cast<std::uint32_t>(half),
                                                     extendedPacket.substr(half));
    const std::string orphan = extendedXmpPayload(std::string(32, 'B'), length, 0, extendedPacket.substr(0, half));
    const std::string app13 = dates("20051231", "233000", "20050601", "100000").app13Payload();
    const std::string exif = std::string("Exif\0\0", 6) + "2005:06:01 10:00:00";

    // The payloads laid end to end as a file; each view knows where its payload lies.
    std::string file;
    std::vector<JpegSegmentView> views;
    for (const auto& [marker, payload] : std::vector<std::pair<int, const std::string*>>{
             {0xE1, &exif}, {0xE1, &complete2}, {0xE1, &xmp}, {0xE2, &xmp}, {0xED, &app13}, {0xE1, &orphan},
             {0xE1, &complete1}}) {
        file += "\xFF\x01";
        views.push_back(JpegSegmentView{marker, *payload, file.size()});
        file += *payload;
    }

    const DateFieldScan scan = findJpegCopyDates(views);
    EXPECT_TRUE(scan.problem.empty());
    std::vector<std::string> found;
    for (const DateField& field : scan.fields) {
        found.push_back(field.group + " " + field.name + " " + file.substr(field.offset, field.width));
    }
    EXPECT_EQ(found, (std::vector<std::string>{
                         "XMP-xmp xmp:CreateDate 2005-06-01T10:00:00",  // the APP2 copy of the packet is not XMP
                         "IPTC DateCreated 20051231", "IPTC TimeCreated 233000",
                         "IPTC DigitalCreationDate 20050601", "IPTC DigitalCreationTime 100000",
                         "XMP-exif exif:DateTimeOriginal 2005-06-01T10:00:00"}));
    EXPECT_EQ(scan.fields[1].partner, 2);
    EXPECT_EQ(scan.fields[3].partner, 4);
    ASSERT_EQ(scan.skipped.size(), 1u);  // the part without its partner
}
