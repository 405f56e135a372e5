// SPDX-License-Identifier: GPL-3.0-or-later
// Builders of synthetic XMP packets and IPTC blocks for the date-field tests.
//
//   std::string xmp = XmpBuilder().attribute("xmp:CreateDate", "2005-06-01T10:00:00")
//                                 .element("exif:DateTimeOriginal", "2005-06-01T10:00:00+02:00").build();
//   std::string app13 = IptcBuilder().dataset(2, 55, "20051231").dataset(2, 60, "233000+0200").app13Payload();
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "meta/formats/date_field.h"

namespace morrowtide::test {

// An XMP packet: the xpacket wrapper, x:xmpmeta, rdf:RDF and one or more rdf:Description elements. Each
// Description binds xmp, exif, tiff, photoshop, xmpMM and stEvt to their usual URIs unless told otherwise.
class XmpBuilder {
  public:
    XmpBuilder& withoutStandardPrefixes();
    // xmlns:prefix="uri" on the current Description (prefix "" gives the default namespace).
    XmpBuilder& bind(std::string_view prefix, std::string_view uri);
    // qname="value" on the current Description.
    XmpBuilder& attribute(std::string_view qname, std::string_view value);
    // <qname>value</qname> inside the current Description.
    XmpBuilder& element(std::string_view qname, std::string_view value);
    // Markup as given inside the current Description.
    XmpBuilder& raw(std::string_view markup);
    // Starts another rdf:Description.
    XmpBuilder& description();

    std::string build() const;

  private:
    struct Description {
        std::vector<std::pair<std::string, std::string>> attributes;
        std::string body;
    };
    Description& current();
    bool standardPrefixes_ = true;
    std::vector<Description> descriptions_;
};

// The payload of an extended-XMP APP1 section (signature, GUID, full length, part offset, bytes).
std::string extendedXmpPayload(std::string_view guid, std::uint32_t fullLength, std::uint32_t partOffset,
                               std::string_view bytes);

// IPTC datasets, wrapped as the IPTC resource of a Photoshop resource block.
class IptcBuilder {
  public:
    // 0x1C, record, number, 16-bit size, value.
    IptcBuilder& dataset(std::uint8_t record, std::uint8_t number, std::string_view value);
    // The same with the extended size form (a 4-byte length).
    IptcBuilder& extendedDataset(std::uint8_t record, std::uint8_t number, std::string_view value);
    // Bytes as given.
    IptcBuilder& raw(std::string_view bytes);

    std::string iim() const { return iim_; }
    // A thumbnail-like resource with an odd-length name and odd size first (to exercise padding), then 0x0404.
    std::string resources() const;
    // "Photoshop 3.0\0" + resources().
    std::string app13Payload() const;

  private:
    std::string iim_;
};

// The dates a photo made by jpegWithDateCopies carries. An empty `exif` leaves the EXIF section out.
struct DateCopyValues {
    std::string exif = "2005:06:01 10:00:00";                 // DateTime and DateTimeOriginal
    std::string xmpCreate = "2005-06-01T10:00:00+02:00";      // xmp:CreateDate, an attribute
    std::string xmpOriginal = "2005-06-01T10:00:00.25Z";      // exif:DateTimeOriginal, an element
    std::string photoshopDate = "2005-06-01";                 // photoshop:DateCreated, date only
    std::string modifyDate = "yesterday";                     // xmp:ModifyDate, unreadable
    std::string metadataDate = "2005-06-01T10:00:00";         // xmp:MetadataDate, never moved
    std::string extendedCreate = "2005-06-01T10:00:00";       // exif:DateTimeDigitized in the extended packet
    std::string iptcDate = "20051231", iptcTime = "233000+0200";  // 2:55 and 2:60
};

// The default DateCopyValues as a run of one hour forward leaves them: the date-only, unreadable and never-moved
// values as they were.
DateCopyValues dateCopiesAnHourLater();

// A JPEG with the dates in EXIF, XMP, extended XMP (two parts) and IPTC, its sections in the order the writer
// keeps (EXIF, APP13, XMP, the extended parts, the image), so that a corrected copy has the very same layout.
// `padding` bytes after the image make the file larger than the reader's first read.
std::string jpegWithDateCopies(const DateCopyValues& values, std::size_t padding = 0);

// `bytes` with every patch written in place (offsets relative to `bytes`' first byte minus `base`).
std::string applyPatches(std::string bytes, const std::vector<morrowtide::meta::BytePatch>& patches,
                         std::uint64_t base = 0);

}  // namespace morrowtide::test
