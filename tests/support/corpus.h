// SPDX-License-Identifier: GPL-3.0-or-later
// The folder of real photos beside the repository and its INDEX.tsv (one row per file, columns by name).
//
// A plain clone has no such folder: the real-file tests skip there and say why. A CI run (the CI variable set)
// is laid out with the folder beside the clone, so its absence there is a failure, not a skip.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace morrowtide::test {

const std::filesystem::path& corpusFolder();
bool corpusPresent();
bool corpusRequired();
std::string corpusMissingText();

struct CorpusRow {
    std::map<std::string, std::string> fields;
    // The cell of `column`; throws for a column the index does not have.
    const std::string& operator[](const std::string& column) const { return fields.at(column); }
    std::filesystem::path file() const { return corpusFolder() / fields.at("path"); }
};

// Every row of INDEX.tsv in the corpus folder (empty when there is none).
std::vector<CorpusRow> readCorpusIndex();

}  // namespace morrowtide::test

// Skips the test where the corpus may be missing (a plain clone); fails it where it must be there (CI).
#define MORROWTIDE_REQUIRE_CORPUS()                                                                      \
    do {                                                                                                 \
        if (!::morrowtide::test::corpusPresent()) {                                                      \
            if (::morrowtide::test::corpusRequired()) FAIL() << ::morrowtide::test::corpusMissingText(); \
            GTEST_SKIP() << ::morrowtide::test::corpusMissingText();                                     \
        }                                                                                                \
    } while (false)
