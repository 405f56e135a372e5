// SPDX-License-Identifier: GPL-3.0-or-later
// Turning raw TIFF values into numbers and display texts. Pure functions; the byte order is an argument.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "meta/tag_entry.h"

namespace morrowtide::meta {

// A format pattern that does not suit its argument, or a decoder given a text it cannot read.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::int32_t bytesToInteger(std::string_view bytes, bool bigEndian);
double numericValue(std::string_view raw, unsigned format, bool bigEndian);
// Throws FormatError when `spec` does not suit its argument.
std::string formatValue(std::string_view raw, unsigned format, std::string_view list, std::string_view spec,
                        bool bigEndian);
std::string lookupDecode(std::string_view list, std::string_view key);
std::string rationalText(std::int32_t numerator, std::int32_t denominator);
std::string printableText(std::string_view text);
std::string hexText(std::string_view bytes);
double rationalToFloat(std::string_view text);

// printf-style patterns applied safely: exactly one "%s", or exactly one floating conversion (flags, width,
// precision, f/e/g) plus literal text and "%%". Anything else throws FormatError. The decimal separator is the one
// of the current LC_NUMERIC locale.
std::string formatPattern(std::string_view spec, std::string_view text);
std::string formatPattern(std::string_view spec, double value);
// One floating conversion per value, in order.
std::string formatPattern(std::string_view spec, std::span<const double> values);

// Rounding to the nearest integer, halves to even.
std::int64_t roundHalfEven(double value);

// Decoders named by the tag tables.
std::string gpsTimeText(std::string_view text, DecodeContext& context);
std::string gpsCoordinateText(std::string_view text, DecodeContext& context);
std::string componentsText(std::string_view text, DecodeContext& context);
std::string userCommentText(std::string_view text, DecodeContext& context);
std::string flashText(std::string_view text, DecodeContext& context);
std::string shutterSpeedText(std::string_view text, DecodeContext& context);
std::string xpText(std::string_view text, DecodeContext& context);

}  // namespace morrowtide::meta
