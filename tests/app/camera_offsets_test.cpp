// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/camera_offsets.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/photo_plan.h"
#include "meta/date_time.h"
#include "meta/formats/date_codec.h"
#include "support/container_builder.h"
#include "support/exif_builder.h"

using namespace morrowtide::app;
using morrowtide::meta::CivilDateTime;
using morrowtide::meta::encodeDateTime;
using morrowtide::test::cameraPhoto;
using morrowtide::test::PhotoTags;
using morrowtide::test::replacedAll;
using morrowtide::test::TempDir;
using morrowtide::test::writeFile;
namespace fs = std::filesystem;
namespace meta = morrowtide::meta;

namespace {

double at(int year, int month, int day, int hour, int minute, int second = 0) {
    return encodeDateTime(CivilDateTime{year, month, day, hour, minute, second, 0});
}

std::vector<std::shared_ptr<const PhotoHeader>> headersOf(const fs::path& root, const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back((root / name).string());
    return readPhotoHeaders(paths, QFile::decodeName(root.c_str()), 1);
}

RunOptions optionsFor(const fs::path& root) {
    RunOptions options;
    options.sourceFolder = QFile::decodeName(root.c_str());
    options.destinationFolder = QFile::decodeName((root / "out").c_str());
    options.fileMask = QStringLiteral("yyyymmdd_hhnnss");
    options.includeFileName = false;
    return options;
}

}  // namespace

TEST(CameraOffsets, EachCameraMovesByTheFirstRuleThatNamesItOthersByTheGlobalOffset) {
    TempDir temp;
    struct Photo {
        const char* name;
        PhotoTags tags;
        QString camera;  // as shown
        double newCapture;
        bool rule;
        const char* output;
    } photos[] = {
        {"canon.jpg",
         {"2024:05:01 10:00:00", "Canon", "Canon EOS 5D"},
         "Canon EOS 5D",
         at(2024, 5, 1, 12, 0),
         true,
         "20240501_120000.jpg"},
        {"nikon.jpg",
         {"2024:05:01 10:00:00", "NIKON CORPORATION", "NIKON D70"},
         "NIKON CORPORATION NIKON D70",
         at(2024, 5, 1, 11, 0),
         false,
         "20240501_110000.jpg"},
        // At zero: dates kept as written (not even rewritten), the name still follows the mask.
        {"phone.jpg",
         {"2024-05-01 10:00:00", "Google", "Pixel 7"},
         "Google Pixel 7",
         at(2024, 5, 1, 10, 0),
         true,
         "20240501_100000.jpg"},
        {"nameless.jpg", {"2024:05:01 10:00:00"}, "", at(2024, 5, 1, 11, 0), false, "20240501_110000_2.jpg"},
    };
    std::vector<std::string> names;
    for (const Photo& photo : photos) {
        writeFile(temp.path() / photo.name, cameraPhoto(photo.tags));
        names.push_back(photo.name);
    }
    RunOptions options = optionsFor(temp.path());
    options.offset.hours = 1;
    options.cameraOffsets = {{QStringLiteral("eos"), {0, 2, 0, 0}},
                             {QStringLiteral("GOOGLE PIXEL"), {}},
                             {QStringLiteral("canon"), {0, 5, 0, 0}}};  // the EOS rule came first
    const std::vector<PhotoPlan> plans = planList(headersOf(temp.path(), names), options, QLocale::c());
    ASSERT_EQ(plans.size(), std::size(photos));
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const Photo& photo = photos[i];
        SCOPED_TRACE(photo.name);
        EXPECT_EQ(cameraName(*plans[i].header), photo.camera);
        EXPECT_EQ(plans[i].newCapture, photo.newCapture);
        EXPECT_EQ(plans[i].cameraRule, photo.rule);
        EXPECT_TRUE(plans[i].corrected());
        EXPECT_EQ(plans[i].relativeOutput, QString::fromUtf8(photo.output));
    }
    EXPECT_TRUE(plans[2].patches.empty());
    EXPECT_EQ(plans[0].correctionText(), QStringLiteral("+2h"));
    EXPECT_EQ(plans[2].correctionText(), QStringLiteral("+0s"));
    // A whole-key rule takes its camera only.
    options.cameraOffsets = {{cameraKey(*plans[1].header), {0, 0, -30, 0}, true}};
    const std::vector<PhotoPlan> keyed = planList(headersOf(temp.path(), names), options, QLocale::c());
    EXPECT_EQ(keyed[1].newCapture, at(2024, 5, 1, 9, 30));
    EXPECT_EQ(keyed[0].newCapture, at(2024, 5, 1, 11, 0));
}

TEST(CameraOffsets, KeysAndNamesTellCamerasApart) {
    EXPECT_EQ(cameraKey("Canon", "Canon EOS 5D", ""), QStringLiteral("Canon Canon EOS 5D"));
    EXPECT_EQ(cameraName("Canon", "Canon EOS 5D", ""), QStringLiteral("Canon EOS 5D"));
    EXPECT_EQ(cameraKey("Canon", "Canon EOS 5D", "0042"), QStringLiteral("Canon Canon EOS 5D #0042"));
    EXPECT_EQ(cameraName("", "Pixel", "7"), QStringLiteral("Pixel #7"));
    EXPECT_EQ(cameraKey("", "", "123"), QString());
    EXPECT_EQ(offsetText(93784), QStringLiteral("+1d2h3m4s"));
    EXPECT_EQ(offsetText(-1800), QStringLiteral("-30m"));
}

TEST(ZoneConversion, EachTimeAtItsOwnMomentAcrossBothSummerTimeChanges) {
    struct Case {
        const char* from;
        const char* to;
        double wall;
        double want;
        int offset;  // of the target zone, seconds
    } cases[] = {
        {"Europe/Berlin", "Asia/Tokyo", at(2024, 1, 15, 12, 0), at(2024, 1, 15, 20, 0), 9 * 3600},
        {"Europe/Berlin", "Asia/Tokyo", at(2024, 7, 15, 12, 0), at(2024, 7, 15, 19, 0), 9 * 3600},
        // Spring: 02:00-02:59 never shows in Berlin; such a time is read with winter time.
        {"Europe/Berlin", "UTC", at(2024, 3, 31, 1, 59, 59), at(2024, 3, 31, 0, 59, 59), 0},
        {"Europe/Berlin", "UTC", at(2024, 3, 31, 2, 30), at(2024, 3, 31, 1, 30), 0},
        {"Europe/Berlin", "UTC", at(2024, 3, 31, 3, 0), at(2024, 3, 31, 1, 0), 0},
        // Autumn: 02:00-02:59 shows twice; the first showing (summer time) is taken.
        {"Europe/Berlin", "UTC", at(2024, 10, 27, 1, 59), at(2024, 10, 26, 23, 59), 0},
        {"Europe/Berlin", "UTC", at(2024, 10, 27, 2, 30), at(2024, 10, 27, 0, 30), 0},
        {"Europe/Berlin", "UTC", at(2024, 10, 27, 3, 0), at(2024, 10, 27, 2, 0), 0},
        // Into Berlin from a zone without summer time: the target's offset changes with the moment.
        {"Asia/Tokyo", "Europe/Berlin", at(2024, 3, 31, 9, 59, 59), at(2024, 3, 31, 1, 59, 59), 3600},
        {"Asia/Tokyo", "Europe/Berlin", at(2024, 3, 31, 10, 0), at(2024, 3, 31, 3, 0), 7200},
        {"Asia/Tokyo", "Europe/Berlin", at(2024, 10, 27, 9, 30), at(2024, 10, 27, 2, 30), 7200},
        {"Asia/Tokyo", "Europe/Berlin", at(2024, 10, 27, 10, 30), at(2024, 10, 27, 2, 30), 3600},
        {"UTC", "Asia/Tokyo", at(2024, 12, 31, 20, 0), at(2025, 1, 1, 5, 0), 9 * 3600},
        {"Asia/Tokyo", "UTC", at(1, 1, 1, 3, 0), 0.0, 0},  // before the years a date can hold
    };
    // Each conversion answers the cases one after the other, then backwards: what it kept of one moment's zone
    // must not answer for another's.
    std::map<std::string, ZoneConversion> conversions;
    std::vector<const Case*> order;
    for (const Case& c : cases) order.push_back(&c);
    for (auto it = std::rbegin(cases); it != std::rend(cases); ++it) order.push_back(&*it);
    for (const Case* step : order) {
        const Case& c = *step;
        SCOPED_TRACE(std::string(c.from) + " to " + c.to + " " + std::to_string(c.wall));
        const ZoneConversion& conversion =
            conversions.try_emplace(std::string(c.from) + c.to, QString::fromUtf8(c.from), QString::fromUtf8(c.to))
                .first->second;
        ASSERT_TRUE(conversion.isValid());
        const auto converted = conversion.convert(c.wall);
        ASSERT_EQ(converted.has_value(), c.want != 0.0);
        if (!converted) continue;
        EXPECT_NEAR(converted->value, c.want, 1e-9);
        EXPECT_EQ(converted->offset, c.offset);
    }
    EXPECT_FALSE(ZoneConversion(QStringLiteral("Europe/Berln"), QStringLiteral("UTC")).isValid());
}

TEST(ZoneConversion, PlansDatesAndZoneOffsetsPerPhoto) {
    TempDir temp;
    const std::string winter = cameraPhoto({"2024:03:31 01:30:00", "Canon", "EOS", "", "", "+01:00"});
    const std::string summer = cameraPhoto({"2024:03:31 03:30:00", "Canon", "EOS", "", "", "+02:00"});
    const std::string noZone = cameraPhoto({"2024:03:31 03:30:00", "Canon", "EOS"});
    writeFile(temp.path() / "a.jpg", winter);
    writeFile(temp.path() / "b.jpg", summer);
    writeFile(temp.path() / "c.jpg", noZone);
    RunOptions options = optionsFor(temp.path());
    options.fromZone = QStringLiteral("Europe/Berlin");
    options.toZone = QStringLiteral("Asia/Tokyo");
    const std::vector<PhotoPlan> plans =
        planList(headersOf(temp.path(), {"a.jpg", "b.jpg", "c.jpg"}), options, QLocale::c());
    // Three dates and three zone offsets each, where the file has them.
    const auto patched = [](const std::string& file, const PhotoPlan& plan) {
        std::string bytes = file;
        for (const auto& patch : plan.patches) bytes.replace(patch.offset, patch.bytes.size(), patch.bytes);
        return bytes;
    };
    EXPECT_EQ(patched(winter, plans[0]),
              replacedAll(replacedAll(winter, "2024:03:31 01:30:00", "2024:03:31 09:30:00"), "+01:00", "+09:00"));
    EXPECT_EQ(patched(summer, plans[1]),
              replacedAll(replacedAll(summer, "2024:03:31 03:30:00", "2024:03:31 10:30:00"), "+02:00", "+09:00"));
    EXPECT_EQ(plans[0].patches.size(), 6u);
    EXPECT_EQ(plans[2].patches.size(), 3u);
    EXPECT_EQ(plans[1].correctionText(), QStringLiteral("Europe/Berlin to Asia/Tokyo +7h"));
    EXPECT_EQ(plans[0].correctionText(false), QStringLiteral("Europe/Berlin to Asia/Tokyo"));
}

TEST(OffsetSuggestion, MedianOfGpsTimeInTheZoneMinusRecordedWithAgreement) {
    const auto photo = [](QString model, double recorded, double gps) {
        auto header = std::make_shared<PhotoHeader>();
        header->cameraMake = QStringLiteral("Maker");
        header->cameraModel = std::move(model);
        header->recordedCapture = recorded;
        header->gpsTime = gps;
        return std::shared_ptr<const PhotoHeader>(header);
    };
    const double recorded = at(2024, 7, 1, 11, 0);
    const auto gpsPlus = [&](int seconds) { return recorded - 9.0 / 24 + seconds / 86400.0; };  // UTC, Tokyo +9
    const std::vector<std::shared_ptr<const PhotoHeader>> headers = {
        photo("A", recorded, gpsPlus(3600)), photo("B", recorded, gpsPlus(-30)),  photo("A", recorded, gpsPlus(3601)),
        photo("A", recorded, gpsPlus(3599)), photo("A", recorded, gpsPlus(3661)), photo("A", recorded, gpsPlus(7200)),
        photo("B", recorded, gpsPlus(-10)),  photo("C", recorded, 0.0),  // no GPS: no suggestion
        photo("A", 0.0, gpsPlus(0)),                                     // no date: left out
    };
    const std::vector<OffsetSuggestion> suggestions = suggestOffsets(headers, QTimeZone("Asia/Tokyo"));
    ASSERT_EQ(suggestions.size(), 2u);
    EXPECT_EQ(suggestions[0].camera, QStringLiteral("Maker A"));
    EXPECT_EQ(suggestions[0].seconds, 3601);
    EXPECT_EQ(suggestions[0].photos, 5);
    EXPECT_EQ(suggestions[0].agreeing, 4);  // 3600, 3601, 3599, 3661; not 7200
    EXPECT_EQ(suggestions[1].camera, QStringLiteral("Maker B"));
    EXPECT_EQ(suggestions[1].seconds, -20);  // the middle of an even count
    EXPECT_EQ(suggestions[1].agreeing, 2);
    // In a zone with summer time the GPS time takes the offset of its own moment.
    EXPECT_EQ(suggestOffsets({photo("A", at(2024, 7, 1, 12, 0), at(2024, 7, 1, 10, 0))}, QTimeZone("Europe/Berlin"))[0]
                  .seconds,
              0);
}

TEST(OffsetSuggestion, GpsStampIsReadFromTheFile) {
    TempDir temp;
    PhotoTags tags{"2024:07:01 12:00:00", "Maker", "A"};
    tags.gpsDate = "2024:07:01";
    tags.gpsTime = {3, 4, 5};
    writeFile(temp.path() / "gps.jpg", cameraPhoto(tags));
    tags.gpsTime = {24, 0, 0};  // not a time of day
    writeFile(temp.path() / "bad.jpg", cameraPhoto(tags));
    const auto headers = headersOf(temp.path(), {"gps.jpg", "bad.jpg"});
    EXPECT_NEAR(headers[0]->gpsTime, at(2024, 7, 1, 3, 4, 5), 1e-9);
    EXPECT_EQ(headers[1]->gpsTime, 0.0);
}

// The GPS suggestion from every kind of file: a HEIC's GPS directory counts as a JPEG's; a GPS time without a date
// takes the recorded date's day (or the one before or after, the nearest); a photo that records its zone is taken
// in it unless the zones are converted.
TEST(OffsetSuggestion, EveryFileAndEveryKindOfGpsStampCounts) {
    struct Case {
        const char* name;
        PhotoTags tags;
        bool heic;
        bool converting;
        std::int64_t seconds;  // the suggestion, the zone given being Asia/Tokyo
    };
    const auto tagged = [](const char* date, const char* gpsDate, std::vector<std::uint32_t> gpsTime, const char* zone) {
        PhotoTags tags{date, "Maker", "A"};
        tags.gpsDate = gpsDate;
        tags.gpsTimeOnly = *gpsDate == '\0';
        tags.gpsTime = std::move(gpsTime);
        tags.zone = zone;
        return tags;
    };
    const std::vector<Case> cases = {
        {"heic", tagged("2024:07:01 12:00:00", "2024:07:01", {3, 0, 0}, ""), true, false, 0},
        // 15:30:05 UTC is 00:30:05 in Tokyo on the recorded day only when taken from the day before.
        {"time without date", tagged("2024:07:01 00:30:00", "", {15, 30, 5}, ""), false, false, 5},
        {"own zone", tagged("2024:07:01 12:00:00", "2024:07:01", {10, 0, 0}, "+02:00"), false, false, 0},
        {"own zone, converting", tagged("2024:07:01 12:00:00", "2024:07:01", {10, 0, 0}, "+02:00"), false, true, 7 * 3600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir temp;
        std::string bytes = cameraPhoto(c.tags);
        if (c.heic) {
            const std::size_t length = static_cast<unsigned char>(bytes[4]) << 8 | static_cast<unsigned char>(bytes[5]);
            bytes = morrowtide::test::heicFile({.tiff = bytes.substr(12, length - 8)});
        }
        const std::string name = c.heic ? "p.heic" : "p.jpg";
        writeFile(temp.path() / name, bytes);
        const auto suggestions = suggestOffsets(headersOf(temp.path(), {name}), QTimeZone("Asia/Tokyo"), c.converting);
        ASSERT_EQ(suggestions.size(), 1u);
        EXPECT_EQ(suggestions[0].seconds, c.seconds);
    }
}

// A value that names its zone keeps its instant in a conversion: it is shown in the target zone's time and offset
// where its designator can spell that offset in the same width, and left as it is where it cannot.
TEST(ZoneConversion, AValueWithItsOwnZoneIsShownAtItsMomentInTheTargetZone) {
    struct Case {
        const char* to;
        const char* before;
        const char* after;  // empty: left as it is
    };
    const std::vector<Case> cases = {
        {"Asia/Tokyo", "2005-06-01T10:00:00+02:00", "2005-06-01T17:00:00+09:00"},
        {"Asia/Tokyo", "2005-06-01T10:00:00.25+0200", "2005-06-01T17:00:00.25+0900"},
        {"Asia/Tokyo", "2005-06-01T10:00+02", "2005-06-01T17:00+09"},
        {"Asia/Tokyo", "2005-06-01T10:00:00-04:00", "2005-06-01T23:00:00+09:00"},
        {"Asia/Tokyo", "2005-06-01T08:00:00Z", ""},             // "Z" cannot name Tokyo
        {"Asia/Kolkata", "2005-06-01T10:00+02", ""},            // "+hh" cannot name +05:30
        {"Asia/Kolkata", "2005-06-01T10:00:00+0200", "2005-06-01T13:30:00+0530"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.to) + " " + c.before);
        const ZoneConversion conversion(QStringLiteral("Europe/Berlin"), QString::fromLatin1(c.to));
        const meta::FieldShift shift =
            meta::shiftDateField(meta::DateEncoding::Iso8601, c.before, conversion.mapping());
        if (*c.after == '\0') {
            EXPECT_EQ(shift.outcome, meta::DateOutcome::Zoned);
            EXPECT_EQ(shift.bytes, c.before);
        } else {
            EXPECT_EQ(shift.outcome, meta::DateOutcome::Shifted);
            EXPECT_EQ(shift.bytes, c.after);
        }
    }
}
