// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/corpus.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace morrowtide::test {

const std::filesystem::path& corpusFolder() {
    static const std::filesystem::path folder(MORROWTIDE_CORPUS_DIR);
    return folder;
}

bool corpusPresent() {
    return std::filesystem::exists(corpusFolder() / "INDEX.tsv");
}

bool corpusRequired() {
    return std::getenv("CI") != nullptr;
}

std::string corpusMissingText() {
    return "no corpus folder at " + corpusFolder().string() +
           (corpusRequired() ? " although CI is set: a CI run must have it beside the repository"
                             : "; real-file checks skipped");
}

std::vector<CorpusRow> readCorpusIndex() {
    std::ifstream in(corpusFolder() / "INDEX.tsv");
    std::vector<CorpusRow> rows;
    std::vector<std::string> header;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::stringstream split(line);
        for (std::string cell; std::getline(split, cell, '\t');) cells.push_back(cell);
        if (header.empty()) {
            header = std::move(cells);
            continue;
        }
        CorpusRow row;
        for (std::size_t i = 0; i < header.size(); ++i) row.fields[header[i]] = i < cells.size() ? cells[i] : "";
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace morrowtide::test
