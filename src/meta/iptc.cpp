// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/iptc.h"

#include <array>
#include <map>
#include <unordered_set>

#include "meta/ascii_case.h"
#include "meta/byte_reader.h"
#include "meta/img_data.h"
#include "meta/tag_tables.h"

namespace morrowtide::meta {

namespace {

constexpr TagRow iptcRow(std::uint16_t record, std::uint16_t dataset, std::string_view name, std::string_view caption,
                         std::int32_t maxLength) {
    return TagRow{dataset, name, caption, {}, {}, nullptr, record, maxLength};
}

constexpr std::array<TagRow, 49> kIptcTagTable = {
    iptcRow(2, 0, "SKIP", "Record Version", 64),
    iptcRow(2, 3, "ObjectType", "Object Type Ref", 67),
    iptcRow(2, 4, "ObjectAttr", "Object Attribute Ref", 67),
    iptcRow(2, 5, "ObjectName", "Object name", 64),
    iptcRow(2, 7, "EditStatus", "Edit Status", 64),
    iptcRow(2, 8, "EditorialUpdate", "Editorial Update", 2),
    iptcRow(2, 10, "Urgency", "Urgency", 1),
    iptcRow(2, 12, "SubRef", "Subject Reference", 236),
    iptcRow(2, 15, "Category", "Category", 3),
    iptcRow(2, 20, "SuppCategory", "Supplemental category", 32),
    iptcRow(2, 22, "FixtureID", "Fixture ID", 32),
    iptcRow(2, 25, "Keywords", "Keywords", 64),
    iptcRow(2, 26, "ContentLocCode", "Content Location Code", 3),
    iptcRow(2, 27, "ContentLocName", "Content Location Name", 64),
    iptcRow(2, 30, "ReleaseDate", "Release Date", 8),
    iptcRow(2, 35, "ReleaseTime", "Release Time", 11),
    iptcRow(2, 37, "ExpireDate", "Expiration Date", 8),
    iptcRow(2, 38, "ExpireTime", "Expiration Time", 11),
    iptcRow(2, 40, "SpecialInstru", "Special Instructions", 256),
    iptcRow(2, 42, "ActionAdvised", "Action Advised", 2),
    iptcRow(2, 45, "RefService", "Reference Service", 10),
    iptcRow(2, 47, "RefDate", "Reference Date", 8),
    iptcRow(2, 50, "RefNumber", "Reference Number", 8),
    iptcRow(2, 55, "DateCreated", "Date created", 8),
    iptcRow(2, 60, "TimeCreated", "Time created", 11),
    iptcRow(2, 62, "DigitizeDate", "Digital Creation Date", 8),
    iptcRow(2, 63, "DigitizeTime", "Digital Creation Time", 11),
    iptcRow(2, 65, "OriginatingProgram", "Originating Program", 32),
    iptcRow(2, 70, "ProgramVersion", "Program version", 10),
    iptcRow(2, 75, "ObjectCycle", "Object Cycle", 1),
    iptcRow(2, 80, "ByLine", "ByLine", 32),
    iptcRow(2, 85, "ByLineTitle", "ByLine Title", 32),
    iptcRow(2, 90, "City", "City", 32),
    iptcRow(2, 92, "SubLocation", "Sublocation", 32),
    iptcRow(2, 95, "State", "Province/State", 32),
    iptcRow(2, 100, "LocationCode", "Country/Primary Location Code", 3),
    iptcRow(2, 101, "LocationName", "Country/Primary Location Name", 64),
    iptcRow(2, 103, "TransmissionRef", "Original Transmission Reference", 32),
    iptcRow(2, 105, "ImageHeadline", "Image headline", 256),
    iptcRow(2, 110, "ImageCredit", "Image credit", 32),
    iptcRow(2, 115, "Source", "Source", 32),
    iptcRow(2, 116, "Copyright", "Copyright Notice", 128),
    iptcRow(2, 118, "Contact", "Contact", 128),
    iptcRow(2, 120, "ImageCaption", "Image caption", 2000),
    iptcRow(2, 122, "ImageCaptionWriter", "Image caption writer", 32),
    iptcRow(2, 130, "ImageType", "Image type", 2),
    iptcRow(2, 131, "Orientation", "Image Orientation", 1),
    iptcRow(2, 135, "LangID", "Language ID", 3),
    iptcRow(8, 10, "Subfile", "Subfile", 2),
};

constexpr std::array<std::uint16_t, 2> kListDatasets = {20, 25};

// Datasets not in the table get a generated name and this maximum length.
constexpr std::int32_t kCustomMaxLength = 64;

constexpr std::string_view kPhotoshopSignature = "Photoshop 3.0";
constexpr char kDatasetMarker = 0x1C;

bool isSeparatorByte(unsigned char c) {
    return c >= 1 && c <= ' ';
}

// Windows-1252 upper case: ASCII, the Latin-1 letters, and the four pairs in 0x8A..0x9F.
unsigned char foldCase(unsigned char c) {
    if (c < 0x80) return asciiUpper(c);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
    switch (c) {
        case 0x9A:  // š
        case 0x9C:  // œ
        case 0x9E:  // ž
            return static_cast<unsigned char>(c - 0x10);
        case 0xFF:  // ÿ -> Ÿ
            return 0x9F;
        default:
            return c;
    }
}

std::string foldedText(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = static_cast<char>(foldCase(static_cast<unsigned char>(c)));
    return folded;
}

std::string_view trimmed(std::string_view text) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// A comma list being extended: its items and their case-folded forms, so that each addition costs only the
// length of what is added.
class CommaListBuilder {
  public:
    explicit CommaListBuilder(std::string_view list) : items_(splitCommaList(list)) {
        for (const std::string& item : items_) seen_.insert(foldedText(item));
    }
    void add(std::string_view list) {
        for (const std::string& item : splitCommaList(list)) {
            const std::string_view value = trimmed(item);
            if (seen_.insert(foldedText(value)).second) items_.emplace_back(value);
        }
    }
    std::string joined() const { return joinCommaList(items_); }

  private:
    std::vector<std::string> items_;
    std::unordered_set<std::string> seen_;
};

const TagRow* findRow(unsigned record, unsigned dataset) {
    for (const TagRow& row : kIptcTagTable) {
        if (row.indexCode == record && row.tag == dataset) return &row;
    }
    return nullptr;
}

}  // namespace

std::span<const TagRow> iptcTagTable() {
    return kIptcTagTable;
}

bool isListDataset(unsigned dataset) {
    for (auto listed : kListDatasets) {
        if (listed == dataset) return true;
    }
    return false;
}

bool sameTextIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldCase(static_cast<unsigned char>(a[i])) != foldCase(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

std::vector<std::string> splitCommaList(std::string_view text) {
    // A zero byte ends the text, as it ends a C string: padded dataset values carry them at the end.
    if (const auto nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);
    const ByteReader in(text);
    const std::size_t end = in.size();
    std::vector<std::string> items;
    std::size_t p = 0;
    auto skipBlanks = [&] {
        while (p < end && isSeparatorByte(in.u8(p))) ++p;
    };
    skipBlanks();
    while (p < end) {
        std::string item;
        if (in.u8(p) == '"') {
            ++p;
            while (p < end) {
                const char c = static_cast<char>(in.u8(p++));
                if (c != '"') {
                    item += c;
                } else if (p < end && in.u8(p) == '"') {
                    item += '"';
                    ++p;
                } else {
                    break;
                }
            }
        } else {
            // A keyword may hold blanks ("New York"): an item runs to the next comma or line break, without trailing
            // blanks.
            while (p < end && in.u8(p) != ',' && in.u8(p) >= ' ') item += static_cast<char>(in.u8(p++));
            while (!item.empty() && static_cast<unsigned char>(item.back()) <= ' ') item.pop_back();
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (p < end && in.u8(p) == ',') {
            if (p + 1 == end) items.emplace_back();
            ++p;
            skipBlanks();
        }
    }
    return items;
}

std::string joinCommaList(const std::vector<std::string>& items) {
    if (items.size() == 1 && items.front().empty()) return "\"\"";
    std::string joined;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) joined += ',';
        const std::string& item = items[i];
        bool quote = false;
        for (char c : item) {
            const auto b = static_cast<unsigned char>(c);
            if (b <= ' ' || c == '"' || c == ',') quote = true;
        }
        if (!quote) {
            joined += item;
            continue;
        }
        joined += '"';
        for (char c : item) {
            if (c == '"') joined += '"';
            joined += c;
        }
        joined += '"';
    }
    return joined;
}

IptcData::IptcData(ImgData* owner) : owner_(owner) {}

int IptcData::indexOfTag(std::string_view name) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (equalsIgnoringAsciiCase(entries_[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

void IptcData::deleteTag(std::string_view name) {
    const int index = indexOfTag(name);
    if (index >= 0) entries_.erase(entries_.begin() + index);
}

int IptcData::setTag(std::string_view name, std::string_view value) {
    if (const int index = indexOfTag(name); index >= 0) {
        if (!value.empty()) entries_[static_cast<std::size_t>(index)].text = value;
        return index;
    }
    const int row = indexOfTableName(name);
    if (row < 0) return -1;
    TagEntry entry = entryFromRow(kIptcTagTable[static_cast<std::size_t>(row)]);
    entry.text = value;
    return storeEntry(entry);
}

int IptcData::appendTag(std::string_view name, std::string_view value) {
    if (const int index = indexOfTag(name); index >= 0) {
        if (!value.empty()) {
            TagEntry& entry = entries_[static_cast<std::size_t>(index)];
            entry.text = mergeCommaLists(entry.text, value);
        }
        return index;
    }
    return setTag(name, mergeCommaLists({}, value));
}

int IptcData::storeTag(std::string_view name, std::string_view value) {
    const int row = indexOfTableName(name);
    if (row < 0) return -1;
    return isListDataset(kIptcTagTable[static_cast<std::size_t>(row)].tag) ? appendTag(name, value)
                                                                           : setTag(name, value);
}

std::string IptcData::textOfTag(std::string_view name, std::string_view defaultText) const {
    const int index = indexOfTag(name);
    return index >= 0 ? entries_[static_cast<std::size_t>(index)].text : std::string(defaultText);
}

bool IptcData::readIptcFile(const std::string& path) {
    clearEntries();
    // Reading through the container frees its own IPTC object; that must never be this one.
    if (owner_ == nullptr || owner_->iptc() == this) return false;
    owner_->readImageFile(path);
    if (const JpegSection* section = owner_->iptcSection()) parseIptcSection(section->data);
    return hasEntries();
}

void IptcData::setEntryCount(int count) {
    if (count < 0) count = 0;
    if (static_cast<std::size_t>(count) < entries_.size()) entries_.resize(static_cast<std::size_t>(count));
}

TagEntry IptcData::entryAt(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return TagEntry{};
    return entries_[static_cast<std::size_t>(index)];
}

void IptcData::clearEntries() {
    entries_.clear();
}

int IptcData::indexOfTableName(std::string_view name) {
    for (std::size_t i = 0; i < kIptcTagTable.size(); ++i) {
        if (equalsIgnoringAsciiCase(kIptcTagTable[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

int IptcData::storeEntry(const TagEntry& entry) {
    if (entry.tag == 0) return -1;
    entries_.push_back(entry);
    return entryCount() - 1;
}

void IptcData::parseIptcSection(std::string_view data) {
    clearEntries();
    const ByteReader in(data, true);
    // 0-based offsets from here on. The datasets follow the signature; without one, the scan starts after the
    // length field and the ten bytes a signature would take.
    std::size_t scan = 12;
    if (const auto at = in.data().find(kPhotoshopSignature); at != std::string_view::npos) {
        scan = at + kPhotoshopSignature.size();
    }
    // The 8BIM resource headers before the first dataset are not interpreted.
    std::size_t pos = std::string_view::npos;
    for (std::size_t i = scan; in.fits(i, 2); ++i) {
        if (in.u8(i) == kDatasetMarker && (in.u8(i + 1) == 2 || in.u8(i + 1) == 8)) {
            pos = i + 1;
            break;
        }
    }
    if (pos == std::string_view::npos) return;

    // Occurrences of a list dataset are merged as appendTag() would, but each list is split only once: a section
    // full of keywords would otherwise cost the square of its length.
    std::map<std::string, std::pair<int, CommaListBuilder>> lists;

    // Each dataset: marker 0x1C, record, dataset number, 16-bit big-endian size, value. The walk ends where a
    // complete dataset header no longer fits, or where the byte before a dataset is not a marker: that is the end
    // of the IPTC resource, and what follows (other resources, padding) is not a dataset.
    while (in.fits(pos, 4) && in.u8(pos - 1) == kDatasetMarker) {
        const unsigned record = in.u8(pos);
        const unsigned dataset = in.u8(pos + 1);
        const std::size_t size = in.u16(pos + 2);
        pos += 4;
        if (record == 2 || record == 8) {
            TagEntry entry;
            const TagRow* row = findRow(record, dataset);
            if (row != nullptr && row->name != "SKIP") {
                entry = entryFromRow(*row);
            } else {
                entry.name = "Custom_" + std::to_string(dataset);
                entry.caption = entry.name;
                entry.tag = static_cast<std::uint16_t>(dataset);
                entry.indexCode = static_cast<std::uint16_t>(record);
                entry.rawSize = kCustomMaxLength;
            }
            entry.text = in.bytesClamped(pos, size);
            if (!isListDataset(entry.tag)) {
                storeEntry(entry);
            } else if (auto known = lists.find(entry.name); known != lists.end()) {
                if (!entry.text.empty()) known->second.second.add(entry.text);
            } else if (const int index = appendTag(entry.name, entry.text); index >= 0) {
                lists.try_emplace(entry.name, index, CommaListBuilder(entries_[static_cast<std::size_t>(index)].text));
            }
        }
        pos += size + 1;
    }
    for (const auto& [name, list] : lists) entries_[static_cast<std::size_t>(list.first)].text = list.second.joined();
}

std::string IptcData::mergeCommaLists(std::string_view oldList, std::string_view newList) {
    CommaListBuilder list(oldList);
    list.add(newList);
    return list.joined();
}

std::string IptcData::textLines() const {
    std::string lines;
    for (const TagEntry& entry : entries_) lines += "\r\n" + entry.caption + " = " + entry.text;
    return lines;
}

}  // namespace morrowtide::meta
