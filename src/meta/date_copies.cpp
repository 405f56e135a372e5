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

DateCopiesShift shiftDateCopies(ImgData& data, const DateMapping& mapping) {
    DateCopiesShift result;
    result.scan = findDateCopies(data);
    result.plan = shiftDateFields(result.scan.fields, MemoryByteSource(data.sourceBytes()), mapping);
    for (const BytePatch& patch : result.plan.patches) {
        // Every field lies inside one kept section by construction; a patch that would not is not written.
        if (!data.patchSection(patch.offset, patch.bytes)) {
            for (FieldReport& report : result.plan.reports) {
                if (result.scan.fields[report.field].offset == patch.offset) report.outcome = DateOutcome::Unreadable;
            }
        }
    }
    for (const FieldReport& report : result.plan.reports) {
        if (report.outcome == DateOutcome::Shifted) {
            ++result.moved;
        } else if (report.outcome != DateOutcome::Empty) {
            result.left.push_back(describeCopy(result.scan.fields[report.field], report.before) + " (" +
                                  std::string(dateOutcomeText(report.outcome)) + ")");
        }
    }
    result.left.insert(result.left.end(), result.scan.skipped.begin(), result.scan.skipped.end());
    return result;
}

std::string describeCopy(const DateField& field, const std::string& value) {
    return field.group + " " + field.name + " \"" + value + "\"";
}

}  // namespace morrowtide::meta
