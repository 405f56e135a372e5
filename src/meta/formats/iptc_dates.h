// SPDX-License-Identifier: GPL-3.0-or-later
// Where the IPTC copies of the capture dates lie: Date Created + Time Created (2:55, 2:60, Original) and Digital
// Creation Date + Time (2:62, 2:63, Digitized). Each date is paired with its time (DateField::partner) so the two
// move together.
#pragma once

#include <cstdint>
#include <string_view>

#include "meta/formats/date_field.h"

namespace morrowtide::meta {

// The signature that starts a JPEG APP13 payload (after the length field) holding image resources, zero included.
inline constexpr std::string_view kPhotoshopApp13Signature{"Photoshop 3.0\0", 14};

// The date datasets of raw IPTC-IIM data (a sequence of 0x1C-tagged datasets, as in resource 0x0404 or in TIFF tag
// 33723) whose first byte lies at `fileOffset`. IptcDate fields are named "DateCreated" and "DigitalCreationDate",
// IptcTime fields "TimeCreated" and "DigitalCreationTime", group "IPTC". The n-th date of a kind pairs with the n-th
// time of the same kind. The walk stops at the first byte that is not a dataset marker; a dataset whose value runs
// past the end is not taken.
DateFieldScan findIptcDatasetDates(std::string_view iim, std::uint64_t fileOffset);

// The same inside every IPTC resource (0x0404) of a Photoshop image-resource block (a sequence of "8BIM"
// resources, as after kPhotoshopApp13Signature or in TIFF tag 34377). A resource that runs past the end ends the walk;
// the dates in it are left alone and named in `skipped`.
DateFieldScan findIptcResourceDates(std::string_view resources, std::uint64_t fileOffset);

// The same for a JPEG APP13 payload (the bytes after the section's length field) starting at `payloadFileOffset`;
// no fields when it does not start with kPhotoshopApp13Signature.
DateFieldScan findApp13IptcDates(std::string_view payload, std::uint64_t payloadFileOffset);

}  // namespace morrowtide::meta
