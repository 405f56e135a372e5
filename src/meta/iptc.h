// SPDX-License-Identifier: GPL-3.0-or-later
// The IPTC datasets of a photo's APP13 ("Photoshop 3.0") section, held as a list of named text values.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "meta/tag_entry.h"

namespace morrowtide::meta {

class ImgData;

// The 49 known datasets: indexCode = record number, tag = dataset number, rawSize = maximum length. Row 0 is the
// record version, named "SKIP" so that it is never kept.
std::span<const TagRow> iptcTagTable();

// Supplemental categories (20) and keywords (25): several occurrences are merged into one comma list.
bool isListDataset(unsigned dataset);

// Comma lists. Splitting: outside double quotes, bytes 1..32 and commas end an item and are skipped; an item
// starting with a double quote runs to the matching quote ("" inside stands for one); a comma as the very last
// character adds an empty item; a zero byte ends the text. Joining: single commas, no blanks; an item holding a
// byte 1..32, a comma or a double quote is quoted with its quotes doubled; a lone empty item becomes "".
std::vector<std::string> splitCommaList(std::string_view text);
std::string joinCommaList(const std::vector<std::string>& items);

// Byte-wise comparison without regard to case (Windows-1252 letters).
bool sameTextIgnoringCase(std::string_view a, std::string_view b);

class IptcData {
  public:
    // `owner` is the container whose readImageFile() readIptcFile() uses; it may be null for a stand-alone parse.
    explicit IptcData(ImgData* owner = nullptr);
    virtual ~IptcData() = default;
    IptcData(const IptcData&) = default;
    IptcData& operator=(const IptcData&) = default;

    // Index of the first entry whose name equals `name` ignoring case, or -1.
    virtual int indexOfTag(std::string_view name) const;
    // Removes the first entry of that name; later entries move up. Nothing when absent.
    virtual void deleteTag(std::string_view name);
    // Sets the entry's text (only when `value` is not empty) or adds a new entry from the table. Index of the
    // entry, or -1 when the name is neither present nor a known dataset.
    virtual int setTag(std::string_view name, std::string_view value);
    // Merges `value` as a comma list into the entry's text (or adds it); index as setTag.
    virtual int appendTag(std::string_view name, std::string_view value);
    // appendTag for a list dataset, setTag otherwise; -1 for a name that is not a known dataset.
    virtual int storeTag(std::string_view name, std::string_view value);
    virtual std::string textOfTag(std::string_view name, std::string_view defaultText = {}) const;
    // Loads `path` through the owner and parses its first APP13 section. True when at least one entry was read;
    // false without an owner. Must not be called on the owner's own IPTC object: the owner's load frees it.
    virtual bool readIptcFile(const std::string& path);

    int entryCount() const { return static_cast<int>(entries_.size()); }
    // Drops the entries from `count` on; a count above the present one is ignored, so no empty entry appears.
    void setEntryCount(int count);
    // A copy of the entry, or an empty entry for an index outside the list.
    TagEntry entryAt(int index) const;
    bool hasEntries() const { return !entries_.empty(); }
    void clearEntries();
    ImgData* owner() const { return owner_; }

    // Row of iptcTagTable() whose name equals `name` ignoring case, or -1.
    static int indexOfTableName(std::string_view name);
    // Appends a copy unless its tag is 0. Index of the new entry, or -1 when it was refused.
    int storeEntry(const TagEntry& entry);
    // Fills the entries from an APP13 section's data (its two length bytes first). Never reads outside `data`.
    void parseIptcSection(std::string_view data);
    // `oldList` plus every item of `newList` (trimmed) not yet in it, ignoring case; joined again.
    static std::string mergeCommaLists(std::string_view oldList, std::string_view newList);

    // "\r\n" + caption + " = " + text for every entry, in entry order.
    std::string textLines() const;

  private:
    ImgData* owner_ = nullptr;
    std::vector<TagEntry> entries_;
};

}  // namespace morrowtide::meta
