// SPDX-License-Identifier: GPL-3.0-or-later
// The XMP date locator: one pass over the packet's markup. Only the top-level properties of an rdf:Description (its
// attributes and its child elements) are the photo's dates; the same names deeper down belong to structures
// (history events, ingredients, pantry entries) and stay as they are.
#include "meta/formats/xmp_dates.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

#include "meta/byte_reader.h"

namespace morrowtide::meta {

namespace {

constexpr std::string_view kRdfNamespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
// Deeper nesting than any real packet has: the scan stops there rather than keep an unbounded stack.
constexpr std::size_t kMaxDepth = 256;

struct DateProperty {
    std::string_view uri;
    std::string_view local;
    std::string_view name;   // canonical qualified name
    std::string_view group;  // as exiftool names it
    DateRole role;
};

constexpr std::array<DateProperty, 6> kDateProperties{{
    {kXmpNamespaceXmp, "ModifyDate", "xmp:ModifyDate", "XMP-xmp", DateRole::Modified},
    {kXmpNamespaceTiff, "DateTime", "tiff:DateTime", "XMP-tiff", DateRole::Modified},
    {kXmpNamespaceExif, "DateTimeOriginal", "exif:DateTimeOriginal", "XMP-exif", DateRole::Original},
    {kXmpNamespacePhotoshop, "DateCreated", "photoshop:DateCreated", "XMP-photoshop", DateRole::Original},
    {kXmpNamespaceXmp, "CreateDate", "xmp:CreateDate", "XMP-xmp", DateRole::Digitized},
    {kXmpNamespaceExif, "DateTimeDigitized", "exif:DateTimeDigitized", "XMP-exif", DateRole::Digitized},
}};

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool endsName(char c) { return isSpace(c) || c == '/' || c == '>' || c == '=' || c == '<'; }

std::pair<std::string_view, std::string_view> splitQName(std::string_view qname) {
    const std::size_t colon = qname.find(':');
    if (colon == std::string_view::npos) return {{}, qname};
    return {qname.substr(0, colon), qname.substr(colon + 1)};
}

// Namespace bindings in scope: prefix -> stack of URIs, and per open element the prefixes it declared.
class Scopes {
  public:
    void bind(std::string_view prefix, std::string_view uri) {
        bindings_[prefix].push_back(uri);
        declared_.push_back(prefix);
    }
    std::size_t mark() const { return declared_.size(); }
    void unwind(std::size_t mark) {
        while (declared_.size() > mark) {
            auto it = bindings_.find(declared_.back());
            it->second.pop_back();
            if (it->second.empty()) bindings_.erase(it);
            declared_.pop_back();
        }
    }
    // The URI of a prefix ("" is the default namespace); empty when unbound.
    std::string_view resolve(std::string_view prefix) const {
        if (prefix == "xml") return kXmlNamespace;
        const auto it = bindings_.find(prefix);
        return it == bindings_.end() ? std::string_view{} : it->second.back();
    }

  private:
    std::unordered_map<std::string_view, std::vector<std::string_view>> bindings_;
    std::vector<std::string_view> declared_;
};

enum class Kind : std::uint8_t { Other, Rdf, Description, DateElement };

struct Open {
    std::string_view qname;
    std::size_t scopeMark = 0;
    Kind kind = Kind::Other;
    const DateProperty* property = nullptr;  // for a DateElement
    std::size_t contentStart = 0;            // for a DateElement
    bool simple = true;                      // a DateElement whose content is plain text so far
};

struct Attribute {
    std::string_view qname;
    std::size_t valueStart = 0;
    std::string_view value;
};

class Scanner {
  public:
    Scanner(std::string_view packet, std::uint64_t fileOffset) : text_(packet), fileOffset_(fileOffset) {}

    DateFieldScan run() {
        while (pos_ < text_.size()) {
            const std::size_t lt = text_.find('<', pos_);
            if (lt == std::string_view::npos) break;
            pos_ = lt;
            if (!step()) break;
        }
        return std::move(scan_);
    }

  private:
    // One piece of markup at pos_ ('<'); false when the markup is broken and the scan ends.
    bool step() {
        const std::string_view rest = text_.substr(pos_);
        if (rest.starts_with("<!--")) return skipPast("-->", true);
        if (rest.starts_with("<![CDATA[")) return skipPast("]]>", true);
        if (rest.starts_with("<?")) return skipPast("?>", false);
        if (rest.starts_with("<!")) return skipDeclaration();
        if (rest.starts_with("</")) return endTag();
        return startTag();
    }

    // Comments and CDATA inside a date element make its value more than plain text: it is left alone.
    bool skipPast(std::string_view end, bool marksContent) {
        const std::size_t at = text_.find(end, pos_ + 2);
        if (at == std::string_view::npos) return false;
        if (marksContent && !stack_.empty()) stack_.back().simple = false;
        pos_ = at + end.size();
        return true;
    }

    // "<!DOCTYPE ...>" with an optional internal subset in brackets.
    bool skipDeclaration() {
        int brackets = 0;
        for (std::size_t i = pos_ + 2; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '"' || c == '\'') {
                const std::size_t close = text_.find(c, i + 1);
                if (close == std::string_view::npos) return false;
                i = close;
            } else if (c == '[') {
                ++brackets;
            } else if (c == ']') {
                --brackets;
            } else if (c == '>' && brackets <= 0) {
                pos_ = i + 1;
                return true;
            }
        }
        return false;
    }

    std::string_view nameAt(std::size_t& at) const {
        const std::size_t start = at;
        while (at < text_.size() && !endsName(text_[at])) ++at;
        return text_.substr(start, at - start);
    }
    void skipSpace(std::size_t& at) const {
        while (at < text_.size() && isSpace(text_[at])) ++at;
    }

    bool endTag() {
        std::size_t at = pos_ + 2;
        const std::string_view qname = nameAt(at);
        skipSpace(at);
        if (at >= text_.size() || text_[at] != '>' || stack_.empty() || stack_.back().qname != qname) return false;
        const Open& open = stack_.back();
        if (open.kind == Kind::DateElement && open.simple) addField(*open.property, open.contentStart, pos_);
        scopes_.unwind(open.scopeMark);
        stack_.pop_back();
        pos_ = at + 1;
        return true;
    }

    bool startTag() {
        std::size_t at = pos_ + 1;
        Open open;
        open.qname = nameAt(at);
        if (open.qname.empty()) return false;
        attributes_.clear();
        bool selfClosing = false;
        for (;;) {
            skipSpace(at);
            if (at >= text_.size()) return false;
            if (text_[at] == '>') break;
            if (text_[at] == '/') {
                if (at + 1 >= text_.size() || text_[at + 1] != '>') return false;
                selfClosing = true;
                ++at;
                break;
            }
            Attribute attribute;
            attribute.qname = nameAt(at);
            if (attribute.qname.empty()) return false;
            skipSpace(at);
            if (at >= text_.size() || text_[at] != '=') return false;
            ++at;
            skipSpace(at);
            if (at >= text_.size() || (text_[at] != '"' && text_[at] != '\'')) return false;
            const std::size_t close = text_.find(text_[at], at + 1);
            if (close == std::string_view::npos) return false;
            attribute.valueStart = at + 1;
            attribute.value = text_.substr(at + 1, close - at - 1);
            if (attribute.value.find('<') != std::string_view::npos) return false;  // not well-formed
            attributes_.push_back(attribute);
            at = close + 1;
        }
        pos_ = at + 1;

        // Anything inside a date element other than text makes it a structure, not a date.
        if (!stack_.empty()) stack_.back().simple = false;
        if (stack_.size() >= kMaxDepth) return false;

        open.scopeMark = scopes_.mark();
        for (const Attribute& attribute : attributes_) {
            if (attribute.qname == "xmlns") {
                scopes_.bind({}, attribute.value);
            } else if (attribute.qname.starts_with("xmlns:")) {
                scopes_.bind(attribute.qname.substr(6), attribute.value);
            }
        }
        const auto [prefix, local] = splitQName(open.qname);
        const std::string_view uri = scopes_.resolve(prefix);
        const Kind parent = stack_.empty() ? Kind::Other : stack_.back().kind;
        if (uri == kRdfNamespace && local == "RDF") {
            open.kind = Kind::Rdf;
        } else if (parent == Kind::Rdf) {
            // An rdf:Description, or a typed node standing for one: its attributes and children are properties.
            open.kind = Kind::Description;
            for (const Attribute& attribute : attributes_) {
                const auto [attributePrefix, attributeLocal] = splitQName(attribute.qname);
                if (attributePrefix.empty() || attributePrefix == "xmlns") continue;  // no namespace
                if (const DateProperty* property = find(scopes_.resolve(attributePrefix), attributeLocal)) {
                    addField(*property, attribute.valueStart, attribute.valueStart + attribute.value.size());
                }
            }
        } else if (parent == Kind::Description) {
            open.property = find(uri, local);
            // A date written as a resource or with a parse type is not a plain value.
            const bool plain = std::none_of(attributes_.begin(), attributes_.end(), [this](const Attribute& a) {
                const auto [p, l] = splitQName(a.qname);
                return scopes_.resolve(p) == kRdfNamespace;
            });
            if (open.property != nullptr && plain && !selfClosing) open.kind = Kind::DateElement;
            open.contentStart = pos_;
        }
        if (selfClosing) {
            scopes_.unwind(open.scopeMark);
        } else {
            stack_.push_back(open);
        }
        return true;
    }

    static const DateProperty* find(std::string_view uri, std::string_view local) {
        if (uri.empty()) return nullptr;
        for (const DateProperty& property : kDateProperties) {
            if (property.uri == uri && property.local == local) return &property;
        }
        return nullptr;
    }

    // The value's text without surrounding blanks becomes the field.
    void addField(const DateProperty& property, std::size_t begin, std::size_t end) {
        while (begin < end && isSpace(text_[begin])) ++begin;
        while (end > begin && isSpace(text_[end - 1])) --end;
        DateField field;
        field.offset = fileOffset_ + begin;
        field.width = static_cast<std::uint32_t>(end - begin);
        field.encoding = DateEncoding::Iso8601;
        field.role = property.role;
        field.group = std::string(property.group);
        field.name = std::string(property.name);
        scan_.fields.push_back(std::move(field));
    }

    std::string_view text_;
    std::uint64_t fileOffset_ = 0;
    std::size_t pos_ = 0;
    std::vector<Open> stack_;
    std::vector<Attribute> attributes_;
    Scopes scopes_;
    DateFieldScan scan_;
};

std::uint32_t bigEndian32(std::string_view bytes, std::size_t at) {
    return ByteReader(bytes, true).u32(at);
}

}  // namespace

DateFieldScan findXmpDates(std::string_view packet, std::uint64_t fileOffset) {
    return Scanner(packet, fileOffset).run();
}

std::optional<ExtendedXmpPart> readExtendedXmpPart(std::string_view payload, std::uint64_t payloadFileOffset) {
    constexpr std::size_t kGuidLength = 32;
    const std::size_t header = kExtendedXmpApp1Signature.size() + kGuidLength + 8;
    if (!payload.starts_with(kExtendedXmpApp1Signature) || payload.size() < header) return std::nullopt;
    ExtendedXmpPart part;
    part.guid = payload.substr(kExtendedXmpApp1Signature.size(), kGuidLength);
    part.fullLength = bigEndian32(payload, kExtendedXmpApp1Signature.size() + kGuidLength);
    part.partOffset = bigEndian32(payload, kExtendedXmpApp1Signature.size() + kGuidLength + 4);
    part.bytes = payload.substr(header);
    part.fileOffset = payloadFileOffset + header;
    return part;
}

DateFieldScan findExtendedXmpDates(const std::vector<ExtendedXmpPart>& parts) {
    DateFieldScan result;
    if (parts.empty()) return result;
    std::vector<const ExtendedXmpPart*> ordered;
    for (const ExtendedXmpPart& part : parts) ordered.push_back(&part);
    std::sort(ordered.begin(), ordered.end(),
              [](const ExtendedXmpPart* a, const ExtendedXmpPart* b) { return a->partOffset < b->partOffset; });
    // The parts must tile the whole packet exactly: a gap or an overlap leaves nothing sound to scan.
    const std::uint32_t fullLength = ordered.front()->fullLength;
    std::uint64_t covered = 0;
    for (const ExtendedXmpPart* part : ordered) {
        if (part->guid != ordered.front()->guid || part->fullLength != fullLength || part->partOffset != covered) {
            result.problem = "extended XMP parts do not join up";
            return result;
        }
        covered += part->bytes.size();
    }
    if (covered != fullLength) {
        result.problem = "extended XMP parts do not join up";
        return result;
    }
    std::string whole;
    whole.reserve(fullLength);
    for (const ExtendedXmpPart* part : ordered) whole.append(part->bytes);

    const DateFieldScan joined = findXmpDates(whole, 0);
    for (DateField field : joined.fields) {
        // The last part starting at or before the field holds its first byte.
        const auto holder = std::upper_bound(ordered.begin(), ordered.end(), field.offset,
                                             [](std::uint64_t at, const ExtendedXmpPart* p) { return at < p->partOffset; });
        const ExtendedXmpPart* part = *(holder - 1);
        const std::uint64_t inPart = field.offset - part->partOffset;
        if (inPart + field.width > part->bytes.size()) {
            result.skipped.push_back(field.name + " split across two extended-XMP parts");
            continue;
        }
        field.offset = part->fileOffset + inPart;
        result.fields.push_back(std::move(field));
    }
    result.skipped.insert(result.skipped.end(), joined.skipped.begin(), joined.skipped.end());
    return result;
}

}  // namespace morrowtide::meta
