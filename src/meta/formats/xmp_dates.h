// SPDX-License-Identifier: GPL-3.0-or-later
// Where the capture dates of an XMP packet lie. A bounded scanner, not an XML library: it resolves every namespace
// prefix through its xmlns declarations, reads each date property written as an attribute or as an element, and
// passes over comments, CDATA sections, processing instructions and the values of other properties, so a property
// name quoted inside a value is never taken for the property.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "meta/formats/date_field.h"

namespace morrowtide::meta {

// The namespace URIs of the date properties, as the packet must bind them.
inline constexpr std::string_view kXmpNamespaceXmp = "http://ns.adobe.com/xap/1.0/";
inline constexpr std::string_view kXmpNamespaceExif = "http://ns.adobe.com/exif/1.0/";
inline constexpr std::string_view kXmpNamespaceTiff = "http://ns.adobe.com/tiff/1.0/";
inline constexpr std::string_view kXmpNamespacePhotoshop = "http://ns.adobe.com/photoshop/1.0/";

// The signatures that start a JPEG APP1 payload (after the length field) holding XMP, zero byte included.
inline constexpr std::string_view kXmpApp1Signature{"http://ns.adobe.com/xap/1.0/\0", 29};
inline constexpr std::string_view kExtendedXmpApp1Signature{"http://ns.adobe.com/xmp/extension/\0", 35};

// The date properties found in an XMP packet, as Iso8601 fields: xmp:ModifyDate and tiff:DateTime (Modified),
// exif:DateTimeOriginal and photoshop:DateCreated (Original), xmp:CreateDate and exif:DateTimeDigitized
// (Digitized). Every other property (xmp:MetadataDate, the xmpMM:History times, ...) is left alone. `packet` is the
// packet's bytes, `fileOffset` where its first byte lies in the file; each field's offset and width cover the
// value's text without surrounding blanks. Each field's name is the canonical one ("xmp:CreateDate"), whatever
// prefix the packet uses; its group is "XMP-xmp", "XMP-exif", "XMP-tiff" or "XMP-photoshop".
// Broken XML ends the scan where it breaks: what was found before stays; `problem` stays empty, since each field
// found is a complete value in its own right. Work is linear in the packet's size.
DateFieldScan findXmpDates(std::string_view packet, std::uint64_t fileOffset);

// One part of an extended XMP packet, as carried by a JPEG APP1 after kExtendedXmpApp1Signature.
struct ExtendedXmpPart {
    std::string_view guid;       // 32 characters naming the packet the part belongs to
    std::uint32_t fullLength = 0;  // of the whole extended packet
    std::uint32_t partOffset = 0;  // where this part's bytes lie in the whole packet
    std::string_view bytes;      // the part's bytes
    std::uint64_t fileOffset = 0;  // where `bytes` starts in the file
};

// The part carried by an APP1 payload (the bytes after the section's length field), whose first byte lies at
// `payloadFileOffset`; nullopt when the payload is not an extended-XMP part or its header is cut short.
std::optional<ExtendedXmpPart> readExtendedXmpPart(std::string_view payload, std::uint64_t payloadFileOffset);

// The date properties of one extended packet from its parts (all with the same GUID, in any order). The parts are
// joined and scanned as one packet; a field that lies wholly inside one part is found at its place in the file, a
// field split across two parts is left and named in `skipped`. Parts that do not join up into the whole packet
// (missing, overlapping or out-of-range parts) leave the packet alone: no fields, a `problem`.
DateFieldScan findExtendedXmpDates(const std::vector<ExtendedXmpPart>& parts);

}  // namespace morrowtide::meta
