// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

namespace morrowtide::app {
namespace {

class SettingsFileTest : public ::testing::Test {
  protected:
    QString path() const { return dir_.filePath("morrowtide.ini"); }
    void write(const QByteArray& bytes) const {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray read() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsFileTest, MissingFileGivesDefaults) {
    const SavedOptions options = loadOptions(path());
    EXPECT_EQ(options.fileMask, "yyyy-mm-dd hh-nn-ss - *FILENAME");
    EXPECT_TRUE(options.recurseFolders);
    EXPECT_TRUE(options.autoRename);
    EXPECT_TRUE(options.includePreviousFName);
    EXPECT_TRUE(options.includeDateTime);
    EXPECT_TRUE(options.overwriteDateTime);
    EXPECT_FALSE(options.preserveModDate);
    EXPECT_FALSE(QFile::exists(path())) << "reading must not create the file";
}

TEST_F(SettingsFileTest, BooleansReadAsIntegersWithDefaultForText) {
    write(
        "[Options]\nRecurseFolders=0\nAutoRename=abc\nIncludePreviousFName=0x0\nIncludeDateTime=  -7 \n"
        "OverwriteDateTime=1a\nPreserveModDate=0X1F\n");
    const SavedOptions options = loadOptions(path());
    EXPECT_FALSE(options.recurseFolders);
    EXPECT_TRUE(options.autoRename) << "text that is no integer gives the default";
    EXPECT_FALSE(options.includePreviousFName);
    EXPECT_TRUE(options.includeDateTime);
    EXPECT_TRUE(options.overwriteDateTime) << "trailing letters make it no integer";
    EXPECT_TRUE(options.preserveModDate);
    EXPECT_EQ(options.fileMask, "yyyy-mm-dd hh-nn-ss - *FILENAME") << "missing key";
}

TEST(ProfileInteger, Forms) {
    EXPECT_EQ(parseProfileInteger("42"), 42);
    EXPECT_EQ(parseProfileInteger(" +5 "), 5);
    EXPECT_EQ(parseProfileInteger("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(parseProfileInteger("0xff"), 255);
    EXPECT_EQ(parseProfileInteger("0xFFFFFFFF"), -1);
    EXPECT_EQ(parseProfileInteger("2147483648"), std::nullopt);
    EXPECT_EQ(parseProfileInteger("0x100000000"), std::nullopt);
    EXPECT_EQ(parseProfileInteger(""), std::nullopt);
    EXPECT_EQ(parseProfileInteger("-"), std::nullopt);
    EXPECT_EQ(parseProfileInteger("0x"), std::nullopt);
    EXPECT_EQ(parseProfileInteger("1.0"), std::nullopt);
    EXPECT_EQ(parseProfileInteger(QString::fromUtf8("\u0661")), std::nullopt) << "only ASCII digits";
    EXPECT_EQ(parseProfileInteger("0xg"), std::nullopt);
    // An empty value is present but no integer: the default.
    EXPECT_TRUE(readProfileBool(QString(), true));
    EXPECT_FALSE(readProfileBool(std::nullopt, false));
}

TEST_F(SettingsFileTest, NamesMatchWithoutCaseAndFirstMatchWins) {
    write(
        "[other]\nFileMask=wrong\n[OPTIONS]\n  filemask =  yyyy 'x'  \nfilemask=second\nrecursefolders=0\n"
        "[Options]\nAutoRename=0\n");
    const SavedOptions options = loadOptions(path());
    EXPECT_EQ(options.fileMask, "yyyy 'x'");
    EXPECT_FALSE(options.recurseFolders);
    EXPECT_TRUE(options.autoRename) << "only the first section of the name counts";
}

TEST_F(SettingsFileTest, SaveAndLoadRoundTrip) {
    SavedOptions options;
    options.fileMask = QStringLiteral("\"Photo\" yyyymmdd;x=\\y %s *FILENAME");
    options.recurseFolders = false;
    options.includeDateTime = false;
    options.preserveModDate = true;
    saveOptions(path(), options);
    EXPECT_EQ(read(),
              "[Options]\nFileMask=\"Photo\" yyyymmdd;x=\\y %s *FILENAME\nRecurseFolders=0\nAutoRename=1\n"
              "IncludePreviousFName=1\nIncludeDateTime=0\nOverwriteDateTime=1\nPreserveModDate=1\n");
    EXPECT_EQ(loadOptions(path()), options) << "the mask comes back exactly as typed, quotes included";

    options.fileMask = QString::fromUtf8("yyyy \u00e9t\u00e9");
    saveOptions(path(), options);
    EXPECT_EQ(loadOptions(path()).fileMask, options.fileMask);
}

TEST_F(SettingsFileTest, JobsReadAsACountFromZeroAndWrittenOnceChanged) {
    const struct {
        const char* text;
        int jobs;
    } cases[] = {{"3", 3}, {" 0x6 ", 6}, {"0", 0}, {"-1", 0}, {"two", 0}, {"1000", 8}, {"", 0}};
    for (const auto& c : cases) {
        write(QByteArray("[Options]\nJobs=") + c.text + "\n");
        EXPECT_EQ(loadOptions(path()).jobs, c.jobs) << c.text;
    }
    // A file saved with the program's choice gets no Jobs line; once one is there it follows the setting.
    QFile::remove(path());
    SavedOptions options;
    saveOptions(path(), options);
    EXPECT_FALSE(read().contains("Jobs"));
    options.jobs = 4;
    saveOptions(path(), options);
    EXPECT_TRUE(read().endsWith("Jobs=4\n")) << read().toStdString();
    EXPECT_EQ(loadOptions(path()), options);
    options.jobs = 0;
    saveOptions(path(), options);
    EXPECT_TRUE(read().endsWith("Jobs=0\n")) << read().toStdString();
}

TEST_F(SettingsFileTest, SavingKeepsEveryOtherLine) {
    const QByteArray before =
        "; written by hand\r\n"
        "[Window]\r\n"
        "Left = 10\r\n"
        "\r\n"
        "[options]\r\n"
        "; the mask\r\n"
        "FILEMASK = old\r\n"
        "Unknown=keep me\r\n"
        "\r\n"
        "\r\n"
        "[Later]\r\n"
        "x=y";
    write(before);
    SavedOptions options;
    options.fileMask = QStringLiteral("yymmdd");
    options.autoRename = false;
    saveOptions(path(), options);
    EXPECT_EQ(read(),
              "; written by hand\r\n"
              "[Window]\r\n"
              "Left = 10\r\n"
              "\r\n"
              "[options]\r\n"
              "; the mask\r\n"
              "FileMask=yymmdd\r\n"
              "Unknown=keep me\r\n"
              "RecurseFolders=1\r\n"
              "AutoRename=0\r\n"
              "IncludePreviousFName=1\r\n"
              "IncludeDateTime=1\r\n"
              "OverwriteDateTime=1\r\n"
              "PreserveModDate=0\r\n"
              "\r\n"
              "\r\n"
              "[Later]\r\n"
              "x=y");
}

TEST_F(SettingsFileTest, CamerasAreWrittenOnlyWhenChosenAndCleared) {
    const QByteArray options =
        "[Options]\nFileMask=yyyy-mm-dd hh-nn-ss - *FILENAME\nRecurseFolders=1\nAutoRename=1\n"
        "IncludePreviousFName=1\nIncludeDateTime=1\nOverwriteDateTime=1\nPreserveModDate=0\n";
    SavedOptions saved;
    saved.cameras.offsets.insert(QStringLiteral("Canon Canon EOS 5D #111"), 3600);
    // A camera's name may hold the separator and "=": the offset is after the last separator.
    saved.cameras.offsets.insert(QStringLiteral("Odd|Maker A=B"), -(86400 + 30 * 60));
    saved.cameras.convertZones = true;
    saved.cameras.fromZone = QStringLiteral("Europe/Berlin");
    saved.cameras.toZone = QStringLiteral("Asia/Tokyo");
    struct Step {
        const char* what;
        std::function<void(CameraChoices&)> change;
        QByteArray cameras;  // the file's section after the options
    };
    const Step steps[] = {
        {"all chosen", [](CameraChoices&) {},
         "[Cameras]\nCamera1=Canon Canon EOS 5D #111|+1h\nCamera2=Odd|Maker A=B|-1d30m\nFromZone=Europe/Berlin\n"
         "ToZone=Asia/Tokyo\n"},
        {"one camera fewer, zones off",
         [](CameraChoices& c) {
             c.offsets.remove(QStringLiteral("Canon Canon EOS 5D #111"));
             c.convertZones = false;
         },
         "[Cameras]\nCamera1=Odd|Maker A=B|-1d30m\n"},
        {"nothing chosen any more", [](CameraChoices& c) { c.offsets.clear(); }, "[Cameras]\n"},
    };
    for (const Step& step : steps) {
        step.change(saved.cameras);
        saveOptions(path(), saved);
        EXPECT_EQ(read(), options + step.cameras) << step.what;
        CameraChoices expected = saved.cameras;
        if (!expected.convertZones) expected.fromZone = expected.toZone = QString();  // kept only while on
        EXPECT_EQ(loadOptions(path()).cameras, expected) << step.what;
    }
    // A file that never held cameras gets no section for none.
    QFile::remove(path());
    saveOptions(path(), SavedOptions());
    EXPECT_EQ(read(), options);
}

TEST_F(SettingsFileTest, CameraEntriesThatCannotBeReadAreLeftOut) {
    write(
        "[cameras]\n; by hand\ncamera7 = Nikon D750|+2h \nCamera1=no separator\nCamera2=Pixel|+1 hour\n"
        "Camera3=|+1h\nCameraX=Sony|+1h\nCamera4=Nikon D750|+5h\nCamera0=Sony|+1h\nFromZone=UTC\n");
    const CameraChoices choices = loadOptions(path()).cameras;
    EXPECT_EQ(choices.offsets, (QMap<QString, std::int64_t>{{QStringLiteral("Nikon D750"), 7200}}))
        << "the first entry of a camera wins";
    EXPECT_FALSE(choices.convertZones) << "one zone is no conversion";
}

TEST_F(SettingsFileTest, SectionAppendedToFileWithoutFinalLineBreak) {
    write("[Other]\nkey=value");
    saveOptions(path(), SavedOptions{});
    const QByteArray after = read();
    EXPECT_TRUE(after.startsWith("[Other]\nkey=value\n[Options]\nFileMask=yyyy-mm-dd hh-nn-ss - *FILENAME\n"))
        << after.constData();
    EXPECT_TRUE(after.endsWith("PreserveModDate=0\n"));
    // Saving the same options again changes nothing.
    saveOptions(path(), SavedOptions{});
    EXPECT_EQ(read(), after);
}

TEST_F(SettingsFileTest, UnwritableFileReportsItsPath) {
    // A regular file standing where the folder should be: neither root nor anyone else can write there.
    QFile blocker(dir_.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString target = dir_.filePath("blocker/morrowtide.ini");
    try {
        saveOptions(target, SavedOptions{});
        FAIL() << "no error raised";
    } catch (const SettingsWriteError& error) {
        EXPECT_EQ(QString::fromUtf8(error.what()), "Unable to write to " + target);
        EXPECT_EQ(error.path(), target);
    }
}

TEST_F(SettingsFileTest, MissingConfigFolderIsCreated) {
    const QString nested = dir_.filePath("config/deeper/morrowtide.ini");
    saveOptions(nested, SavedOptions{});
    EXPECT_TRUE(QFile::exists(nested));
}

TEST(SettingsFilePath, ConfigFolderOrProgramFolder) {
    EXPECT_EQ(settingsFilePath("/home/u/.config", "/opt/morrowtide/bin"), "/home/u/.config/morrowtide.ini");
    EXPECT_EQ(settingsFilePath("", "/opt/morrowtide/bin"), "/opt/morrowtide/bin/morrowtide.ini");
}

TEST(IniFile, EmptyTextAndCarriageReturnStyle) {
    IniFile ini = IniFile::fromBytes("");
    EXPECT_EQ(ini.value("Options", "FileMask"), std::nullopt);
    ini.setValue("Options", "FileMask", "a");
    EXPECT_EQ(ini.toBytes(), "[Options]\nFileMask=a\n");

    IniFile crlf = IniFile::fromBytes("[Options]\r\nA=1\r\n");
    crlf.setValue("Options", "B", "2");
    EXPECT_EQ(crlf.toBytes(), "[Options]\r\nA=1\r\nB=2\r\n");
    EXPECT_EQ(crlf.value("options", "a"), "1");
    EXPECT_EQ(crlf.value("Options", "C"), std::nullopt);
    EXPECT_EQ(crlf.value("Missing", "A"), std::nullopt);
}

}  // namespace
}  // namespace morrowtide::app
