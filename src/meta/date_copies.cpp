#include "meta/date_copies.h"

#include <algorithm>

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
    return findJpegCopyDates(segmentViews(data));
}

std::string describeCopy(const DateField& field, const std::string& value) {
    return field.group + " " + field.name + " \"" + value + "\"";
}

}  // namespace morrowtide::meta
