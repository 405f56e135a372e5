// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/date_copies.h"

#include <algorithm>

#include "meta/byte_reader.h"
#include "meta/formats/iptc_dates.h"
#include "meta/img_data.h"

namespace morrowtide::meta {

std::vector<JpegSegmentView> segmentViews(const ImgData& data) {
    std::vector<JpegSegmentView> views;
    if (data.tiffMode()) return views;
    for (int i = 0; i < data.sectionCount(); ++i) {
        const JpegSection& section = data.section(i);
        // Only the bytes that came from the file: a section cut short by the end of the file holds zeros after them.
        const auto stored = static_cast<std::size_t>(std::clamp<std::int64_t>(section.storedLength, 0,
                                                                              static_cast<std::int64_t>(section.data.size())));
        if (stored < 2) continue;
        views.push_back(JpegSegmentView{section.marker, std::string_view(section.data).substr(2, stored - 2),
                                        static_cast<std::uint64_t>(section.dataOffset) + 2});
    }
    return views;
}

DateFieldScan findDateCopies(const ImgData& data) {
    DateFieldScan scan = findJpegCopyDates(segmentViews(data));
    // An IPTC record can also stand in the EXIF block itself, as the value of tag 0x83BB (IPTC-NAA).
    constexpr std::uint16_t kIptcNaaTag = 0x83BB;
    const JpegSection* exifSection = data.exifSection();
    if (data.tiffMode() || data.exif() == nullptr || exifSection == nullptr) return scan;
    const auto stored = static_cast<std::size_t>(
        std::clamp<std::int64_t>(exifSection->storedLength, 0, static_cast<std::int64_t>(exifSection->data.size())));
    for (const TagEntry& entry : data.exif()->entries) {
        if (entry.tag != kIptcNaaTag || entry.rawPos < 1 || entry.rawSize < 1) continue;
        const auto at = static_cast<std::size_t>(entry.rawPos - 1);
        const auto size = static_cast<std::size_t>(entry.rawSize);
        if (!fitsIn(stored, at, size)) continue;
        appendDateFields(scan, findIptcDatasetDates(std::string_view(exifSection->data).substr(at, size),
                                                    static_cast<std::uint64_t>(exifSection->dataOffset) + at));
    }
    return scan;
}

namespace {

// The bytes of the fields as read, served at their file offsets.
class FieldBytes final : public ByteSource {
  public:
    explicit FieldBytes(const DateCopyFields& copies) : copies_(copies) {}
    std::uint64_t size() const override {
        std::uint64_t end = 0;
        for (const DateField& field : copies_.scan.fields) end = std::max(end, field.offset + field.width);
        return end;
    }
    bool read(std::uint64_t offset, std::size_t length, std::string& out) const override {
        for (std::size_t i = 0; i < copies_.scan.fields.size(); ++i) {
            const DateField& field = copies_.scan.fields[i];
            if (field.offset != offset || field.width != length || copies_.bytes[i].size() != length) continue;
            out = copies_.bytes[i];
            return true;
        }
        return false;
    }

  private:
    const DateCopyFields& copies_;
};

// The count of moved copies and the log's words for each one left, from the reports.
void summarise(DateCopiesShift& result) {
    result.moved = 0;
    result.left.clear();
    for (const FieldReport& report : result.plan.reports) {
        if (report.outcome == DateOutcome::Shifted) {
            ++result.moved;
        } else if (report.outcome != DateOutcome::Empty) {
            result.left.push_back(describeCopy(result.scan.fields[report.field], report.before) + " (" +
                                  std::string(dateOutcomeText(report.outcome)) + ")");
        }
    }
    result.left.insert(result.left.end(), result.scan.skipped.begin(), result.scan.skipped.end());
}

}  // namespace

DateCopyFields readDateCopies(const ImgData& data) {
    DateCopyFields copies;
    copies.scan = findDateCopies(data);
    const MemoryByteSource source(data.sourceBytes());
    copies.bytes.resize(copies.scan.fields.size());
    for (std::size_t i = 0; i < copies.scan.fields.size(); ++i) {
        const DateField& field = copies.scan.fields[i];
        if (!source.read(field.offset, field.width, copies.bytes[i])) copies.bytes[i].clear();
    }
    return copies;
}

DateCopiesShift planDateCopies(const DateCopyFields& copies, const DateMapping& mapping) {
    DateCopiesShift result;
    result.scan = copies.scan;
    result.plan = shiftDateFields(copies.scan.fields, FieldBytes(copies), mapping);
    summarise(result);
    return result;
}

bool applyCopyPatches(ImgData& data, const std::vector<BytePatch>& patches) {
    return std::all_of(patches.begin(), patches.end(),
                       [&data](const BytePatch& patch) { return data.patchSection(patch.offset, patch.bytes); });
}

std::string describeCopy(const DateField& field, const std::string& value) {
    return field.group + " " + field.name + " \"" + value + "\"";
}

}  // namespace morrowtide::meta
