// SPDX-License-Identifier: GPL-3.0-or-later
// The batch run's read and write against real camera files and the malformed ones: reading only the sections up to
// the first scan header and copying the rest from the open file must give what reading and writing the whole file
// in memory gives, the same sections, the same verdict and the same output bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

#include "meta/jpeg_writer.h"
#include "support/corpus.h"
#include "support/exif_builder.h"
#include "support/run_shift.h"

namespace morrowtide::meta {
namespace {

namespace fs = std::filesystem;
using morrowtide::test::readFile;

const fs::path kCorpus(MORROWTIDE_CORPUS_DIR);

std::string describe(const ImgData& data, bool result) {
    std::ostringstream out;
    out << "result " << result << " status '" << data.statusText() << "' diagnostic '" << data.diagnostic()
        << "' sections " << data.sectionCount() << " exif " << data.exifSectionIndex() << " iptc "
        << data.iptcSectionIndex() << " comment " << data.commentSectionIndex() << " app0 " << data.app0SectionIndex()
        << "\n";
    for (int i = 0; i < data.sectionCount(); ++i) {
        const JpegSection& s = data.section(i);
        out << i << ": " << s.marker << " " << s.size << " " << s.fileOffset << " " << s.storedLength << " "
            << std::hash<std::string>()(s.data) << "\n";
    }
    if (data.exif() != nullptr) out << data.exif()->trace << "\n";
    return out.str();
}

// The written bytes, or the message of the failure.
template <typename Save>
std::string outcome(Save save, const fs::path& out) {
    try {
        save();
    } catch (const WriteError& error) {
        return std::string("error: ") + error.what() + (fs::exists(out) ? " (output left)" : "");
    }
    return readFile(out);
}

TEST(StreamCopyCorpusTest, PrefixReadAndFileCopyMatchTheWholeFileInMemory) {
    MORROWTIDE_REQUIRE_CORPUS();
    const test::TempDir scratch;
    int files = 0, prefixOnly = 0, written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kCorpus)) {
        const std::string ext = entry.path().extension().string();
        if (!entry.is_regular_file() || (ext != ".jpg" && ext != ".JPG" && ext != ".jpeg")) continue;
        SCOPED_TRACE(entry.path().string());
        const std::string path = entry.path().string();
        const std::string whole = readFile(entry.path());
        ImgData fromPrefix, inMemory;
        SourceFile source;
        const bool prefixResult = fromPrefix.readImageFile(path, source);
        const bool wholeResult = inMemory.readImageBytes(path, whole);
        ASSERT_EQ(describe(fromPrefix, prefixResult), describe(inMemory, wholeResult));
        ++files;
        if (!fromPrefix.sourceComplete()) ++prefixOnly;
        EXPECT_EQ(fromPrefix.sourceBytes(), whole.substr(0, fromPrefix.sourceBytes().size()));

        for (ImgData* data : {&fromPrefix, &inMemory}) {
            if (data->hasAnyMetadata() && data->hasExifBlock()) test::shiftExifDates(*data, 0, 1);
        }
        const fs::path memoryOut = scratch.path() / "memory.jpg", streamOut = scratch.path() / "stream.jpg";
        const std::string expected =
            outcome([&] { saveCorrectedJpeg(inMemory, whole, memoryOut.string()); }, memoryOut);
        const std::string got = outcome([&] { saveCorrectedJpeg(fromPrefix, source, streamOut.string()); }, streamOut);
        EXPECT_TRUE(expected == got) << "in memory: " << expected.substr(0, 80) << "\nstreamed: " << got.substr(0, 80);
        if (!got.starts_with("error: ")) ++written;
        fs::remove(memoryOut);
        fs::remove(streamOut);
    }
    std::cout << files << " files, " << prefixOnly << " read only up to their scan header, " << written << " written\n";
    // Files under the first piece are read whole; the photos among the larger ones must not be.
    EXPECT_GT(prefixOnly, files / 3);
}

}  // namespace
}  // namespace morrowtide::meta
