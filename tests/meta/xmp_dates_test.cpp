// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "meta/formats/date_codec.h"
#include "meta/formats/xmp_dates.h"
#include "support/date_packet_builder.h"

using namespace morrowtide::meta;
using morrowtide::test::applyPatches;
using morrowtide::test::extendedXmpPayload;
using morrowtide::test::XmpBuilder;

namespace {

constexpr std::uint64_t kPacketOffset = 1000;  // where the packets pretend to lie in a file

std::string valueAt(const std::string& packet, const DateField& field, std::uint64_t base = kPacketOffset) {
    return packet.substr(static_cast<std::size_t>(field.offset - base), field.width);
}

std::vector<std::string> namesOf(const DateFieldScan& scan) {
    std::vector<std::string> names;
    for (const DateField& field : scan.fields) names.push_back(field.name);
    return names;
}

// The packet shifted by `seconds` through the locator and the codec.
std::string shifted(const std::string& packet, std::int64_t seconds) {
    const DateFieldScan scan = findXmpDates(packet, kPacketOffset);
    const std::string file = std::string(kPacketOffset, '\0') + packet;
    const MemoryByteSource source(file);
    const DatePatchPlan result = shiftDateFields(scan.fields, source, DateMapping::bySeconds(seconds));
    return applyPatches(packet, result.patches, kPacketOffset);
}

}  // namespace

TEST(XmpDates, EachDatePropertyAsAttributeAndAsElement) {
    struct Property {
        std::string name, group;
        DateRole role;
    };
    const std::vector<Property> properties = {
        {"xmp:ModifyDate", "XMP-xmp", DateRole::Modified},
        {"tiff:DateTime", "XMP-tiff", DateRole::Modified},
        {"exif:DateTimeOriginal", "XMP-exif", DateRole::Original},
        {"photoshop:DateCreated", "XMP-photoshop", DateRole::Original},
        {"xmp:CreateDate", "XMP-xmp", DateRole::Digitized},
        {"exif:DateTimeDigitized", "XMP-exif", DateRole::Digitized},
    };
    for (const Property& property : properties) {
        for (const bool asElement : {false, true}) {
            SCOPED_TRACE(property.name + (asElement ? " element" : " attribute"));
            XmpBuilder builder;
            builder.attribute("xmp:MetadataDate", "2001-01-01T00:00:00");
            if (asElement) {
                builder.element(property.name, "  2005-06-01T10:00:00+02:00\n  ");
            } else {
                builder.attribute(property.name, "2005-06-01T10:00:00+02:00");
            }
            const std::string packet = builder.build();
            const DateFieldScan scan = findXmpDates(packet, kPacketOffset);
            ASSERT_EQ(scan.fields.size(), 1u);
            const DateField& field = scan.fields[0];
            EXPECT_EQ(field.name, property.name);
            EXPECT_EQ(field.group, property.group);
            EXPECT_EQ(field.role, property.role);
            EXPECT_EQ(field.encoding, DateEncoding::Iso8601);
            EXPECT_EQ(valueAt(packet, field), "2005-06-01T10:00:00+02:00");  // blanks around an element value left out
        }
    }
}

TEST(XmpDates, EveryFormShiftedAndNothingElseChanged) {
    // Each form once as an attribute, once as an element; every other date in the packet must stay.
    struct Form {
        std::string before, after;  // after one hour
    };
    const std::vector<Form> forms = {
        {"2005-06-01T10:00:00", "2005-06-01T11:00:00"},
        {"2005-06-01T10:00", "2005-06-01T11:00"},
        {"2005-06-01T10:00:00.25", "2005-06-01T11:00:00.25"},
        {"2005-12-31T23:30:00Z", "2006-01-01T00:30:00Z"},
        {"2005-06-01T10:00:00+02:00", "2005-06-01T11:00:00+02:00"},
        {"2005-06-01T23:59:59.123456-07:00", "2005-06-02T00:59:59.123456-07:00"},
        {"2005-06-01", "2005-06-01"},           // date only: left, an hour cannot be written there
        {"not a date", "not a date"},           // unreadable: left
    };
    const std::vector<std::string> attributeNames = {"xmp:CreateDate", "exif:DateTimeOriginal", "xmp:ModifyDate",
                                                     "tiff:DateTime", "photoshop:DateCreated", "exif:DateTimeDigitized",
                                                     "xmp:CreateDate", "exif:DateTimeOriginal"};
    const auto packetWith = [&](bool after) {
        XmpBuilder builder;
        builder.attribute("xmp:MetadataDate", "2005-06-01T10:00:00");
        for (std::size_t i = 0; i < forms.size(); ++i) {
            const std::string& value = after ? forms[i].after : forms[i].before;
            if (i % 2 == 0) {
                builder.attribute(attributeNames[i], value);
            } else {
                builder.element(attributeNames[i], value);
            }
        }
        builder.description();
        for (std::size_t i = 0; i < forms.size(); ++i) {
            builder.element(i % 2 == 0 ? attributeNames[i] : attributeNames[(i + 1) % forms.size()],
                            after ? forms[i].after : forms[i].before);
        }
        builder.raw("<xmpMM:History><rdf:Seq><rdf:li stEvt:action=\"saved\" stEvt:when=\"2005-06-01T10:00:00\"/>"
                    "</rdf:Seq></xmpMM:History>");
        return builder.build();
    };
    const std::string before = packetWith(false);
    EXPECT_EQ(findXmpDates(before, kPacketOffset).fields.size(), 2 * forms.size());
    EXPECT_EQ(shifted(before, 3600), packetWith(true));

    // The outcomes name what was left and why.
    const DateFieldScan scan = findXmpDates(before, kPacketOffset);
    const std::string file = std::string(kPacketOffset, '\0') + before;
    const DatePatchPlan result = shiftDateFields(scan.fields, MemoryByteSource(file), DateMapping::bySeconds(3600));
    int shiftedCount = 0, dateOnly = 0, unreadable = 0;
    for (const FieldReport& report : result.reports) {
        shiftedCount += report.outcome == DateOutcome::Shifted;
        dateOnly += report.outcome == DateOutcome::Imprecise;
        unreadable += report.outcome == DateOutcome::Unreadable;
    }
    EXPECT_EQ(shiftedCount, 12);
    EXPECT_EQ(dateOnly, 2);
    EXPECT_EQ(unreadable, 2);
}

TEST(XmpDates, LeavesEverythingThatIsNotATopLevelDateProperty) {
    const std::vector<std::pair<std::string, std::string>> decoys = {
        {"metadata date", "<xmp:MetadataDate>2005-06-01T10:00:00</xmp:MetadataDate>"},
        {"history event",
         "<xmpMM:History><rdf:Seq><rdf:li rdf:parseType=\"Resource\"><stEvt:when>2005-06-01T10:00:00</stEvt:when>"
         "</rdf:li></rdf:Seq></xmpMM:History>"},
        {"date inside a structure",
         "<xmpMM:DerivedFrom rdf:parseType=\"Resource\"><xmp:CreateDate>2005-06-01T10:00:00</xmp:CreateDate>"
         "</xmpMM:DerivedFrom>"},
        {"nested description",
         "<xmpMM:Pantry><rdf:Bag><rdf:li><rdf:Description xmp:CreateDate=\"2005-06-01T10:00:00\"/></rdf:li>"
         "</rdf:Bag></xmpMM:Pantry>"},
        {"comment", "<!-- <xmp:CreateDate>2005-06-01T10:00:00</xmp:CreateDate> -->"},
        {"CDATA", "<dc:note><![CDATA[<xmp:CreateDate>2005-06-01T10:00:00</xmp:CreateDate>]]></dc:note>"},
        {"escaped markup in a value", "<dc:note>&lt;xmp:CreateDate&gt;2005-06-01T10:00:00&lt;/xmp:CreateDate&gt;</dc:note>"},
        {"name inside an attribute value", "<dc:note dc:x='xmp:CreateDate=\"2005-06-01T10:00:00\" >'/>"},
        {"prefix bound elsewhere",
         "<xmp:CreateDate xmlns:xmp=\"http://example.com/not-xmp/\">2005-06-01T10:00:00</xmp:CreateDate>"},
        {"unbound prefix", "<xap:CreateDate>2005-06-01T10:00:00</xap:CreateDate>"},
        {"no namespace", "<CreateDate>2005-06-01T10:00:00</CreateDate>"},
        {"resource value", "<xmp:CreateDate rdf:resource=\"2005-06-01T10:00:00\"/>"},
        {"processing instruction", "<?note <xmp:CreateDate>2005-06-01T10:00:00</xmp:CreateDate> ?>"},
        {"comment inside the value", "<xmp:CreateDate>2005-06-01T10<!-- x -->:00:00</xmp:CreateDate>"},
    };
    for (const auto& [what, markup] : decoys) {
        SCOPED_TRACE(what);
        const std::string packet = XmpBuilder().bind("dc", "http://purl.org/dc/elements/1.1/").raw(markup).build();
        EXPECT_TRUE(findXmpDates(packet, kPacketOffset).fields.empty());
        EXPECT_EQ(shifted(packet, 3600), packet);
    }
}

TEST(XmpDates, PrefixesAreResolvedThroughTheirDeclarations) {
    // Another prefix on the right URI, a default namespace, a prefix rebound in an inner scope, and the standard
    // prefix bound to a foreign URI on the Description itself.
    const std::string packet =
        XmpBuilder()
            .withoutStandardPrefixes()
            .bind("xap", "http://ns.adobe.com/xap/1.0/")
            .bind("xmp", "http://example.com/other/")
            .attribute("xap:CreateDate", "2005-06-01T10:00:00")
            .attribute("xmp:ModifyDate", "2005-06-01T10:00:00")
            .raw("<DateTimeOriginal xmlns=\"http://ns.adobe.com/exif/1.0/\">2005-06-01T10:00:00</DateTimeOriginal>")
            .raw("<q:DateTime xmlns:q=\"http://ns.adobe.com/tiff/1.0/\">2005-06-01T10:00:00</q:DateTime>")
            .raw("<q:DateCreated>2005-06-01T10:00:00</q:DateCreated>")  // q is out of scope here
            .build();
    EXPECT_EQ(namesOf(findXmpDates(packet, kPacketOffset)),
              (std::vector<std::string>{"xmp:CreateDate", "exif:DateTimeOriginal", "tiff:DateTime"}));
}

TEST(XmpDates, BrokenMarkupEndsTheScanWithoutLosingWhatCameBefore) {
    const std::string good = XmpBuilder().attribute("xmp:CreateDate", "2005-06-01T10:00:00").build();
    const std::size_t cut = good.find("</rdf:Description>");
    ASSERT_NE(cut, std::string::npos);
    const std::vector<std::string> tails = {
        "",                                      // ends inside the Description
        "<!-- never closed",                     // unterminated comment
        "<xmp:ModifyDate>2005-06-01T10:00:00",   // element never closed
        "<xmp:ModifyDate a=\"1>2005",            // attribute never closed
        "</rdf:RDF>",                            // mismatched end tag
        "<![CDATA[ open",
    };
    for (const std::string& tail : tails) {
        SCOPED_TRACE(tail);
        const std::string packet = good.substr(0, cut) + tail;
        EXPECT_EQ(namesOf(findXmpDates(packet, kPacketOffset)), std::vector<std::string>{"xmp:CreateDate"});
    }
    // Nesting deeper than any packet has stops the scan rather than growing without bound.
    std::string deep = good.substr(0, cut);
    for (int i = 0; i < 1000; ++i) deep += "<a>";
    deep += "</rdf:Description><rdf:Description xmp:ModifyDate=\"2005-06-01T10:00:00\"/>";
    EXPECT_EQ(namesOf(findXmpDates(deep, kPacketOffset)), std::vector<std::string>{"xmp:CreateDate"});
}

TEST(XmpDates, ExtendedPartsFoundInPlaceSplitFieldsLeft) {
    const std::string packet = XmpBuilder()
                                   .element("xmp:CreateDate", "2005-06-01T10:00:00")
                                   .element("exif:DateTimeOriginal", "2005-06-01T10:00:00")
                                   .build();
    const std::string guid(32, 'A');
    const std::size_t firstValue = packet.find("2005");
    const std::size_t secondValue = packet.find("2005", firstValue + 1);
    const auto fullLength = static_cast<std::uint32_t>(packet.size());

    // Three parts laid out in a "file" one after another, each behind its APP1 header; the cut lands inside the
    // second value, so the first is found and the second is left.
    const std::vector<std::size_t> cuts = {0, firstValue - 7, secondValue + 5, packet.size()};
    std::string file;
    std::vector<std::string> payloads;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
        payloads.push_back(extendedXmpPayload(guid, fullLength, static_cast<std::uint32_t>(cuts[i]),
                                              packet.substr(cuts[i], cuts[i + 1] - cuts[i])));
    }
    std::vector<ExtendedXmpPart> parts;
    std::vector<std::uint64_t> payloadOffsets;
    for (const std::string& payload : payloads) {
        payloadOffsets.push_back(file.size() + 4);
        file += std::string(4, 'x') + payload;
    }
    for (std::size_t i = payloads.size(); i-- > 0;) {  // in reverse order: order must not matter
        const auto part = readExtendedXmpPart(std::string_view(file).substr(payloadOffsets[i], payloads[i].size()),
                                              payloadOffsets[i]);
        ASSERT_TRUE(part.has_value());
        parts.push_back(*part);
    }
    const DateFieldScan scan = findExtendedXmpDates(parts);
    EXPECT_TRUE(scan.problem.empty());
    ASSERT_EQ(namesOf(scan), std::vector<std::string>{"xmp:CreateDate"});
    EXPECT_EQ(valueAt(file, scan.fields[0], 0), "2005-06-01T10:00:00");
    EXPECT_EQ(scan.skipped, std::vector<std::string>{"exif:DateTimeOriginal split across two extended-XMP parts"});

    // Parts that do not join up leave the packet alone.
    std::vector<ExtendedXmpPart> gap = parts;
    gap.erase(gap.begin() + 1);
    EXPECT_FALSE(findExtendedXmpDates(gap).problem.empty());
    EXPECT_TRUE(findExtendedXmpDates(gap).fields.empty());
    std::vector<ExtendedXmpPart> twice = parts;
    twice.push_back(parts[0]);
    EXPECT_FALSE(findExtendedXmpDates(twice).problem.empty());
    EXPECT_FALSE(readExtendedXmpPart(payloads[0].substr(0, 60), 0).has_value());
    EXPECT_FALSE(readExtendedXmpPart("http://ns.adobe.com/xap/1.0/", 0).has_value());
}
