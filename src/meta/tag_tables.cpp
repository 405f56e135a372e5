// SPDX-License-Identifier: GPL-3.0-or-later
// The constant tag tables of the EXIF reader, the JPEG section names and the table lookups.
#include "meta/tag_tables.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <string>
#include <string_view>

#include "meta/ascii_case.h"
#include "meta/value_format.h"

namespace morrowtide::meta {
namespace {

// Texts are Windows-1252 bytes: the degree sign is the single byte 0xB0.
constexpr std::array<TagRow, 251> kExifTagTable = {{
    {0x0001, "InteroperabilityIndex"},
    {0x0002, "InteroperabilityVersion"},
    {0x000B, "ACDComment"},
    {0x00FE, "NewSubfileType"},
    {0x00FF, "SubfileType"},
    {0x0100, "ImageWidth"},
    {0x0101, "ImageLength"},
    {0x0102, "BitsPerSample"},
    {.tag = 0x0103, .name = "Compression", .decodeList = "6:Jpeg,3:Uncompressed,1:TIFF"},
    {.tag = 0x0106, .name = "PhotometricInterpretation", .decodeList = "1:Monochrome,2:RGB,6:YCbCr"},
    {0x010A, "FillOrder"},
    {0x010D, "DocumentName"},
    {0x010E, "ImageDescription"},
    {0x010F, "Make"},
    {0x0110, "Model"},
    {0x0111, "StripOffsets"},
    {.tag = 0x0112,
     .name = "Orientation",
     .decodeList = "1:Normal,3:Rotated 180\xB0,6:CounterClockwise 90\xB0,8:Clockwise 90\xB0"},
    {0x0115, "SamplesPerPixel"},
    {0x0116, "RowsPerStrip"},
    {0x0117, "StripByteCounts"},
    {0x0118, "MinSampleValue"},
    {0x0119, "MaxSampleValue"},
    {.tag = 0x011A, .name = "XResolution", .formatSpec = "%5.2f"},
    {.tag = 0x011B, .name = "YResolution", .formatSpec = "%5.2f"},
    {0x011C, "PlanarConfiguration"},
    {0x011D, "PageName"},
    {0x011E, "XPosition"},
    {0x011F, "YPosition"},
    {0x0120, "FreeOffsets"},
    {0x0121, "FreeByteCounts"},
    {0x0122, "GrayReponseUnit"},
    {0x0123, "GrayReponseCurve"},
    {0x0124, "T4Options"},
    {0x0125, "T6Options"},
    {.tag = 0x0128, .name = "ResolutionUnit", .decodeList = "1:None Specified,2:Inch,3:Centimeter"},
    {0x0129, "PageNumber"},
    {0x012D, "TransferFunction"},
    {0x0131, "Software"},
    {0x0132, "DateTime"},
    {0x013B, "Artist"},
    {0x013C, "HostComputer"},
    {0x013D, "Predictor"},
    {0x013E, "WhitePoint"},
    {0x013F, "PrimaryChromaticities"},
    {0x0140, "ColorMap"},
    {0x0141, "HalfToneHints"},
    {0x0142, "TileWidth"},
    {0x0143, "TileLength"},
    {0x0144, "TileOffsets"},
    {0x0145, "TileByteCounts"},
    {0x014A, "SubIFDs"},
    {0x014C, "InkSet"},
    {0x014D, "InkNames"},
    {0x014E, "NumberOfInks"},
    {0x0150, "DotRange"},
    {0x0151, "TargetPrinter"},
    {0x0152, "ExtraSample"},
    {0x0153, "SampleFormat"},
    {0x0154, "SMinSampleValue"},
    {0x0155, "SMaxSampleValue"},
    {0x0156, "TransferRange"},
    {0x0157, "ClipPath"},
    {0x0158, "XClipPathUnits"},
    {0x0159, "YClipPathUnits"},
    {0x015A, "Indexed"},
    {0x015B, "JPEGTables"},
    {0x015F, "OPIProxy"},
    {0x0200, "JPEGProc"},
    {0x0201, "JPEGInterchangeFormat"},
    {0x0202, "JPEGInterchangeFormatLength"},
    {0x0203, "JPEGRestartInterval"},
    {0x0205, "JPEGLosslessPredictors"},
    {0x0206, "JPEGPointTransforms"},
    {0x0207, "JPEGQTables"},
    {0x0208, "JPEGDCTables"},
    {0x0209, "JPEGACTables"},
    {0x0211, "YCbCrCoefficients"},
    {0x0212, "YCbCrSubSampling"},
    {.tag = 0x0213, .name = "YCbCrPositioning", .decodeList = "1:Centered,2:Co-sited"},
    {0x0214, "ReferenceBlackWhite"},
    {0x02BC, "ExtensibleMetadataPlatform"},
    {0x0301, "Gamma"},
    {0x0302, "ICCProfileDescriptor"},
    {0x0303, "SRGBRenderingIntent"},
    {0x0304, "ImageTitle"},
    {0x1000, "RelatedImageFileFormat"},
    {0x1001, "RelatedImageWidth"},
    {0x1002, "RelatedImageHeight"},
    {0x5001, "ResolutionXUnit"},
    {0x5002, "ResolutionYUnit"},
    {0x5003, "ResolutionXLengthUnit"},
    {0x5004, "ResolutionYLengthUnit"},
    {0x5005, "PrintFlags"},
    {0x5006, "PrintFlagsVersion"},
    {0x5007, "PrintFlagsCrop"},
    {0x5008, "PrintFlagsBleedWidth"},
    {0x5009, "PrintFlagsBleedWidthScale"},
    {0x500A, "HalftoneLPI"},
    {0x500B, "HalftoneLPIUnit"},
    {0x500C, "HalftoneDegree"},
    {0x500D, "HalftoneShape"},
    {0x500E, "HalftoneMisc"},
    {0x500F, "HalftoneScreen"},
    {0x5010, "JPEGQuality"},
    {0x5011, "GridSize"},
    {0x5012, "ThumbnailFormat"},
    {0x5013, "ThumbnailWidth"},
    {0x5014, "ThumbnailHeight"},
    {0x5015, "ThumbnailColorDepth"},
    {0x5016, "ThumbnailPlanes"},
    {0x5017, "ThumbnailRawBytes"},
    {0x5018, "ThumbnailSize"},
    {0x5019, "ThumbnailCompressedSize"},
    {0x501A, "ColorTransferFunction"},
    {0x501B, "ThumbnailData"},
    {0x5020, "ThumbnailImageWidth"},
    {0x5021, "ThumbnailImageHeight"},
    {0x5022, "ThumbnailBitsPerSample"},
    {0x5023, "ThumbnailCompression"},
    {0x5024, "ThumbnailPhotometricInterp"},
    {0x5025, "ThumbnailImageDescription"},
    {0x5026, "ThumbnailEquipMake"},
    {0x5027, "ThumbnailEquipModel"},
    {0x5028, "ThumbnailStripOffsets"},
    {0x5029, "ThumbnailOrientation"},
    {0x502A, "ThumbnailSamplesPerPixel"},
    {0x502B, "ThumbnailRowsPerStrip"},
    {0x502C, "ThumbnailStripBytesCount"},
    {0x502D, "ThumbnailResolutionX"},
    {0x502E, "ThumbnailResolutionY"},
    {0x502F, "ThumbnailPlanarConfig"},
    {0x5030, "ThumbnailResolutionUnit"},
    {0x5031, "ThumbnailTransferFunction"},
    {0x5032, "ThumbnailSoftwareUsed"},
    {0x5033, "ThumbnailDateTime"},
    {0x5034, "ThumbnailArtist"},
    {0x5035, "ThumbnailWhitePoint"},
    {0x5036, "ThumbnailPrimaryChromaticities"},
    {0x5037, "ThumbnailYCbCrCoefficients"},
    {0x5038, "ThumbnailYCbCrSubsampling"},
    {0x5039, "ThumbnailYCbCrPositioning"},
    {0x503A, "ThumbnailRefBlackWhite"},
    {0x503B, "ThumbnailCopyRight"},
    {0x5090, "LuminanceTable"},
    {0x5091, "ChrominanceTable"},
    {0x5100, "FrameDelay"},
    {0x5101, "LoopCount"},
    {0x5110, "PixelUnit"},
    {0x5111, "PixelPerUnitX"},
    {0x5112, "PixelPerUnitY"},
    {0x5113, "PaletteHistogram"},
    {0x800D, "ImageID"},
    {0x80E3, "Matteing"},
    {0x80E4, "DataType"},
    {0x80E5, "ImageDepth"},
    {0x80E6, "TileDepth"},
    {0x828D, "CFARepeatPatternDim"},
    {0x828E, "CFAPattern"},
    {0x828F, "BatteryLevel"},
    {0x8298, "Copyright"},
    {.tag = 0x829A, .name = "ExposureTime", .formatSpec = "%s sec"},
    {.tag = 0x829D, .name = "FNumber", .formatSpec = "F%0.1f"},
    {.tag = 0x83BB, .name = "IPTC/NAA", .caption = "IPTC/NAA"},
    {0x84E3, "IT8RasterPadding"},
    {0x84E5, "IT8ColorTable"},
    {0x8649, "ImageResourceInformation"},
    {0x8769, "ExifOffset"},
    {0x8773, "InterColorProfile"},
    {.tag = 0x8822,
     .name = "ExposureProgram",
     .decodeList = "0:Unidentified,1:Manual,2:Normal,3:Aperture priority,4:Shutter "
                   "priority,5:Creative(slow),6:Action(high-speed),7:Portrait mode,8:Landscape mode"},
    {0x8824, "SpectralSensitivity"},
    {0x8825, "GPSInfo"},
    {0x8827, "ISOSpeedRatings"},
    {0x8828, "OECF"},
    {0x8829, "Interlace"},
    {0x882A, "TimeZoneOffset"},
    {0x882B, "SelfTimerMode"},
    {0x9000, "ExifVersion"},
    {0x9003, "DateTimeOriginal"},
    {0x9004, "DateTimeDigitized"},
    {.tag = 0x9101, .name = "ComponentsConfiguration", .decoder = &componentsText},
    {0x9102, "CompressedBitsPerPixel"},
    {.tag = 0x9201, .name = "ShutterSpeedValue", .decoder = &shutterSpeedText},
    {.tag = 0x9202, .name = "ApertureValue", .formatSpec = "F%0.1f"},
    {0x9203, "BrightnessValue"},
    {0x9204, "ExposureBiasValue"},
    {.tag = 0x9205, .name = "MaxApertureValue", .formatSpec = "F%0.1f"},
    {0x9206, "SubjectDistance"},
    {.tag = 0x9207,
     .name = "MeteringMode",
     .decodeList = "0:Unknown,1:Average,2:Center,3:Spot,4:MultiSpot,5:MultiSegment,6:Partial"},
    {.tag = 0x9208,
     .name = "LightSource",
     .decodeList = "0:Unidentified,1:Daylight,2:Fluorescent,3:Tungsten,10:Flash,17:Std A,18:Std B,19:Std C"},
    {.tag = 0x9209, .name = "Flash", .decoder = &flashText},
    {.tag = 0x920A, .name = "FocalLength", .formatSpec = "%5.2f mm"},
    {0x920B, "FlashEnergy"},
    {0x920C, "SpatialFrequencyResponse"},
    {0x920D, "Noise"},
    {0x920E, "FocalPlaneXResolution"},
    {0x920F, "FocalPlaneYResolution"},
    {.tag = 0x9210, .name = "FocalPlaneResolutionUnit", .decodeList = "1:None Specified,2:Inch,3:Centimeter"},
    {0x9211, "ImageNumber"},
    {0x9212, "SecurityClassification"},
    {0x9213, "ImageHistory"},
    {0x9214, "SubjectLocation"},
    {0x9215, "ExposureIndex"},
    {0x9216, "TIFF/EPStandardID"},
    {0x9217, "SensingMethod"},
    {0x923F, "StoNits"},
    {0x927C, "MakerNote"},
    {.tag = 0x9286, .name = "UserComment", .decoder = &userCommentText},
    {0x9290, "SubSecTime"},
    {0x9291, "SubSecTimeOriginal"},
    {0x9292, "SubSecTimeDigitized"},
    {0x953C, "ImageSourceData"},
    {.tag = 0x9C9B, .name = "Title", .decoder = &xpText},
    {.tag = 0x9C9C, .name = "Comments", .decoder = &xpText},
    {.tag = 0x9C9D, .name = "Author", .decoder = &xpText},
    {.tag = 0x9C9E, .name = "Keywords", .decoder = &xpText},
    {.tag = 0x9C9F, .name = "Subject", .decoder = &xpText},
    {0xA000, "FlashPixVersion"},
    {.tag = 0xA001, .name = "ColorSpace", .decodeList = "0:sBW,1:sRGB"},
    {0xA002, "ExifImageWidth"},
    {0xA003, "ExifImageLength"},
    {0xA004, "RelatedSoundFile"},
    {0xA005, "InteroperabilityOffset"},
    {0xA20B, "FlashEnergy"},
    {0xA20C, "SpatialFrequencyResponse"},
    {0xA20E, "FocalPlaneXResolution"},
    {0xA20F, "FocalPlaneYResolution"},
    {.tag = 0xA210, .name = "FocalPlaneResolutionUnit", .decodeList = "1:None Specified,2:Inch,3:Centimeter"},
    {0xA211, "ImageNumber"},
    {0xA212, "SecurityClassification"},
    {0xA213, "ImageHistory"},
    {0xA214, "SubjectLocation"},
    {0xA215, "ExposureIndex"},
    {.tag = 0xA216, .name = "TIFF/EPStandardID", .caption = "TIFF/EPStandardID"},
    {.tag = 0xA217,
     .name = "SensingMethod",
     .decodeList = "0:Unknown,1:MonochromeArea,2:OneChipColorArea,3:TwoChipColorArea,4:ThreeChipColorArea,5:"
                   "ColorSequentialArea,6:MonochromeLinear,7:TriLinear,8:ColorSequentialLinear"},
    {.tag = 0xA300, .name = "FileSource", .decodeList = "1:Unknown,3:Digital Still Camera"},
    {.tag = 0xA301, .name = "SceneType", .decodeList = "0:Unknown,1:Directly Photographed"},
    {0xA302, "CFAPattern"},
    {.tag = 0xA401, .name = "CustomRendered", .decodeList = "0:Normal process,1:Custom process"},
    {.tag = 0xA402, .name = "ExposureMode", .decodeList = "0:Auto,1:Manual,2:Auto bracket"},
    {.tag = 0xA403, .name = "WhiteBalance", .decodeList = "0:Auto,1:Manual"},
    {0xA404, "DigitalZoomRatio"},
    {.tag = 0xA405, .name = "FocalLengthin35mmFilm", .caption = "Focal Length in 35mm Film", .formatSpec = "%5.2f mm"},
    {.tag = 0xA406, .name = "SceneCaptureType", .decodeList = "0:Standard,1:Landscape,2:Portrait,3:Night scene"},
    {.tag = 0xA407,
     .name = "GainControl",
     .decodeList = "0:None,1:Low gain up,2:High gain up,3:Low gain down,4:High gain down"},
    {.tag = 0xA408, .name = "Contrast", .decodeList = "0:Normal,1:Soft,2:Hard"},
    {.tag = 0xA409, .name = "Saturation", .decodeList = "0:Normal,1:Low,2:High"},
    {.tag = 0xA40A, .name = "Sharpness", .decodeList = "0:Normal,1:Soft,2:Hard"},
    {0xA40B, "DeviceSettingDescription"},
    {.tag = 0xA40C, .name = "SubjectDistanceRange", .decodeList = "0:Unknown,1:Macro,2:Close view,3:Distant view"},
    {0xA420, "ImageUniqueID"},
    {.tag = 0x0000, .name = "Unknown"},  // what a failed tag lookup yields; never searched itself
}};

constexpr std::array<TagRow, 31> kGpsTagTable = {{
    {0x00, "GPSVersionID"},
    {0x01, "GPSLatitudeRef"},
    {.tag = 0x02, .name = "GPSLatitude", .decoder = &gpsCoordinateText},
    {0x03, "GPSLongitudeRef"},
    {.tag = 0x04, .name = "GPSLongitude", .decoder = &gpsCoordinateText},
    {.tag = 0x05, .name = "GPSAltitudeRef", .decodeList = "0:Sealevel"},
    {0x06, "GPSAltitude"},
    {.tag = 0x07, .name = "GPSTimeStamp", .decoder = &gpsTimeText},
    {0x08, "GPSSatellites"},
    {0x09, "GPSStatus"},
    {0x0A, "GPSMeasureMode"},
    {0x0B, "GPSDOP"},
    {0x0C, "GPSSpeedRef"},
    {0x0D, "GPSSpeed"},
    {0x0E, "GPSTrackRef"},
    {0x0F, "GPSTrack"},
    {0x10, "GPSImageDirectionRef"},
    {0x11, "GPSImageDirection"},
    {0x12, "GPSMapDatum"},
    {0x13, "GPSDestLatitudeRef"},
    {.tag = 0x14, .name = "GPSDestLatitude", .decoder = &gpsCoordinateText},
    {0x15, "GPSDestLongitudeRef"},
    {.tag = 0x16, .name = "GPSDestLongitude", .decoder = &gpsCoordinateText},
    {0x17, "GPSDestBearingkRef"},
    {0x18, "GPSDestBearing"},
    {0x19, "GPSDestDistanceRef"},
    {0x1A, "GPSDestDistance"},
    {0x1B, "GPSProcessingMode"},
    {0x1C, "GPSAreaInformation"},
    {0x1D, "GPSDateStamp"},
    {0x1E, "GPSDifferential"},
}};

// Marker code -> section type. Deliberately in this order (0xCD before 0xCC, 0xFE before 0xED); nothing searches it
// by position, but callers may list it as it stands.
constexpr std::array<TagRow, 30> kSectionNameTable = {{
    {.tag = 0xC0, .name = "", .caption = "Baseline"},
    {.tag = 0xC1, .name = "", .caption = "Extended sequential"},
    {.tag = 0xC2, .name = "", .caption = "Progressive"},
    {.tag = 0xC3, .name = "", .caption = "Lossless"},
    {.tag = 0xC4, .name = "", .caption = "Define Huffman table"},
    {.tag = 0xC5, .name = "", .caption = "Differential sequential"},
    {.tag = 0xC6, .name = "", .caption = "Differential progressive"},
    {.tag = 0xC7, .name = "", .caption = "Differential lossless"},
    {.tag = 0xC9, .name = "", .caption = "Extended sequential, arithmetic coding"},
    {.tag = 0xCA, .name = "", .caption = "Progressive, arithmetic coding"},
    {.tag = 0xCB, .name = "", .caption = "Lossless, arithmetic coding"},
    {.tag = 0xCD, .name = "", .caption = "Differential sequential, arithmetic coding"},
    {.tag = 0xCC, .name = "", .caption = "Define arithmetic coding conditioning"},
    {.tag = 0xCE, .name = "", .caption = "Differential progressive, arithmetic coding"},
    {.tag = 0xCF, .name = "", .caption = "Differential lossless, arithmetic coding"},
    {.tag = 0xD8, .name = "", .caption = "Start of Image"},
    {.tag = 0xD9, .name = "", .caption = "End of Image"},
    {.tag = 0xDA, .name = "", .caption = "Start of Scan"},
    {.tag = 0xDB, .name = "", .caption = "Define quantization table"},
    {.tag = 0xDC, .name = "", .caption = "Define number of lines"},
    {.tag = 0xDD, .name = "", .caption = "Restart interoperability definition"},
    {.tag = 0xDE, .name = "", .caption = "Define hierarchical progression"},
    {.tag = 0xDF, .name = "", .caption = "Expand reference component"},
    {.tag = 0xE0, .name = "", .caption = "JPG marker"},
    {.tag = 0xE1, .name = "", .caption = "Exif Data"},
    {.tag = 0xE2, .name = "", .caption = "Exif Extended Data"},
    {.tag = 0xFE, .name = "", .caption = "Comment"},
    {.tag = 0xED, .name = "", .caption = "IPTC data"},
    {.tag = 0xEE, .name = "", .caption = "Photoshop data"},
    {.tag = 0x00, .name = "", .caption = "Unknown"},
}};

constexpr std::size_t kRealExifRows = kExifTagTable.size() - 1;

template <std::size_t N>
constexpr bool strictlyAscending(const std::array<TagRow, N>& table, std::size_t count) {
    for (std::size_t i = 1; i < count; ++i) {
        if (table[i - 1].tag >= table[i].tag) return false;
    }
    return true;
}

// Number of names among the real rows that occur exactly twice; -1 when any name occurs more often.
constexpr int doubledNameCount() {
    int doubled = 0;
    for (std::size_t i = 0; i < kRealExifRows; ++i) {
        int seen = 0;
        for (std::size_t j = 0; j < kRealExifRows; ++j) {
            if (kExifTagTable[j].name == kExifTagTable[i].name) ++seen;
        }
        if (seen > 2) return -1;
        if (seen == 2) ++doubled;
    }
    return doubled / 2;
}

static_assert(kExifTagTable.size() == 251);
static_assert(strictlyAscending(kExifTagTable, kRealExifRows), "EXIF rows must be ascending and unique");
static_assert(kExifTagTable.back().tag == 0 && kExifTagTable.back().name == "Unknown");
static_assert(doubledNameCount() == 13, "the EXIF/TIFF-EP twins are the only doubled names");
static_assert(kGpsTagTable.size() == 31 && strictlyAscending(kGpsTagTable, kGpsTagTable.size()));
static_assert(kGpsTagTable.front().tag == 0x00 && kGpsTagTable.back().tag == 0x1E);
static_assert(kSectionNameTable.size() == 30);

// Captions made from the names, built once and then only read. Index-parallel to the tables.
struct CaptionCache {
    std::array<std::string, kExifTagTable.size()> exif;
    std::array<std::string, kGpsTagTable.size()> gps;
};

CaptionCache& captionCache() {
    static CaptionCache cache;
    return cache;
}

std::once_flag captionsFilled;

template <std::size_t N>
void fillFrom(const std::array<TagRow, N>& table, std::array<std::string, N>& captions) {
    for (std::size_t i = 0; i < N; ++i) {
        captions[i] = table[i].caption.empty() ? splitCamelCase(table[i].name) : std::string(table[i].caption);
    }
}

TagEntry entryWithCaption(const TagRow& row, std::string caption) {
    TagEntry entry;
    entry.indexCode = row.indexCode;
    entry.tag = row.tag;
    entry.name = std::string(row.name);
    entry.caption = std::move(caption);
    entry.decodeList = std::string(row.decodeList);
    entry.formatSpec = std::string(row.formatSpec);
    entry.rawSize = row.rawSize;
    entry.decoder = row.decoder;
    return entry;
}

}  // namespace

std::span<const TagRow> exifTagTable() {
    return kExifTagTable;
}
std::span<const TagRow> gpsTagTable() {
    return kGpsTagTable;
}
std::span<const TagRow> sectionNameTable() {
    return kSectionNameTable;
}

const TagEntry& emptyTagEntry() {
    static const TagEntry empty;
    return empty;
}

void fillCaptions() {
    std::call_once(captionsFilled, [] {
        CaptionCache& cache = captionCache();
        fillFrom(kExifTagTable, cache.exif);
        fillFrom(kGpsTagTable, cache.gps);
    });
}

std::string splitCamelCase(std::string_view name) {
    const auto isCapital = [](char c) { return c >= 'A' && c <= 'Z'; };
    std::string out;
    out.reserve(name.size() + 4);
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (i > 0 && isCapital(name[i]) && !isCapital(name[i - 1])) out += ' ';
        out += name[i];
    }
    return out;
}

TagEntry lookupEntry(std::uint16_t tag, int kind) {
    fillCaptions();
    const CaptionCache& cache = captionCache();
    if (kind == kMainDirectory || kind == kThumbnailDirectory) {
        const auto real = std::span(kExifTagTable).first(kRealExifRows);
        const auto it = std::lower_bound(real.begin(), real.end(), tag,
                                         [](const TagRow& row, std::uint16_t t) { return row.tag < t; });
        if (it != real.end() && it->tag == tag) {
            const auto index = static_cast<std::size_t>(it - real.begin());
            return entryWithCaption(*it, cache.exif[index]);
        }
    } else if (kind == kGpsDirectory) {
        const auto it = std::lower_bound(kGpsTagTable.begin(), kGpsTagTable.end(), tag,
                                         [](const TagRow& row, std::uint16_t t) { return row.tag < t; });
        if (it != kGpsTagTable.end() && it->tag == tag) {
            const auto index = static_cast<std::size_t>(it - kGpsTagTable.begin());
            return entryWithCaption(*it, cache.gps[index]);
        }
    }
    return entryWithCaption(kExifTagTable.back(), cache.exif.back());
}

int indexOfTableName(std::string_view name) {
    for (std::size_t i = 0; i < kRealExifRows; ++i) {
        if (equalsIgnoringAsciiCase(kExifTagTable[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

TagEntry entryFromRow(const TagRow& row) {
    return entryWithCaption(row, row.caption.empty() ? splitCamelCase(row.name) : std::string(row.caption));
}

}  // namespace morrowtide::meta
