// SPDX-License-Identifier: GPL-3.0-or-later
// Writes hostile test material for scripts (bench/hostile_tree.sh, the package test):
//   make_hostile_tree tree DIR          the synthetic hostile tree (see support/hostile_tree.h) under DIR
//   make_hostile_tree photo FILE [DATE] one small good photo, dated "2005:06:01 10:00:00" unless DATE is given
//   make_hostile_tree cuts FILE DIR     FILE cut at every section boundary, as DIR/<name> cut at NNNN.jpg
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "support/hostile_tree.h"

namespace fs = std::filesystem;
using namespace morrowtide::test;

namespace {

int usage() {
    std::cerr << "usage: make_hostile_tree tree DIR | photo FILE [DATE] | cuts FILE DIR\n";
    return 2;
}

bool writeFile(const fs::path& path, const std::string& bytes) {
    if (path.has_parent_path()) fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string mode = argv[1];
    try {
        if (mode == "tree" && argc == 3) {
            const auto files = hostileTree();
            writeHostileTree(argv[2], files);
            std::cout << files.size() << " entries written under " << argv[2] << '\n';
            return 0;
        }
        if (mode == "photo" && (argc == 3 || argc == 4)) {
            const std::string photo = argc == 4 ? hostilePhoto(false, argv[3]) : hostilePhoto();
            return writeFile(argv[2], photo) ? 0 : 1;
        }
        if (mode == "cuts" && argc == 4) {
            std::ifstream in(argv[2], std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!in && !in.eof()) return 1;
            const std::string stem = fs::path(argv[2]).stem().string();
            int written = 0;
            for (const std::size_t cut : sectionCuts(bytes)) {
                const std::string name = stem + " cut at " + std::to_string(cut) + ".jpg";
                if (!writeFile(fs::path(argv[3]) / name, bytes.substr(0, cut))) return 1;
                ++written;
            }
            std::cout << written << " cuts of " << argv[2] << '\n';
            return 0;
        }
    } catch (const std::exception& failure) {
        std::cerr << "make_hostile_tree: " << failure.what() << '\n';
        return 1;
    }
    return usage();
}
