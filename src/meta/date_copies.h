// The copies of the capture dates a JPEG carries besides its EXIF dates (XMP, extended XMP, IPTC), found in the
// sections the container kept.
#pragma once

#include <string>
#include <vector>

#include "meta/formats/date_field.h"
#include "meta/formats/jpeg_copy_dates.h"

namespace morrowtide::meta {

class ImgData;

// The kept sections as the copy locators see them: marker, payload (the bytes after the length field, as far as
// they came from the file) and the payload's place in the file.
std::vector<JpegSegmentView> segmentViews(const ImgData& data);

// The XMP and IPTC date fields of the file the container last read (file offsets).
DateFieldScan findDateCopies(const ImgData& data);

}  // namespace morrowtide::meta
