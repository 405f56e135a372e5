// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/date_packet_builder.h"

#include <stdexcept>

#include "support/exif_builder.h"

namespace morrowtide::test {

namespace {

std::string big16(std::uint16_t v) {
    return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
}
std::string big32(std::uint32_t v) {
    return big16(static_cast<std::uint16_t>(v >> 16)) + big16(static_cast<std::uint16_t>(v & 0xFFFF));
}

}  // namespace

XmpBuilder::Description& XmpBuilder::current() {
    if (descriptions_.empty()) descriptions_.emplace_back();
    return descriptions_.back();
}

XmpBuilder& XmpBuilder::withoutStandardPrefixes() {
    standardPrefixes_ = false;
    return *this;
}

XmpBuilder& XmpBuilder::bind(std::string_view prefix, std::string_view uri) {
    const std::string name = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    current().attributes.emplace_back(name, uri);
    return *this;
}

XmpBuilder& XmpBuilder::attribute(std::string_view qname, std::string_view value) {
    current().attributes.emplace_back(qname, value);
    return *this;
}

XmpBuilder& XmpBuilder::element(std::string_view qname, std::string_view value) {
    current().body += "\n   <" + std::string(qname) + ">" + std::string(value) + "</" + std::string(qname) + ">";
    return *this;
}

XmpBuilder& XmpBuilder::raw(std::string_view markup) {
    current().body += markup;
    return *this;
}

XmpBuilder& XmpBuilder::description() {
    current();
    descriptions_.emplace_back();
    return *this;
}

std::string XmpBuilder::build() const {
    std::string out = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                      " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
    const std::vector<Description> descriptions = descriptions_.empty() ? std::vector<Description>(1) : descriptions_;
    for (std::size_t i = 0; i < descriptions.size(); ++i) {
        out += "  <rdf:Description rdf:about=\"\"";
        if (standardPrefixes_) {
            out += "\n    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\""
                   "\n    xmlns:exif=\"http://ns.adobe.com/exif/1.0/\""
                   "\n    xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\""
                   "\n    xmlns:photoshop=\"http://ns.adobe.com/photoshop/1.0/\""
                   "\n    xmlns:xmpMM=\"http://ns.adobe.com/xap/1.0/mm/\""
                   "\n    xmlns:stEvt=\"http://ns.adobe.com/xap/1.0/sType/ResourceEvent#\"";
        }
        for (const auto& [name, value] : descriptions[i].attributes) out += "\n    " + name + "=\"" + value + "\"";
        out += ">" + descriptions[i].body + "\n  </rdf:Description>\n";
    }
    out += " </rdf:RDF>\n</x:xmpmeta>\n" + std::string(64, ' ') + "\n<?xpacket end=\"w\"?>";
    return out;
}

std::string extendedXmpPayload(std::string_view guid, std::uint32_t fullLength, std::uint32_t partOffset,
                               std::string_view bytes) {
    return std::string("http://ns.adobe.com/xmp/extension/\0", 35) + std::string(guid) + big32(fullLength) +
           big32(partOffset) + std::string(bytes);
}

IptcBuilder& IptcBuilder::dataset(std::uint8_t record, std::uint8_t number, std::string_view value) {
    iim_ += '\x1C';
    iim_ += static_cast<char>(record);
    iim_ += static_cast<char>(number);
    iim_ += big16(static_cast<std::uint16_t>(value.size())) + std::string(value);
    return *this;
}

IptcBuilder& IptcBuilder::extendedDataset(std::uint8_t record, std::uint8_t number, std::string_view value) {
    iim_ += '\x1C';
    iim_ += static_cast<char>(record);
    iim_ += static_cast<char>(number);
    iim_ += big16(0x8004) + big32(static_cast<std::uint32_t>(value.size())) + std::string(value);
    return *this;
}

IptcBuilder& IptcBuilder::raw(std::string_view bytes) {
    iim_ += bytes;
    return *this;
}

std::string IptcBuilder::resources() const {
    // Name "abc" (length byte + 3 = 4, even: no pad), 3 bytes of data padded to 4.
    std::string out = "8BIM" + big16(0x03ED) + "\x03" "abc" + big32(3) + std::string("xyz\0", 4);
    // Empty name (length byte + pad), the datasets, padded to an even length.
    out += "8BIM" + big16(0x0404) + std::string(2, '\0') + big32(static_cast<std::uint32_t>(iim_.size())) + iim_;
    if (iim_.size() % 2 != 0) out += '\0';
    return out;
}

std::string IptcBuilder::app13Payload() const {
    return std::string("Photoshop 3.0\0", 14) + resources();
}

DateCopyValues dateCopiesAnHourLater() {
    DateCopyValues after;
    after.exif = "2005:06:01 11:00:00";
    after.xmpCreate = "2005-06-01T11:00:00+02:00";
    after.xmpOriginal = "2005-06-01T11:00:00.25Z";
    after.extendedCreate = "2005-06-01T11:00:00";
    after.iptcDate = "20060101";
    after.iptcTime = "003000+0200";
    return after;
}

std::string jpegWithDateCopies(const DateCopyValues& values, std::size_t padding) {
    JpegBuilder jpeg;
    if (!values.exif.empty()) {
        TiffBuilder tiff;
        const auto ifd0 = tiff.directory(), exif = tiff.directory();
        tiff.ascii(ifd0, 0x0132, values.exif);
        tiff.link(ifd0, 0x8769, exif);
        tiff.ascii(exif, 0x9003, values.exif);
        jpeg.app1Exif(tiff.build());
    }
    jpeg.segment(0xED, IptcBuilder()
                           .dataset(2, 5, "Title")
                           .dataset(2, 55, values.iptcDate)
                           .dataset(2, 60, values.iptcTime)
                           .app13Payload());
    const std::string packet = XmpBuilder()
                                   .attribute("xmp:MetadataDate", values.metadataDate)
                                   .attribute("xmp:CreateDate", values.xmpCreate)
                                   .attribute("xmp:ModifyDate", values.modifyDate)
                                   .element("exif:DateTimeOriginal", values.xmpOriginal)
                                   .element("photoshop:DateCreated", values.photoshopDate)
                                   .build();
    jpeg.segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + packet);
    const std::string extended = XmpBuilder().element("exif:DateTimeDigitized", values.extendedCreate).build();
    const std::size_t half = extended.size() / 2;
    const std::string guid(32, 'C');
    const auto length = static_cast<std::uint32_t>(extended.size());
    jpeg.segment(0xE1, extendedXmpPayload(guid, length, 0, extended.substr(0, half)));
    jpeg.segment(0xE1, extendedXmpPayload(guid, length, static_cast<std::uint32_t>(half), extended.substr(half)));
    jpeg.imageData();
    if (padding > 0) jpeg.raw(std::string(padding, '\x5A'));
    return jpeg.build();
}

std::string applyPatches(std::string bytes, const std::vector<morrowtide::meta::BytePatch>& patches,
                         std::uint64_t base) {
    for (const auto& patch : patches) {
        if (patch.offset < base || patch.offset - base + patch.bytes.size() > bytes.size()) {
            throw std::out_of_range("patch outside the bytes");
        }
        bytes.replace(static_cast<std::size_t>(patch.offset - base), patch.bytes.size(), patch.bytes);
    }
    return bytes;
}

}  // namespace morrowtide::test
