// SPDX-License-Identifier: GPL-3.0-or-later
// IPTC datasets of the real photos with an APP13 section, compared with exiftool's reading of the same files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "meta/img_data.h"
#include "meta/iptc.h"
#include "support/corpus.h"

using namespace morrowtide::meta;

namespace {

const std::filesystem::path kCorpus = MORROWTIDE_CORPUS_DIR;
const std::string kSeparator = "|~|";

// Our dataset names and exiftool's names for the same datasets (record 2).
const std::map<std::string, std::string> kExiftoolNames = {
    {"ObjectType", "ObjectTypeReference"},
    {"ObjectAttr", "ObjectAttributeReference"},
    {"ObjectName", "ObjectName"},
    {"EditStatus", "EditStatus"},
    {"Urgency", "Urgency"},
    {"SubRef", "SubjectReference"},
    {"Category", "Category"},
    {"SuppCategory", "SupplementalCategories"},
    {"FixtureID", "FixtureIdentifier"},
    {"Keywords", "Keywords"},
    {"SpecialInstru", "SpecialInstructions"},
    {"DateCreated", "DateCreated"},
    {"TimeCreated", "TimeCreated"},
    {"DigitizeDate", "DigitalCreationDate"},
    {"DigitizeTime", "DigitalCreationTime"},
    {"OriginatingProgram", "OriginatingProgram"},
    {"ProgramVersion", "ProgramVersion"},
    {"ByLine", "By-line"},
    {"ByLineTitle", "By-lineTitle"},
    {"City", "City"},
    {"SubLocation", "Sub-location"},
    {"State", "Province-State"},
    {"LocationCode", "Country-PrimaryLocationCode"},
    {"LocationName", "Country-PrimaryLocationName"},
    {"TransmissionRef", "OriginalTransmissionReference"},
    {"ImageHeadline", "Headline"},
    {"ImageCredit", "Credit"},
    {"Source", "Source"},
    {"Copyright", "CopyrightNotice"},
    {"Contact", "Contact"},
    {"ImageCaption", "Caption-Abstract"},
    {"ImageCaptionWriter", "Writer-Editor"},
};

std::vector<std::string> splitOn(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size()) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

// The corpus paths whose APP13 column says "yes".
std::vector<std::string> filesWithApp13() {
    std::vector<std::string> paths;
    for (const morrowtide::test::CorpusRow& row : morrowtide::test::readCorpusIndex()) {
        if (row["APP13"] == "yes") paths.push_back(row["path"]);
    }
    return paths;
}

// exiftool's IPTC tags (family-1 group "IPTC" only: the first IPTC block) for every file, keyed by relative path.
// Texts stay in the file's bytes; lists come joined with kSeparator. Empty when exiftool cannot be run.
std::map<std::string, std::map<std::string, std::string>> exiftoolIptc(const std::vector<std::string>& paths) {
    const auto argFile =
        std::filesystem::temp_directory_path() / ("iptc_corpus_args_" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream args(argFile);
        args << "-n\n-args\n-G1\n-a\n-sep\n" << kSeparator << "\n-charset\niptc=cp1252\n-charset\ncp1252\n-IPTC:all\n";
        for (const auto& path : paths) args << (kCorpus / path).string() << "\n";
    }
    const std::string command = "exiftool -@ '" + argFile.string() + "' 2>/dev/null";
    std::map<std::string, std::map<std::string, std::string>> result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    pclose(pipe);
    std::filesystem::remove(argFile);

    std::istringstream lines(output);
    std::string line;
    std::map<std::string, std::string>* current = nullptr;
    const std::string corpusPrefix = kCorpus.string() + "/";
    while (std::getline(lines, line)) {
        if (line.rfind("======== ", 0) == 0) {
            std::string path = line.substr(9);
            if (path.rfind(corpusPrefix, 0) == 0) path = path.substr(corpusPrefix.size());
            current = &result[path];
        } else if (current != nullptr && line.rfind("-IPTC:", 0) == 0) {
            const auto equals = line.find('=');
            if (equals != std::string::npos) (*current)[line.substr(6, equals - 6)] = line.substr(equals + 1);
        }
    }
    return result;
}

// exiftool shows control characters as '.' and drops trailing blanks and zero bytes.
std::string normalised(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\0') c = '.';
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

bool hasHighBytes(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    }
    return false;
}

// The list an IPTC list dataset should end with: every item of every occurrence, split at commas and line breaks
// with the blanks around them dropped (a keyword of several words stays whole), each kept once ignoring case.
std::string expectedList(const std::string& exiftoolValue) {
    std::vector<std::string> words;
    for (const auto& item : splitOn(exiftoolValue, kSeparator)) {
        std::string word;
        auto flush = [&] {
            while (!word.empty() && word.back() == ' ') word.pop_back();
            bool seen = false;
            for (const auto& w : words) seen = seen || sameTextIgnoringCase(w, word);
            if (!word.empty() && !seen) words.push_back(word);
            word.clear();
        };
        for (char c : item) {
            if (static_cast<unsigned char>(c) < ' ' || c == ',') {
                flush();
            } else if (c != ' ' || !word.empty()) {
                word += c;
            }
        }
        flush();
    }
    return joinCommaList(words);
}

}  // namespace

TEST(IptcCorpus, DatasetsAgreeWithExiftool) {
    MORROWTIDE_REQUIRE_CORPUS();
    if (std::system("exiftool -ver >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is not installed";
    const auto paths = filesWithApp13();
    ASSERT_FALSE(paths.empty());
    const auto oracle = exiftoolIptc(paths);
    ASSERT_FALSE(oracle.empty()) << "exiftool gave no output";

    int filesWithEntries = 0, compared = 0;
    for (const auto& path : paths) {
        SCOPED_TRACE(path);
        ImgData container;
        IptcData iptc(&container);
        const bool read = iptc.readIptcFile((kCorpus / path).string());  // every file, the broken ones too
        if (container.iptcSection() == nullptr) continue;                // APP13 too late for the section scan
        EXPECT_EQ(read, iptc.hasEntries());
        if (read) ++filesWithEntries;

        const auto found = oracle.find(path);
        if (found == oracle.end()) continue;
        const auto& tags = found->second;
        const auto charset = tags.find("CodedCharacterSet");
        const bool utf8 = charset != tags.end() && charset->second.find("%G") != std::string::npos;

        // Ours, all occurrences per name in file order.
        std::map<std::string, std::vector<std::string>> ours;
        for (int i = 0; i < iptc.entryCount(); ++i) ours[iptc.entryAt(i).name].push_back(iptc.entryAt(i).text);

        for (const auto& [name, exiftoolName] : kExiftoolNames) {
            const auto theirs = tags.find(exiftoolName);
            const auto mine = ours.find(name);
            if (theirs == tags.end()) {
                EXPECT_EQ(mine, ours.end()) << name << " is not in exiftool's reading";
                continue;
            }
            ASSERT_NE(mine, ours.end()) << name << " missing; exiftool: " << theirs->second;
            std::string expected = theirs->second;
            std::string actual;
            for (const auto& value : mine->second) actual += (actual.empty() ? "" : kSeparator) + normalised(value);
            if (utf8 && (hasHighBytes(expected) || hasHighBytes(actual))) continue;  // exiftool re-encodes UTF-8
            if (isListDataset(iptcTagTable()[static_cast<std::size_t>(IptcData::indexOfTableName(name))].tag)) {
                if (expected.find('"') != std::string::npos) continue;  // quoting would change the items
                expected = expectedList(expected);
            } else if (name.find("Date") != std::string::npos || name.find("Time") != std::string::npos) {
                std::erase(expected, ':');  // exiftool formats dates and times; the datasets hold digits only
            }
            EXPECT_EQ(actual, expected) << name;
            ++compared;
        }
    }
    std::printf("IPTC corpus: %zu files with APP13, %d with entries, %d dataset values compared with exiftool\n",
                paths.size(), filesWithEntries, compared);
    EXPECT_GE(filesWithEntries, 20);
    EXPECT_GE(compared, 200);
}
