// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "app/file_list.h"

using namespace morrowtide::app;

namespace {

void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("x");
}

QStringList relative(const QStringList& list, const QString& root) {
    QStringList out;
    for (const auto& p : list) out << p.mid(root.size() + 1);
    return out;
}

}  // namespace

TEST(ScanFolder, ListsOnlyExactJpgExtensionsInNameOrder) {
    QTemporaryDir dir;
    for (const char* name : {"b.jpg", "a.JPG", "c.Jpg", "d.jpeg", "e.jpe", ".hidden.jpg", "noext", "f.jpg.txt"}) {
        touch(dir.filePath(name));
    }
    QStringList list;
    scanFolder(dir.path(), true, list);
    EXPECT_EQ(relative(list, dir.path()), (QStringList{".hidden.jpg", "a.JPG", "b.jpg"}));
}

TEST(ScanFolder, RecursesDepthFirstAndNeverListsFolders) {
    QTemporaryDir dir;
    touch(dir.filePath("a.jpg"));
    touch(dir.filePath("m/x/y/deep.jpg"));
    touch(dir.filePath("m/mid.jpg"));
    touch(dir.filePath("z.jpg"));
    QDir(dir.path()).mkpath("folder.jpg");
    touch(dir.filePath("folder.jpg/inside.JPG"));

    QStringList list;
    scanFolder(dir.path(), true, list);
    EXPECT_EQ(relative(list, dir.path()),
              (QStringList{"a.jpg", "folder.jpg/inside.JPG", "m/mid.jpg", "m/x/y/deep.jpg", "z.jpg"}));

    QStringList flat;
    scanFolder(dir.path(), false, flat);
    EXPECT_EQ(relative(flat, dir.path()), (QStringList{"a.jpg", "z.jpg"}));
}

TEST(ScanFolder, SymbolicLinkLoopIsNotEnteredAgain) {
    QTemporaryDir dir;
    touch(dir.filePath("sub/p.jpg"));
    std::filesystem::create_directory_symlink(dir.path().toStdString(), dir.filePath("sub/back").toStdString());
    QStringList list;
    scanFolder(dir.path(), true, list);
    EXPECT_EQ(relative(list, dir.path()), (QStringList{"sub/p.jpg"}));
}

TEST(ScanFolder, MissingFolderAddsNothing) {
    QStringList list{"kept"};
    scanFolder("/nonexistent/morrowtide/folder", true, list);
    EXPECT_EQ(list, QStringList{"kept"});
}

TEST(DosDateTime, PacksFieldsAndRefusesYearsOutsideTheRange) {
    EXPECT_EQ(dosDateTimeFromCivil(1980, 1, 1, 0, 0, 0), (1u << 21) | (1u << 16));
    EXPECT_EQ(dosDateTimeFromCivil(2024, 7, 14, 18, 30, 5) & 0x1F, 2u);  // seconds kept in 2-second units
    EXPECT_EQ(dosDateTimeFromCivil(1979, 12, 31, 23, 59, 58), 0u);
    EXPECT_NE(dosDateTimeFromCivil(2107, 12, 31, 23, 59, 58), 0u);
    EXPECT_EQ(dosDateTimeFromCivil(2108, 1, 1, 0, 0, 0), 0u);
}

TEST(DosDateTime, FromDayCountMatchesCivilFields) {
    // 2005-12-31 23:30:00 is day 38717 + 23.5/24.
    EXPECT_EQ(dosDateTimeFromDays(38717 + 23.5 / 24), dosDateTimeFromCivil(2005, 12, 31, 23, 30, 0));
    // A value a hair below midnight belongs to the next day once rounded to the second.
    EXPECT_EQ(dosDateTimeFromDays(38718 - 1e-9), dosDateTimeFromCivil(2006, 1, 1, 0, 0, 0));
    EXPECT_EQ(dosDateTimeFromDays(0), 0u);      // the zero date is 1899
    EXPECT_EQ(dosDateTimeFromDays(29000), 0u);  // 1979
}

TEST(FileDate, SetAndReadBackToTwoSeconds) {
    QTemporaryDir dir;
    const QString path = dir.filePath("p.jpg");
    touch(path);
    const auto dos = dosDateTimeFromCivil(2006, 1, 1, 0, 30, 17);
    ASSERT_TRUE(setFileDate(path, dos));
    EXPECT_EQ(sourceFileDate(path), dos);
    EXPECT_FALSE(setFileDate(path, 0));
    EXPECT_EQ(sourceFileDate(dir.path()), 0u);  // a folder
    EXPECT_EQ(sourceFileDate(dir.filePath("missing.jpg")), 0u);
}

TEST(ScanFolder, NativeListKeepsNamesThatAreNotUtf8) {
    QTemporaryDir dir;
    const std::string root = QFile::encodeName(dir.path()).toStdString();
    const std::string latin1 = root + "/\xE9t\xE9.jpg";  // Latin-1 bytes, invalid as UTF-8
    std::ofstream(latin1) << "x";
    std::ofstream(root + "/other.JPG") << "x";
    std::ofstream(root + "/\xE9.jpeg") << "x";
    std::vector<std::string> list;
    scanFolderNative(root, true, list);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], root + "/other.JPG");
    EXPECT_EQ(list[1], latin1);
    EXPECT_TRUE(std::filesystem::exists(list[1]));
}
