// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/date_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "meta/date_time.h"
#include "meta/image_info.h"
#include "meta/img_data.h"
#include "support/exif_builder.h"

namespace morrowtide::meta {
namespace {

using test::cameraPhoto;
using test::JpegBuilder;
using test::TiffBuilder;


// The dates of a photo as every part of the decoded model reads them after the patches are applied.
struct Views {
    std::string section;  // the EXIF section's bytes, which the output header is written from
    std::string block;    // the decoded block
    std::string container;
    std::string record;   // the decoded DateTimeOriginal record
    double read = 0;      // readDateAt
};

Views viewsAt(const ImgData& data, std::int64_t pos) {
    const auto at = static_cast<std::size_t>(pos - 1);
    return {data.exifSection()->data.substr(at, 19), data.exif()->block.substr(at, 19), data.block.substr(at, 19),
            data.exif()->textOfTag("DateTimeOriginal").substr(0, 19), data.exif()->readDateAt(pos)};
}

TEST(DatePlan, TheDecodedModelShowsThePatchedDate) {
    ImgData data;
    ASSERT_TRUE(data.readImageBytes("a.jpg", cameraPhoto({"2024:02:28 23:30:00", "", "", "", ""})));
    const std::int64_t pos = data.exif()->dateTimeOriginalPos;
    const std::vector<DateSlot> slots = dateSlotsOf(data);
    ASSERT_EQ(slots.size(), 3u);  // DateTime, DateTimeOriginal, DateTimeDigitized
    const DateShift shift = planDateShift(slots, offsetInDays(0, 1, 0, 0));
    ASSERT_EQ(shift.status, ShiftStatus::kShifted);
    // Planning wrote nothing.
    EXPECT_EQ(viewsAt(data, pos).section, "2024:02:28 23:30:00");

    ASSERT_TRUE(applyDatePatches(data, shift.patches));
    const Views after = viewsAt(data, pos);
    EXPECT_EQ(after.section, "2024:02:29 00:30:00");
    EXPECT_EQ(after.block, "2024:02:29 00:30:00");
    EXPECT_EQ(after.container, "2024:02:29 00:30:00");
    EXPECT_EQ(after.record, "2024:02:29 00:30:00");
    EXPECT_EQ(after.read, encodeDateTime({2024, 2, 29, 0, 30, 0, 0}));
    EXPECT_EQ(data.exif()->captureDateTime(), encodeDateTime({2024, 2, 29, 0, 30, 0, 0}));
}

TEST(DatePlan, ShiftsEveryReadableValueOnceOrNone) {
    const double moved = encodeDateTime({2005, 6, 1, 11, 0, 0, 0});
    struct Case {
        const char* what;
        std::vector<DateSlot> slots;
        double delta;
        ShiftStatus outcome;
        std::vector<std::uint64_t> patched;
    } cases[] = {
        {"all readable", {{100, moved, true, true}, {200, moved, true, false}}, 1.0 / 24, ShiftStatus::kShifted,
         {100, 200}},
        {"unreadable and too short ones stay", 
         {{100, 0.0, true, true}, {200, moved, false, false}, {300, moved, true, false}},
         1.0 / 24, ShiftStatus::kShifted, {300}},
        {"nothing readable", {{100, 0.0, true, true}}, 1.0, ShiftStatus::kNoDate, {}},
        {"one beyond 9999 keeps them all", {{100, moved, true, true}, {200, encodeDateTime({9999, 12, 31, 23, 0, 0, 0}), true, false}},
         1.0 / 12, ShiftStatus::kOutOfRange, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DateShift shift = planDateShift(c.slots, c.delta);
        EXPECT_EQ(shift.status, c.outcome);
        std::vector<std::uint64_t> patched;
        for (const BytePatch& patch : shift.patches) {
            patched.push_back(patch.offset);
            EXPECT_EQ(patch.bytes.size(), 19u);
        }
        EXPECT_EQ(patched, c.patched);
    }
}

TEST(DatePlan, PatchesOutsideTheSectionAreRefusedWhole) {
    ImgData data;
    const std::string bytes = cameraPhoto();
    ASSERT_TRUE(data.readImageBytes("a.jpg", bytes));
    const std::vector<DateSlot> slots = dateSlotsOf(data);
    ASSERT_FALSE(slots.empty());
    const std::string before = data.exifSection()->data;
    // The first patch fits, the second lies in the image data: neither is written.
    const std::vector<BytePatch> patches = {{slots[0].fileOffset, "2006:01:01 00:00:00"},
                                            {bytes.size() - 10, "2006:01:01 00:00:00"}};
    EXPECT_FALSE(applyDatePatches(data, patches));
    EXPECT_EQ(data.exifSection()->data, before);
    // Each slot is where the file holds the date.
    for (const DateSlot& slot : slots) EXPECT_EQ(bytes.substr(slot.fileOffset, 19), "2005:06:01 10:00:00");
}

}  // namespace
}  // namespace morrowtide::meta
