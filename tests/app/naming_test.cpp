// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <cmath>
#include <filesystem>
#include <limits>

#include "app/file_list.h"
#include "app/naming.h"
#include "meta/date_time.h"

using namespace morrowtide::app;
using morrowtide::meta::encodeDateTime;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);
const double kNow = encodeDateTime({2025, 6, 15, 10, 20, 30, 0});
const double kCapture = encodeDateTime({2007, 4, 1, 11, 15, 2, 0});
const double kOneHour = 1.0 / 24;

void touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

class Naming : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        dest_ = temp_.path() + "/Out";
        ASSERT_TRUE(QDir().mkpath(dest_));
        ASSERT_TRUE(namer_.applyFileMask(kDefaultFileMask).accepted);
    }

    OutputPath output(const QString& relativePath, double capture = kCapture, bool hasExif = true) const {
        return namer_.outputPathFor(dest_, relativePath, hasExif, capture, options_);
    }
    QString name(const QString& relativePath, double capture = kCapture, bool hasExif = true) const {
        return output(relativePath, capture, hasExif).name;
    }

    QTemporaryDir temp_;
    QString dest_;
    FileNamer namer_{kUs, [] { return kNow; }};
    NamingOptions options_;
};

}  // namespace

TEST_F(Naming, DefaultMaskIsPreparedAndShownWithTheClocksTime) {
    const FileMaskResult result = namer_.applyFileMask(kDefaultFileMask);
    EXPECT_TRUE(result.accepted);
    EXPECT_TRUE(result.error.isEmpty());
    EXPECT_EQ(result.formatMask, "yyyy-mm-dd hh-nn-ss - \"*FILENAME\"");
    EXPECT_EQ(result.example, "2025-06-15 10-20-30 - *FILENAME");
    EXPECT_EQ(namer_.formatMask(), result.formatMask);
    EXPECT_EQ(namer_.formatMaskText(), kDefaultFileMask);
}

TEST_F(Naming, PreparationQuotesTheTokenAndDropsPathCharacters) {
    EXPECT_EQ(prepareFileMask("yyyy/mm/dd"), "yyyymmdd");
    EXPECT_EQ(prepareFileMask("a?b\\c:d<e>f/g"), "abcdefg");
    EXPECT_EQ(prepareFileMask("*FILENAME_*FILENAME"), "\"*FILENAME\"_\"*FILENAME\"");
    EXPECT_EQ(prepareFileMask("*filename *FileName"), "*filename *FileName");  // not the token
    EXPECT_EQ(prepareFileMask("\"x\" * |"), "\"x\" * |");
    for (const QChar c : QString("/:<>?\\")) EXPECT_TRUE(isRefusedMaskKey(c)) << int(c.unicode());
    for (const QChar c : QString("*|\"'ymd -")) EXPECT_FALSE(isRefusedMaskKey(c)) << int(c.unicode());

    // Pasting yyyy/mm/dd: the accepted mask is yyyymmdd, the text it came from keeps the slashes.
    ASSERT_TRUE(namer_.applyFileMask("yyyy/mm/dd").accepted);
    EXPECT_EQ(namer_.formatMask(), "yyyymmdd");
    EXPECT_EQ(namer_.formatMaskText(), "yyyy/mm/dd");
    EXPECT_EQ(name("IMG_0042.JPG"), "20070401");
}

TEST_F(Naming, InvalidMaskKeepsThePreviousOne) {
    ASSERT_TRUE(namer_.applyFileMask("yyyy").accepted);
    for (const QString& bad : {QString(), QString("//::"), QString("<>?\\")}) {
        const FileMaskResult result = namer_.applyFileMask(bad);
        EXPECT_FALSE(result.accepted);
        EXPECT_EQ(result.error, "Invalid file mask");
        EXPECT_TRUE(result.example.isEmpty());
        EXPECT_EQ(namer_.formatMask(), "yyyy");
        EXPECT_EQ(namer_.formatMaskText(), "yyyy");
    }
    // Checking alone accepts nothing.
    EXPECT_TRUE(namer_.checkFileMask("dd").accepted);
    EXPECT_EQ(namer_.formatMask(), "yyyy");
}

TEST_F(Naming, ExampleLosesEveryDoubleQuote) {
    const FileMaskResult result = namer_.applyFileMask("'say \"hi\"' yyyy *FILENAME");
    ASSERT_TRUE(result.accepted);
    EXPECT_EQ(result.example, "say hi 2025 *FILENAME");
    // The name itself keeps the quotes the formatter did not consume.
    EXPECT_EQ(name("IMG_0042.JPG"), "say \"hi\" 2007 IMG_0042");
}

TEST_F(Naming, DefaultMaskAndSubFolder) {
    const OutputPath top = output("IMG_0042.JPG");
    EXPECT_EQ(top.folder, dest_ + "/");
    EXPECT_EQ(top.filePath(), dest_ + "/2007-04-01 11-15-02 - IMG_0042.jpg");
    EXPECT_EQ(top.path(), dest_ + "/2007-04-01 11-15-02 - IMG_0042");
    EXPECT_TRUE(top.nameIsWritable());
    EXPECT_EQ(output("Trip/IMG_0042.JPG").filePath(), dest_ + "/Trip/2007-04-01 11-15-02 - IMG_0042.jpg");
    EXPECT_EQ(namer_.outputPathFor(dest_ + "/", "a/b/x.jpg", true, kCapture, options_).filePath(),
              dest_ + "/a/b/2007-04-01 11-15-02 - x.jpg");
}

TEST_F(Naming, SecondPassReplacesOrKeepsTheEarlierDate) {
    const QString earlier = "2007-04-01 11-15-02 - IMG_0042.jpg";
    EXPECT_EQ(name(earlier, kCapture + kOneHour), "2007-04-01 12-15-02 - IMG_0042");
    options_.overwriteDateTime = false;
    EXPECT_EQ(name(earlier, kCapture + kOneHour), "2007-04-01 12-15-02 - 2007-04-01 11-15-02 - IMG_0042");
}

TEST_F(Naming, OptionCombinations) {
    options_.includeCurrentFilename = false;
    EXPECT_EQ(name("IMG_0042.JPG"), "2007-04-01 11-15-02 - ");
    options_.includeCurrentFilename = true;

    options_.includeDateTime = false;
    EXPECT_EQ(output("Trip/IMG_0042.JPG").filePath(), dest_ + "/Trip/IMG_0042.jpg");
    options_.includeDateTime = true;

    // Without EXIF data the own name stays, whatever the other options say.
    options_.overwriteDateTime = false;
    EXPECT_EQ(output("Trip/DSC_0001.JPG", kCapture, false).filePath(), dest_ + "/Trip/DSC_0001.jpg");

    // Several tokens each get the old name; a mask without it ignores the old name.
    ASSERT_TRUE(namer_.applyFileMask("*FILENAME yyyy *FILENAME").accepted);
    EXPECT_EQ(name("IMG_0042.JPG"), "IMG_0042 2007 IMG_0042");
    ASSERT_TRUE(namer_.applyFileMask("'Photo' yyyy").accepted);
    EXPECT_EQ(name("IMG_0042.JPG"), "Photo 2007");
    ASSERT_TRUE(namer_.applyFileMask("hh-mm").accepted);
    EXPECT_EQ(name("IMG_0042.JPG"), "11-15");
    ASSERT_TRUE(namer_.applyFileMask("hh mmm").accepted);
    EXPECT_EQ(name("IMG_0042.JPG"), "11 Apr");
    // The mask loses its "/", so am/pm is the region's day period and a/p two plain letters on a 24-hour clock.
    ASSERT_TRUE(namer_.applyFileMask("h.nn am/pm").accepted);
    EXPECT_EQ(name("IMG_0042.JPG"), "11.15 " + kUs.amText());
    ASSERT_TRUE(namer_.applyFileMask("hh a/p").accepted);
    EXPECT_EQ(name("IMG_0042.JPG"), "11 ap");
    // Letters of the old name are never read as pattern letters.
    ASSERT_TRUE(namer_.applyFileMask("*FILENAME").accepted);
    EXPECT_EQ(name("yyyy mm dd.jpg"), "yyyy mm dd");
}

TEST_F(Naming, MasksThatWouldHideTheCopiesAreGivenTheirReason) {
    const struct {
        QString mask;
        bool includeDateTime;
        bool includeFileName;
        QString reason;
    } cases[] = {
        {".", true, true, kHiddenNameMaskReason},
        {"'.'yyyy", true, true, kHiddenNameMaskReason},
        {".*FILENAME", true, true, kHiddenNameMaskReason},
        {"\"\"", true, true, kEmptyNameMaskReason},
        {"g", true, true, kEmptyNameMaskReason},  // the era, which renders nothing
        {"*FILENAME", true, false, kEmptyNameMaskReason},
        {"*FILENAME", true, true, {}},
        {"yyyy.", true, true, {}},
        {" .yyyy", true, true, {}},
        {"*FILENAME.", true, false, kHiddenNameMaskReason},
        // Not used without the date in the name: the photo's own name.
        {".", false, true, {}},
        {"*FILENAME", false, false, {}},
        // Refused as invalid before it could hide anything.
        {"/", true, true, {}},
    };
    for (const auto& c : cases) {
        options_.includeDateTime = c.includeDateTime;
        options_.includeCurrentFilename = c.includeFileName;
        const QString reason = namer_.hiddenNameReason(c.mask, options_);
        EXPECT_EQ(reason, c.reason) << c.mask.toStdString() << " " << c.includeDateTime << c.includeFileName;
        if (!namer_.applyFileMask(c.mask).accepted) continue;
        // The reason is what the names the mask gives show.
        const QString formed = name("IMG_0042.JPG");
        EXPECT_EQ(formed.isEmpty() || formed.startsWith(u'.'), !reason.isEmpty()) << formed.toStdString();
    }
}

TEST_F(Naming, FileWithoutExifKeepsItsName) {
    EXPECT_EQ(output("DSC_0001.JPG", 0.0, false).filePath(), dest_ + "/DSC_0001.jpg");
    // The name as formed: which of the taken ones the run uses is OutputNames' choice.
    touch(dest_ + "/DSC_0001.jpg");
    EXPECT_EQ(output("DSC_0001.JPG", 0.0, false).filePath(), dest_ + "/DSC_0001.jpg");
}

TEST_F(Naming, UndatedPhotosKeepTheirOwnNameUnderEveryMask) {
    for (const QString& mask : {kDefaultFileMask, QString("yyyymmddhhnnss"), QString("'Photo' yyyy")}) {
        ASSERT_TRUE(namer_.applyFileMask(mask).accepted);
        EXPECT_EQ(output("Trip/IMG_0007.JPG", 0.0).filePath(), dest_ + "/Trip/IMG_0007.jpg") << mask.toStdString();
        EXPECT_EQ(name("IMG_0007.JPG", std::numeric_limits<double>::quiet_NaN()), "IMG_0007");
    }
    // A real date a moment after the zero date is a date.
    ASSERT_TRUE(namer_.applyFileMask("yyyymmddhhnnss").accepted);
    EXPECT_EQ(name("IMG_0007.JPG", 1.0 / 86400), "18991230000001");
}

TEST_F(Naming, NameWithSlashIsFlaggedAndNeverLeavesItsFolder) {
    ASSERT_TRUE(namer_.applyFileMask("ddddd *FILENAME").accepted);  // en-US short date: 4/1/07
    // A file where the slashes would lead must not make the clash test count up.
    ASSERT_TRUE(QDir().mkpath(dest_ + "/Trip/4/1"));
    touch(dest_ + "/Trip/4/1/07 IMG_0042.jpg");
    const OutputPath out = output("Trip/IMG_0042.JPG");
    EXPECT_EQ(out.folder, dest_ + "/Trip/");
    EXPECT_EQ(out.name, "4/1/07 IMG_0042");
    EXPECT_FALSE(out.nameIsWritable());
    EXPECT_FALSE(nameIsWritable(QString("a") + QChar(u'\0')));
    EXPECT_TRUE(nameIsWritable("a*b|c\"d"));

    FileNamer german(kGerman, [] { return kNow; });
    ASSERT_TRUE(german.applyFileMask("ddddd *FILENAME").accepted);
    const OutputPath de = german.outputPathFor(dest_, "Trip/IMG_0042.JPG", true, kCapture, options_);
    EXPECT_EQ(de.name, "01.04.07 IMG_0042");
    EXPECT_TRUE(de.nameIsWritable());
}

TEST_F(Naming, LongNamesAreCutToFitLinux) {
    const QString e = QString::fromUtf8("é");  // two bytes in UTF-8
    const QString prefix = "2007-04-01 11-15-02 - ";
    const QString first = e.repeated(115) + "A.JPG";

    const OutputPath one = output(first);
    // 22 ASCII bytes leave 229 for the name: 114 two-byte characters fit, half of the next does not.
    EXPECT_EQ(one.name, prefix + e.repeated(114));
    EXPECT_EQ(one.name.toUtf8().size(), 250);

    // The folder part is never cut.
    const QString deep = dest_ + QString("/abcdefghijklmnopqrstuvwxyz").repeated(12);
    const OutputPath three = namer_.outputPathFor(deep, first, true, kCapture, options_);
    EXPECT_EQ(three.folder, deep + "/");
    EXPECT_EQ(three.name, one.name);

    // A mask whose text alone is over-long: the formatter stops at 256, the name at 251 bytes.
    ASSERT_TRUE(namer_.applyFileMask("'" + QString(300, u'x') + "'").accepted);
    EXPECT_EQ(namer_.formatDate(kCapture).size(), 256);
    EXPECT_EQ(name("a.JPG"), QString(251, u'x'));
}

TEST(NamingText, CutAtUtf8CharacterBoundaries) {
    const QString text = QString::fromUtf8("aé😀b");  // 1 + 2 + 4 + 1 bytes
    EXPECT_EQ(cutToUtf8Bytes(text, 0), "");
    EXPECT_EQ(cutToUtf8Bytes(text, 2), "a");
    EXPECT_EQ(cutToUtf8Bytes(text, 3), QString::fromUtf8("aé"));
    EXPECT_EQ(cutToUtf8Bytes(text, 6), QString::fromUtf8("aé"));
    EXPECT_EQ(cutToUtf8Bytes(text, 7), QString::fromUtf8("aé😀"));
    EXPECT_EQ(cutToUtf8Bytes(text, 100), text);
}

TEST(NamingText, StripDateTimePrefix) {
    auto strip = [](const char* name) { return stripDateTimePrefix(QString::fromUtf8(name), 2025, ":"); };
    EXPECT_EQ(strip("2007-04-01 11-15-02 - Australia"), "Australia");
    EXPECT_EQ(strip("IMG_0042"), "IMG_0042");
    EXPECT_EQ(strip("2007-04-01 Beach"), "2007-04-01 Beach");  // no hour after the date
    EXPECT_EQ(strip("2007-04-01 11-15-02 - "), "");
    EXPECT_EQ(strip("2007-04-01"), "");  // the date alone counts; 22 characters go whatever they are
    EXPECT_EQ(strip("  2007 - 04 - 01   9 rest of the name X"), "est of the name X");
    EXPECT_EQ(strip("2007-04-01 11:15:02 - Australia"), "Australia");
    // Invalid dates and times leave the name alone.
    EXPECT_EQ(strip("2007-02-29 11-15-02 - X"), "2007-02-29 11-15-02 - X");
    EXPECT_EQ(strip("2007-13-01 11-15-02 - X"), "2007-13-01 11-15-02 - X");
    EXPECT_EQ(strip("2007-04-01 24-00-00 - X"), "2007-04-01 24-00-00 - X");
    EXPECT_EQ(strip("2007-04-01 11:75 - Australia"), "2007-04-01 11:75 - Australia");
    EXPECT_EQ(strip("99999999999-04-01 11-15-02 - X"), "99999999999-04-01 11-15-02 - X");
    // Later than the zero date only.
    EXPECT_EQ(strip("1899-12-30 00-00-00 - X"), "1899-12-30 00-00-00 - X");
    EXPECT_EQ(strip("1899-12-30 01-00-00 - X"), "X");
    EXPECT_EQ(strip("1066-10-14 09-00-00 - X"), "1066-10-14 09-00-00 - X");
    // Two numbers are month and day of the current year.
    EXPECT_EQ(strip("04-01 11-15-02 - Trip - Australia"), "- Australia");
    EXPECT_EQ(strip("02-29 11-15-02 - Trip - Australia"), "02-29 11-15-02 - Trip - Australia");  // 2025
    // Two-digit years fall into the window around the current year.
    EXPECT_EQ(strip("00-02-29 10-00-00 - X Beach"), "Beach");  // 2000 was a leap year
    EXPECT_EQ(strip("01-02-29 10-00-00 - X Beach"), "01-02-29 10-00-00 - X Beach");
}

TEST(NamingText, TwoDigitYearWindow) {
    EXPECT_EQ(expandTwoDigitYear(74, 2025), 2074);
    EXPECT_EQ(expandTwoDigitYear(75, 2025), 1975);
    EXPECT_EQ(expandTwoDigitYear(0, 2025), 2000);
    EXPECT_EQ(expandTwoDigitYear(99, 2025), 1999);
    EXPECT_EQ(expandTwoDigitYear(5, 2060), 2105);
    EXPECT_EQ(expandTwoDigitYear(10, 2060), 2010);
}

TEST(NamingText, StripUsesTheClocksYearAndTheLocalesTimeSeparator) {
    FileNamer finnish(QLocale(QLocale::Finnish, QLocale::Finland), [] { return kNow; });
    EXPECT_EQ(finnish.currentYear(), 2025);
    EXPECT_EQ(finnish.stripDateTimePrefix("2007-04-01 11.75 - Australia"), "2007-04-01 11.75 - Australia");
    EXPECT_EQ(finnish.stripDateTimePrefix("2007-04-01 11.15.02 - Australia"), "Australia");
    FileNamer us(kUs, [] { return encodeDateTime({2024, 1, 1}); });
    EXPECT_EQ(us.stripDateTimePrefix("02-29 11-15-02 - Trip - Australia"), "- Australia");  // 2024 is a leap year
}

namespace {

// OutputNames in one folder of `temp_`, with the files a test puts there.
class RunNames : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = ::open(QFile::encodeName(temp_.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(folder_, 0);
        ASSERT_EQ(::fstat(folder_, &folderInfo_), 0);
    }
    void TearDown() override { ::close(folder_); }

    // A file in the folder; its identity.
    struct stat file(const QString& name) {
        touch(temp_.path() + u'/' + name);
        struct stat info {};
        ::stat(QFile::encodeName(temp_.path() + u'/' + name).constData(), &info);
        return info;
    }
    OutputNames::Choice choose(const QString& name, bool autoRename, const QString& sourceName,
                               const struct stat& inHand) {
        return names_.choose(folder_, folderInfo_.st_dev, folderInfo_.st_ino, name, autoRename, sourceName,
                             inHand.st_dev, inHand.st_ino);
    }

    QTemporaryDir temp_;
    int folder_ = -1;
    struct stat folderInfo_ {};
    OutputNames names_;
};

TEST_F(RunNames, EachNameCountsOnFromWhereItStoppedAndSkipsTakenNumbers) {
    file("p_3.jpg");
    const struct stat elsewhere {};
    QStringList got;
    for (int i = 0; i < 5; ++i) got << choose("p", true, {}, elsewhere).name;
    // Chosen names are the run's even before anything is written under them.
    EXPECT_EQ(got, (QStringList{"p", "p_2", "p_4", "p_5", "p_6"}));
    EXPECT_EQ(names_.next(folder_, folderInfo_.st_dev, folderInfo_.st_ino, "p"), "p_7");
    EXPECT_EQ(choose("q", true, {}, elsewhere).name, "q");
}

TEST_F(RunNames, OnlyFilesBlockAName) {
    ASSERT_TRUE(QDir(temp_.path()).mkdir("folder.jpg"));
    // A dangling link would be written through to another file: it counts as taken.
    std::filesystem::create_symlink(QFile::encodeName(temp_.path() + "/nowhere").toStdString(),
                                    QFile::encodeName(temp_.path() + "/dangling.jpg").toStdString());
    const struct stat elsewhere {};
    EXPECT_EQ(choose("folder", true, {}, elsewhere).name, "folder");
    EXPECT_EQ(choose("dangling", true, {}, elsewhere).name, "dangling_2");
}

TEST_F(RunNames, ANumberedLongNameIsCutFurtherToFitLinux) {
    const QString e = QString::fromUtf8("é");  // two bytes in UTF-8
    const QString name = e.repeated(125);      // 250 bytes: with ".jpg" the longest a name may be
    file(name + ".jpg");
    const struct stat elsewhere {};
    const QString second = choose(name, true, {}, elsewhere).name;
    EXPECT_EQ(second, e.repeated(124) + "_2");
    EXPECT_LE(QFile::encodeName(second + ".jpg").size(), 255);
}

TEST_F(RunNames, WithoutAutoRenameOnlyTheSourceInHandOrAStrangerIsReplaced) {
    const struct stat own = file("IMG_1.JPG");
    const struct stat waiting = file("IMG_2.jpg");
    names_.addSource(own.st_dev, own.st_ino);
    names_.addSource(waiting.st_dev, waiting.st_ino);
    file("stranger.jpg");

    struct Case {
        QString name;
        QString sourceName;
        QString wantName;
        QString wantExtension;
        bool replace;
        bool ownSource;
        QString avoided;
    } cases[] = {
        {"IMG_1", "IMG_1.JPG", "IMG_1", ".JPG", true, true, {}},  // in place: the exact name, extension included
        {"IMG_1", {}, "IMG_1", ".jpg", true, false, {}},           // another folder: IMG_1.jpg is no photo of the run
        {"IMG_2", "IMG_1.JPG", "IMG_2_2", ".jpg", false, false, "IMG_2.jpg"},  // still waiting: never replaced
        {"stranger", "IMG_1.JPG", "stranger", ".jpg", true, false, {}},         // overwritten as asked
    };
    for (const Case& c : cases) {
        const OutputNames::Choice got = choose(c.name, false, c.sourceName, own);
        EXPECT_EQ(got.name + got.extension, c.wantName + c.wantExtension) << c.name.toStdString();
        EXPECT_EQ(got.replace, c.replace) << c.name.toStdString();
        EXPECT_EQ(got.ownSource, c.ownSource) << c.name.toStdString();
        EXPECT_EQ(got.avoided, c.avoided) << c.name.toStdString();
    }
}

}  // namespace

// A listed photo is protected only while the very file stands there: a file another run made since in the place the
// photo's file left free (its inode used again) is replaced like any other, not taken for one of this run's photos.
TEST_F(RunNames, AFileMadeSinceInAFreedPlaceIsNotOneOfThisRunsPhotos) {
    const QString listedPath = temp_.path() + QStringLiteral("/b.jpg");
    file("b.jpg");
    const auto listed = identityOf(QFile::encodeName(listedPath).toStdString());
    ASSERT_TRUE(listed);
    if (listed->birth == 0) GTEST_SKIP() << "the file system records no birth times";
    names_.addSource(listed->device, listed->inode, listed->birth);
    const struct stat inHand = file("a.jpg");
    // Still the listed file: replacing it would lose a photo of the run.
    EXPECT_EQ(choose("b", false, {}, inHand).avoided, QStringLiteral("b.jpg"));
    // The listed file goes; new files are made until one takes its place.
    ::unlink(QFile::encodeName(listedPath).constData());
    bool reused = false;
    for (int i = 0; i < 200 && !reused; ++i) {
        const QString name = QStringLiteral("new%1.jpg").arg(i);
        const struct stat made = file(name);
        reused = made.st_ino == listed->inode;
        if (reused) ::rename(QFile::encodeName(temp_.path() + u'/' + name).constData(),
                             QFile::encodeName(listedPath).constData());
    }
    if (!reused) GTEST_SKIP() << "no inode was used again";
    const OutputNames::Choice choice = choose("b", false, {}, inHand);
    EXPECT_TRUE(choice.avoided.isEmpty()) << choice.avoided.toStdString();
    EXPECT_TRUE(choice.replace);
}
