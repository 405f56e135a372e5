// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFile>

#include "app/native_path.h"

using namespace morrowtide::app;

TEST(NativePath, ValidUtf8DecodesLikeQt) {
    for (const std::string& bytes : {std::string("photos/2024/IMG_0001.JPG"), std::string("\xC3\xBC\xE6\x9D\xB1.jpg"),
                                    std::string("emoji \xF0\x9F\x98\x80.jpg"), std::string()}) {
        EXPECT_EQ(decodePath(bytes), QFile::decodeName(QByteArray::fromStdString(bytes)));
        EXPECT_EQ(encodePath(decodePath(bytes)), bytes);
    }
}

TEST(NativePath, BytesThatAreNotUtf8SurviveTheRoundTrip) {
    const std::string cases[] = {
        "latin-1 \xE9t\xE9.jpg",       // lone high bytes
        "\xC3",                        // sequence cut by the end
        "\xE6\x9D",                    // three-byte lead, two bytes
        "\xC0\xAF overlong slash",     // overlong form of "/"
        "\xED\xA0\x80 surrogate",      // UTF-8 of a surrogate
        "\xF4\x90\x80\x80 beyond",     // above U+10FFFF
        "mixed \xFF\xC3\xA9\xFE end",  // valid and invalid side by side
    };
    for (const auto& bytes : cases) {
        const QString text = decodePath(bytes);
        EXPECT_EQ(encodePath(text), bytes) << bytes;
        EXPECT_FALSE(text.contains(QChar(0xFFFD))) << "nothing is replaced";
    }
    // The escaped bytes never turn into a folder separator.
    EXPECT_FALSE(decodePath("\xC0\xAF").contains(u'/'));
}

TEST(NativePath, TextThatDidNotComeFromBytesEncodesAsUtf8) {
    EXPECT_EQ(encodePath(QStringLiteral("Z\u00FCrich")), "Z\xC3\xBCrich");
    // A lone surrogate outside the escape range has no byte form.
    EXPECT_EQ(encodePath(QString(QChar(0xD800))), "\xEF\xBF\xBD");
}
