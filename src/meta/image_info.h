// One decoded EXIF block: its tag list, text lines and the positions of the three date values.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "meta/tag_entry.h"

namespace morrowtide::meta {

class ImgData;

// The byte-order-aware block shared by the decoded EXIF object and the file container. Positions are 1-based.
// Reads outside the block throw OutOfBounds (see byte_reader.h).
class EndianBlock {
public:
    bool bigEndian = false;
    std::string block;

    std::uint16_t read16(std::int64_t pos) const;
    std::int32_t read32(std::int64_t pos) const;
};

class ImageInfo : public EndianBlock {
public:
    // buildCode: 2 text lines only, 4 tag list only, 255 both.
    explicit ImageInfo(ImgData* owner = nullptr, int buildCode = 255);
    virtual ~ImageInfo() = default;

    virtual int indexOfTag(std::string_view name) const;
    virtual std::string textOfTag(std::string_view name) const;

    void walkDirectory(std::int64_t dirStart, std::int64_t offsetBase, std::int64_t length, int kind);
    int storeEntry(const TagEntry& entry);
    int storeThumbEntry(const TagEntry& entry);
    TagEntry entryByName(std::string_view name) const;
    double numberByName(std::string_view name) const;
    std::int64_t integerByName(std::string_view name) const;
    void recordSubField(std::string_view name, std::string_view value, std::uint16_t format, std::uint16_t tag);

    std::vector<TagEntry> entries;  // entryCount == entries.size()
    std::int32_t entryCapacity = 0;
    ImgData* owner = nullptr;
    std::string exifVersion;   // at most 6 characters
    std::string cameraMake;    // at most 32
    std::string cameraModel;   // at most 40
    std::string dateTimeText;  // at most 20
    std::int32_t imageHeight = 0;
    std::int32_t imageWidth = 0;
    std::int32_t heightPos = 0;
    std::int32_t widthPos = 0;
    std::int32_t flashValue = 0;
    std::int32_t buildCode = 255;
    std::string makerNoteBytes;
    bool tiffMode = false;
    std::string userComment;
    std::int32_t userCommentPos = 0;
    std::int32_t userCommentLength = 0;
    std::int32_t dateTimePos = 0;
    std::int32_t dateTimeOriginalPos = 0;
    std::int32_t dateTimeDigitizedPos = 0;
    std::string thumbTrace;
    std::int32_t nextDirOffset = 0;
    std::int32_t nextDirRemainder = 0;
    std::int32_t thumbCompression = 0;
    std::vector<TagEntry> thumbEntries;
    std::int32_t thumbEntryCapacity = 0;
    std::string trace;
    std::string makerNoteText;
    bool makerNoteKnown = false;
    std::int32_t makerNotePos = 0;

    int entryCount() const { return static_cast<int>(entries.size()); }
    int thumbEntryCount() const { return static_cast<int>(thumbEntries.size()); }

private:
    // Keys (offsetBase, directory start) of the directories walked since construction; per object, so two
    // readers in two threads never interfere.
    std::set<std::pair<std::int64_t, std::int64_t>> visitedDirectories_;
    int walkDepth_ = 0;
};

}  // namespace morrowtide::meta
