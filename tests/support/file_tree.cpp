// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/file_tree.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace morrowtide::test {

namespace fs = std::filesystem;

std::vector<std::string> fileTree(const fs::path& root) {
    std::vector<std::string> names;
    if (!fs::exists(root)) return names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), root).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> fileTreeContents(const fs::path& root) {
    std::map<std::string, std::string> contents;
    for (const std::string& name : fileTree(root)) {
        std::ifstream in(root / name, std::ios::binary);
        contents[name].assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return contents;
}

std::map<std::string, TimedFile> fileTreeWithTimes(const fs::path& root) {
    std::map<std::string, TimedFile> files;
    for (auto& [name, bytes] : fileTreeContents(root)) {
        struct stat status {};
        const std::int64_t modified = ::stat((root / name).c_str(), &status) == 0 ? status.st_mtim.tv_sec : -1;
        files[name] = {std::move(bytes), modified};
    }
    return files;
}

void PrintTo(const TimedFile& file, std::ostream* out) {
    *out << file.bytes.size() << " bytes, modified " << file.modified;
}

}  // namespace morrowtide::test
