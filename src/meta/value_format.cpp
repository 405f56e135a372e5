// SPDX-License-Identifier: GPL-3.0-or-later
// Raw TIFF values to numbers and display texts, the safe pattern formatter and the tag decoders.
#include "meta/value_format.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "meta/ascii_case.h"

namespace morrowtide::meta {
namespace {

constexpr std::size_t kMaxElements = 128;     // elements rendered per value
constexpr std::size_t kMaxPrintable = 50;     // characters kept by printableText
constexpr std::size_t kMaxHexBytes = 16;      // bytes shown by hexText
constexpr std::size_t kMaxRationalPart = 64;  // characters taken after each ", " by the GPS decoders
constexpr int kMaxFieldWidth = 512;           // keeps a hostile pattern from asking for megabytes of padding

bool isTrimmed(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isTrimmed(text.front())) text.remove_prefix(1);
    while (!text.empty() && isTrimmed(text.back())) text.remove_suffix(1);
    return text;
}

// A decimal 32-bit integer with optional leading blanks and sign, nothing after it.
std::optional<std::int32_t> parseInt32(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// ---- the pattern formatter ----

struct Conversion {
    bool leftAlign = false;
    bool plusSign = false;
    bool blankSign = false;
    bool zeroPad = false;
    int width = 0;
    int precision = -1;  // -1: not given
    char kind = 0;       // 's', 'f', 'e', 'g', 'E', 'G'
};

// Literal text with "%%" already resolved, and the conversions between the pieces: pieces.size() == conv.size() + 1.
struct ParsedPattern {
    std::vector<std::string> pieces;
    std::vector<Conversion> conversions;
};

int readNumber(std::string_view spec, std::size_t& i) {
    int value = 0;
    while (i < spec.size() && spec[i] >= '0' && spec[i] <= '9') {
        value = value * 10 + (spec[i] - '0');
        if (value > kMaxFieldWidth) throw FormatError("format field too wide in \"" + std::string(spec) + "\"");
        ++i;
    }
    return value;
}

ParsedPattern parsePattern(std::string_view spec) {
    ParsedPattern parsed;
    parsed.pieces.emplace_back();
    for (std::size_t i = 0; i < spec.size();) {
        if (spec[i] != '%') {
            parsed.pieces.back() += spec[i++];
            continue;
        }
        ++i;
        if (i < spec.size() && spec[i] == '%') {
            parsed.pieces.back() += '%';
            ++i;
            continue;
        }
        Conversion conv;
        for (; i < spec.size(); ++i) {
            const char flag = spec[i];
            if (flag == '-') {
                conv.leftAlign = true;
            } else if (flag == '+') {
                conv.plusSign = true;
            } else if (flag == ' ') {
                conv.blankSign = true;
            } else if (flag == '0') {
                conv.zeroPad = true;
            } else {
                break;
            }
        }
        conv.width = readNumber(spec, i);
        if (i < spec.size() && spec[i] == '.') {
            ++i;
            conv.precision = readNumber(spec, i);
        }
        if (i >= spec.size()) throw FormatError("incomplete conversion in \"" + std::string(spec) + "\"");
        const char kind = spec[i++];
        const bool floating = kind == 'f' || kind == 'e' || kind == 'g' || kind == 'E' || kind == 'G';
        const bool plainText = kind == 's' && conv.width == 0 && conv.precision < 0 && !conv.leftAlign &&
                               !conv.plusSign && !conv.blankSign && !conv.zeroPad;
        if (!floating && !plainText) {
            throw FormatError("unsupported conversion in \"" + std::string(spec) + "\"");
        }
        conv.kind = kind;
        parsed.conversions.push_back(conv);
        parsed.pieces.emplace_back();
    }
    return parsed;
}

std::string localeDecimalPoint() {
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr || *conventions->decimal_point == '\0') {
        return ".";
    }
    return conventions->decimal_point;
}

// printf semantics for one floating conversion, built on to_chars so that nothing depends on varargs.
std::string formatFloating(const Conversion& conv, double value, const std::string& decimalPoint) {
    const int precision = conv.precision < 0 ? 6 : conv.precision;
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);
    std::chars_format style = std::chars_format::fixed;
    if (conv.kind == 'e' || conv.kind == 'E') style = std::chars_format::scientific;
    if (conv.kind == 'g' || conv.kind == 'G') style = std::chars_format::general;

    // The fixed form of 1e308 has 309 digits plus the precision.
    std::array<char, 400 + kMaxFieldWidth> buffer{};
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude, style, precision);
    if (error != std::errc()) throw FormatError("number does not fit its format");
    std::string digits(buffer.data(), end);
    if (conv.kind == 'E' || conv.kind == 'G') digits = asciiUpper(digits);
    if (const auto dot = digits.find('.'); dot != std::string::npos) digits.replace(dot, 1, decimalPoint);

    std::string sign;
    if (negative) {
        sign = "-";
    } else if (conv.plusSign) {
        sign = "+";
    } else if (conv.blankSign) {
        sign = " ";
    }
    const std::size_t length = sign.size() + digits.size();
    const auto width = static_cast<std::size_t>(conv.width);
    if (length >= width) return sign + digits;
    const std::string padding(width - length, conv.zeroPad && !conv.leftAlign && std::isfinite(value) ? '0' : ' ');
    if (conv.leftAlign) return sign + digits + padding;
    if (padding.front() == '0') return sign + padding + digits;
    return padding + sign + digits;
}

std::string applyPattern(std::string_view spec, const std::string* text, std::span<const double> values) {
    const ParsedPattern parsed = parsePattern(spec);
    const std::size_t wanted = text != nullptr ? 1 : values.size();
    if (parsed.conversions.size() != wanted) {
        throw FormatError("pattern \"" + std::string(spec) + "\" wants " + std::to_string(parsed.conversions.size()) +
                          " value(s), given " + std::to_string(wanted));
    }
    const std::string decimalPoint = localeDecimalPoint();
    std::string out = parsed.pieces[0];
    for (std::size_t k = 0; k < parsed.conversions.size(); ++k) {
        const Conversion& conv = parsed.conversions[k];
        if ((conv.kind == 's') != (text != nullptr)) {
            throw FormatError("pattern \"" + std::string(spec) + "\" does not suit its argument");
        }
        out += text != nullptr ? *text : formatFloating(conv, values[k], decimalPoint);
        out += parsed.pieces[k + 1];
    }
    return out;
}

// ---- decoder helpers ----

// The three ", "-separated rationals of a GPS triple. Each later part is cut to 64 characters from just after its
// comma; a missing separator leaves the missing parts at 0.
std::array<double, 3> rationalTriple(std::string_view text) {
    std::array<double, 3> parts{};
    auto comma = text.find(", ");
    parts[0] = rationalToFloat(text.substr(0, comma));
    if (comma == std::string_view::npos) return parts;
    const std::string_view rest = text.substr(comma + 1, kMaxRationalPart);
    comma = rest.find(", ");
    parts[1] = rationalToFloat(rest.substr(0, comma));
    if (comma == std::string_view::npos) return parts;
    parts[2] = rationalToFloat(rest.substr(comma + 1, kMaxRationalPart));
    return parts;
}

std::int32_t decimalOrThrow(std::string_view text, const char* what) {
    const auto value = parseInt32(text);
    if (!value) throw FormatError(std::string(what) + ": \"" + std::string(text) + "\" is not an integer");
    return *value;
}

}  // namespace

std::int32_t bytesToInteger(std::string_view bytes, bool bigEndian) {
    // Only the low 32 bits are kept, so a 32-bit accumulator gives the same result as a wider one.
    std::uint32_t accumulator = 0;
    const std::size_t count = bytes.size();
    for (std::size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(bigEndian ? bytes[i] : bytes[count - 1 - i]);
        accumulator = (accumulator << 8) | byte;
    }
    return static_cast<std::int32_t>(accumulator);
}

double numericValue(std::string_view raw, unsigned format, bool bigEndian) {
    switch (format) {
        case 1:
        case 3:
        case 4:
        case 6:
        case 8:
        case 9:
            // Deliberately all of raw: a multi-element value combines into one number.
            return bytesToInteger(raw, bigEndian);
        case 5:
        case 10: {
            const std::int32_t numerator = bytesToInteger(raw.substr(0, 4), bigEndian);
            const std::int32_t denominator =
                bytesToInteger(raw.substr(std::min<std::size_t>(4, raw.size()), 4), bigEndian);
            if (denominator == 0) return 0;
            return static_cast<double>(numerator) / denominator;
        }
        case 11: {
            if (raw.size() < 4) return 0;
            const auto bits = static_cast<std::uint32_t>(bytesToInteger(raw.substr(0, 4), bigEndian));
            const double value = std::bit_cast<float>(bits);
            return std::isfinite(value) ? value : 0;
        }
        case 12: {
            if (raw.size() < 8) return 0;
            const auto high = static_cast<std::uint32_t>(bytesToInteger(raw.substr(bigEndian ? 0 : 4, 4), bigEndian));
            const auto low = static_cast<std::uint32_t>(bytesToInteger(raw.substr(bigEndian ? 4 : 0, 4), bigEndian));
            const double value = std::bit_cast<double>((static_cast<std::uint64_t>(high) << 32) | low);
            return std::isfinite(value) ? value : 0;
        }
        default:
            return 0;
    }
}

std::string formatValue(std::string_view raw, unsigned format, std::string_view list, std::string_view spec,
                        bool bigEndian) {
    const auto size = static_cast<std::size_t>(formatSize(format));
    if (size == 0) return "0";
    const std::size_t count = std::min(raw.size() / size, kMaxElements);
    std::string out;
    for (std::size_t k = 0; k < count; ++k) {
        // A code the decode list lacks adds an empty text: leading ones leave no trace, later ones an empty field.
        if (!out.empty()) out += ", ";
        const std::string_view element = raw.substr(k * size, size);
        switch (format) {
            case 1:
            case 3:
            case 4:
            case 6:
            case 8:
            case 9: {
                const std::string number = std::to_string(bytesToInteger(element, bigEndian));
                out += list.empty() ? number : lookupDecode(list, number);
                break;
            }
            case 5:
            case 10:
                // A decode list is not applied to rationals: no list is keyed by a rational text, so the
                // rational itself is the more useful display.
                out += rationalText(bytesToInteger(element.substr(0, 4), bigEndian),
                                    bytesToInteger(element.substr(4, 4), bigEndian));
                break;
            case 11:
            case 12:
                out += "-9999.99";
                break;
            default:  // ASCII and UNDEFINED are rendered by the walker itself
                out += "?";
                break;
        }
    }
    if (spec.empty()) return out;
    if (spec.find("%s") != std::string_view::npos) return formatPattern(spec, out);
    return formatPattern(spec, numericValue(raw, format, bigEndian));
}

std::string lookupDecode(std::string_view list, std::string_view key) {
    const std::string needle = "," + std::string(trimmed(key)) + ":";
    const std::string haystack = "," + std::string(list) + ",";
    const auto at = haystack.find(needle);
    if (at == std::string::npos) return {};
    const auto start = at + needle.size();
    return haystack.substr(start, haystack.find(',', start) - start);
}

std::string rationalText(std::int32_t numerator, std::int32_t denominator) {
    return std::to_string(numerator) + "/" + std::to_string(denominator);
}

std::string printableText(std::string_view text) {
    std::string out(text.substr(0, kMaxPrintable));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 32) c = '.';
    }
    return out;
}

std::string hexText(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < std::min(bytes.size(), kMaxHexBytes); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
        out += ' ';
    }
    if (bytes.size() > kMaxHexBytes) out += "...";
    return out;
}

double rationalToFloat(std::string_view text) {
    text = trimmed(text);
    std::int32_t whole = 0;
    if (const auto blank = text.find(' '); blank != std::string_view::npos) {
        const auto parsed = parseInt32(text.substr(0, blank));
        if (!parsed) return 0;
        whole = *parsed;
        text.remove_prefix(blank + 1);
    }
    const auto slash = text.find('/');
    if (slash == std::string_view::npos) return 0;
    const auto numerator = parseInt32(text.substr(0, slash));
    const auto denominator = parseInt32(text.substr(slash + 1));
    if (!numerator || !denominator || *denominator == 0) return 0;
    // The sum wraps like 32-bit arithmetic; done unsigned to keep it defined.
    const auto sum =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(whole) * static_cast<std::uint32_t>(*denominator) +
                                  static_cast<std::uint32_t>(*numerator));
    return static_cast<double>(sum) / *denominator;
}

std::string formatPattern(std::string_view spec, std::string_view text) {
    const std::string argument(text);
    return applyPattern(spec, &argument, {});
}

std::string formatPattern(std::string_view spec, double value) {
    return applyPattern(spec, nullptr, {&value, 1});
}

std::string formatPattern(std::string_view spec, std::span<const double> values) {
    return applyPattern(spec, nullptr, values);
}

std::int64_t roundHalfEven(double value) {
    // Beyond 2^63 there is no int64 to give; callers check the range first.
    if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) throw FormatError("number out of integer range");
    const double floor = std::floor(value);
    const double fraction = value - floor;
    auto result = static_cast<std::int64_t>(floor);
    if (fraction > 0.5 || (fraction == 0.5 && (result % 2 != 0))) ++result;
    return result;
}

std::string gpsTimeText(std::string_view text, DecodeContext&) {
    const auto parts = rationalTriple(text);
    return formatPattern("%0.0f:%0.0f:%0.0f", parts);
}

std::string gpsCoordinateText(std::string_view text, DecodeContext&) {
    auto [degrees, minutes, seconds] = rationalTriple(text);
    if (seconds == 0) {
        // Minutes given as a decimal fraction (51.23'): carry the fraction into seconds.
        const double wholeMinutes = std::trunc(minutes);
        seconds = (minutes - wholeMinutes) * 100 * 0.6;
        minutes = wholeMinutes;
    }
    const std::array<double, 3> values = {degrees, minutes, seconds};
    return formatPattern("%0.0f Degrees %0.0f Minutes %0.0f Seconds", values);
}

std::string componentsText(std::string_view text, DecodeContext&) {
    static constexpr std::array<std::string_view, 7> kNames = {"", "Y", "Cb", "Cr", "R", "G", "B"};
    std::string out;
    // Position 0 is the opening double quote of the walker's rendering.
    for (std::size_t i = 1; i <= 4 && i < text.size(); ++i) {
        const auto code = static_cast<unsigned char>(text[i]);
        if (code < kNames.size()) out += kNames[code];
    }
    return out;
}

std::string userCommentText(std::string_view text, DecodeContext&) {
    // The first eight bytes name the character code.
    return text.size() > 8 ? std::string(text.substr(8)) : std::string();
}

std::string flashText(std::string_view text, DecodeContext&) {
    const std::int32_t v = decimalOrThrow(text, "Flash");
    std::string out = (v & 1) != 0 ? "On" : "Off";
    switch (v & 6) {
        case 2:
            out += ", UNKNOWN";
            break;
        case 4:
            out += ", no strobe return";
            break;
        case 6:
            out += ", strobe return";
            break;
        default:
            break;
    }
    switch (v & 24) {
        case 8:
            out += ", forced";
            break;
        case 16:
            out += ", surpressed";
            break;
        case 24:
            out += ", auto mode";
            break;
        default:
            break;
    }
    if ((v & 32) != 0) out += ", no flash function";
    if ((v & 64) != 0) out += ", red-eye reduction";
    return out;
}

std::string shutterSpeedText(std::string_view text, DecodeContext&) {
    const double apex = rationalToFloat(text);
    const double seconds = 1 / std::exp(apex * std::log(2.0));
    std::string out = formatPattern("%4.4f sec", seconds);
    if (seconds <= 0.5) {
        // A huge APEX value makes the fraction unrepresentable; then only the seconds are shown.
        const double denominator = 1 / seconds;
        if (std::isfinite(denominator) && denominator < 9.2e18) {
            out += " (1/" + std::to_string(roundHalfEven(denominator)) + ")";
        }
    }
    return out;
}

std::string xpText(std::string_view text, DecodeContext&) {
    // Low bytes of the UTF-16LE code units only; the field after the last comma is never read.
    std::string out;
    const auto commas = static_cast<std::size_t>(std::count(text.begin(), text.end(), ','));
    std::size_t start = 0;
    for (std::size_t i = 1; i <= commas; ++i) {
        const std::size_t end = text.find(',', start);
        if (i % 2 == 1) {
            const std::int32_t v = decimalOrThrow(text.substr(start, end - start), "XP text");
            if ((v & 255) != 0) out += static_cast<char>(v & 255);
        }
        start = end + 1;
    }
    return out;
}

}  // namespace morrowtide::meta
