// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "meta/date_copies.h"
#include "meta/img_data.h"
#include "meta/jpeg_writer.h"
#include "support/date_packet_builder.h"
#include "support/exif_builder.h"
#include "support/run_shift.h"

using namespace morrowtide::meta;
using morrowtide::test::DateCopyValues;
using morrowtide::test::jpegWithDateCopies;
using morrowtide::test::readFile;
using morrowtide::test::TempDir;

TEST(DateCopies, MovedInPlaceAndWrittenByTheInMemoryAndTheStreamingWriter) {
    for (const std::size_t padding : {std::size_t{0}, std::size_t{100000}}) {
        SCOPED_TRACE(padding);
        const TempDir dir;
        const std::string path = dir.write("photo.jpg", jpegWithDateCopies(DateCopyValues{}, padding));
        ImgData data;
        SourceFile source;
        ASSERT_TRUE(data.readImageFile(path, source));
        EXPECT_EQ(data.sourceComplete(), padding == 0);
        EXPECT_EQ(morrowtide::test::shiftExifDates(data, 0, 1).status, ShiftStatus::kShifted);
        const std::optional<DateCopiesShift> copies =
            morrowtide::test::shiftDateCopies(data, DateMapping::bySeconds(3600));
        ASSERT_TRUE(copies);
        EXPECT_EQ(copies->moved, 5);  // xmp:CreateDate, exif:DateTimeOriginal, the extended one, the IPTC pair
        EXPECT_EQ(copies->left,
                  (std::vector<std::string>{"XMP-xmp xmp:ModifyDate \"yesterday\" (unreadable)",
                                            "XMP-photoshop photoshop:DateCreated \"2005-06-01\" (date only)"}));
        const std::string out = (dir.path() / "out.jpg").string();
        saveCorrectedJpeg(data, source, out);
        EXPECT_EQ(readFile(out), jpegWithDateCopies(morrowtide::test::dateCopiesAnHourLater(), padding));
    }
}

TEST(DateCopies, NothingToMoveLeavesTheSectionsAsRead) {
    DateCopyValues values;
    values.xmpCreate = values.xmpOriginal = values.extendedCreate = "2005-06-01";
    values.iptcTime = "";
    const std::string bytes = jpegWithDateCopies(values);
    ImgData data;
    ASSERT_TRUE(data.readImageBytes("photo.jpg", bytes));
    const std::optional<DateCopiesShift> copies = morrowtide::test::shiftDateCopies(data, DateMapping::bySeconds(60));
    ASSERT_TRUE(copies);
    EXPECT_EQ(copies->moved, 0);
    EXPECT_EQ(copies->left.size(), 6u);  // the IPTC date without its time included; the empty time is not a date
    for (int i = 0; i < data.sectionCount(); ++i) EXPECT_FALSE(data.sectionPatched(i)) << i;
    // A patch outside every kept section, or across the end of one, is refused.
    EXPECT_FALSE(data.patchSection(1, "x"));
    EXPECT_FALSE(data.patchSection(static_cast<std::uint64_t>(data.section(0).endOffset()) - 1, "xy"));
    EXPECT_TRUE(data.patchSection(static_cast<std::uint64_t>(data.section(0).endOffset()) - 2, "xy"));
    EXPECT_TRUE(data.sectionPatched(0));
}
