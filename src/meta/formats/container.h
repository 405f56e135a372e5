// SPDX-License-Identifier: GPL-3.0-or-later
// The container readers: which kind of file this is (by its first bytes), and where its date fields and embedded
// metadata blocks lie. A reader only locates; patching, checksums and copying are the writer's. Every reader reads
// through a ByteSource in small bounded pieces, never the whole file, caps its depth and work, and checks every
// offset against the file size in 64 bits. When the structure cannot be read safely, `dates.problem` says why and
// nothing found may be patched.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "meta/formats/date_field.h"

namespace morrowtide::meta {

class SourceFile;
class ImageInfo;

enum class ContainerKind : std::uint8_t {
    Unknown,
    Jpeg,
    Tiff,        // TIFF and the TIFF-based raw files (DNG, CR2, NEF, ARW, ORF, RW2, PEF, IIQ, ...)
    Raf,         // Fujifilm raw: a header, an embedded JPEG, a TIFF-like raw block
    IsoBmff,     // HEIC/HEIF/AVIF, CR3, MP4/MOV/M4V/3GP
    Png,
    WebP,
    XmpSidecar,  // a bare XMP packet
};

// "JPEG", "TIFF", "RAF", "ISO-BMFF", "PNG", "WebP", "XMP", "unknown".
std::string_view containerName(ContainerKind kind);

// The container the extension names (case-insensitive, with or without its dot); Unknown for any other.
ContainerKind containerOfExtension(std::string_view extension);

// The container by the file's first bytes. The extension only decides where the bytes alone are not conclusive
// (a QuickTime movie without an `ftyp` box, an XMP sidecar); a file whose bytes say otherwise is what its bytes say.
ContainerKind detectContainer(const ByteSource& source, std::string_view extension);

enum class BlockKind : std::uint8_t {
    Tiff,  // a TIFF structure: byte-order mark at `offset`, its offsets counted from there
    Xmp,   // an XMP packet (UTF-8 text)
    Iptc,  // IPTC-IIM datasets
    PhotoshopResources,  // Photoshop image resources ("8BIM"), IPTC-IIM datasets in resource 0x0404
};

// A metadata block embedded in the file, whose dates other code locates.
struct EmbeddedBlock {
    BlockKind kind = BlockKind::Tiff;
    std::uint64_t offset = 0;  // from the start of the file
    std::uint64_t length = 0;
    // Where it came from, for the log and `info`: "file", "Exif item", "CMT1", "eXIf", "EXIF", "JPEG APP1", ...
    std::string label;
    // For a TIFF block: the name of its first directory ("ExifIFD" for the CR3 block that holds the EXIF directory).
    std::string firstDirectory = "IFD0";
};

// Bytes whose CRC-32 (the PNG polynomial) is stored big-endian at `checksumOffset`: a patch inside
// [offset, offset + length) makes the writer compute and write it anew.
struct ChecksumRegion {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::uint64_t checksumOffset = 0;
};

struct ContainerScan {
    ContainerKind kind = ContainerKind::Unknown;
    // The major brand of an ISO-BMFF file ("heic", "crx ", "qt  ", "isom", ...); empty for other kinds.
    std::string brand;
    // The date fields the container holds itself (movie times, QuickTime strings, PNG tIME) and, when not empty,
    // the problem that forbids patching the file at all.
    DateFieldScan dates;
    std::vector<EmbeddedBlock> blocks;
    std::vector<ChecksumRegion> checksums;
    // Dates seen that cannot be patched in place (compressed text, an Exif item in pieces); the file is still safe.
    std::vector<std::string> notes;
    // The camera a movie names in its own metadata (QuickTime keys, item list or user data), where it names one.
    std::string make;
    std::string model;
};

// Reads the structure of a file of the detected kind.
ContainerScan scanContainer(const ByteSource& source, std::string_view extension);

// The date fields of one TIFF block, as the directory walker records them: DateTime ("IFD0"), DateTimeOriginal and
// DateTimeDigitized ("ExifIFD"). Embedded XMP (tag 700) and IPTC (tag 33723) found by the walk are appended to
// `blocks` when it is given. Only the block's first kFirstTiffWindow bytes are walked, or kMaxTiffWindow when a
// directory lies further; a directory beyond those is a problem.
DateFieldScan tiffBlockDateFields(const ByteSource& source, const EmbeddedBlock& block,
                                  std::vector<EmbeddedBlock>* blocks = nullptr);
inline constexpr std::uint64_t kFirstTiffWindow = std::uint64_t{1} << 20;
inline constexpr std::uint64_t kMaxTiffWindow = std::uint64_t{8} << 20;

// Walks a TIFF block (its first kMaxTiffWindow bytes) with `info`, as `info` shows a JPEG's EXIF block. Answers
// the problem that stopped it, or an empty text.
std::string walkTiffBlock(const ByteSource& source, const EmbeddedBlock& block, ImageInfo& info);

// Everything the file holds: the container's own fields, those of every TIFF block, and the XMP and IPTC copies in
// every XMP, IPTC and Photoshop block (the blocks the TIFF directories point at, and the blocks of the JPEG an RW2
// file embeds, are added to `scan.blocks`). A TIFF block that cannot be walked is a problem; an XMP or IPTC block
// too long to be read is named in `skipped`.
DateFieldScan allDateFields(const ByteSource& source, ContainerScan& scan);
// Blocks inside blocks are read up to this many in all; a container naming more is refused.
inline constexpr std::size_t kMaxEmbeddedBlocks = 4096;
// The date fields a container may name itself, far above a movie's few per track: millions of tiny boxes must not
// each cost a field. A container naming more is refused.
inline constexpr std::size_t kMaxContainerFields = 65536;
// The notes one scan keeps; further ones are dropped, as are notes said already.
inline constexpr std::size_t kMaxContainerNotes = 64;

// CRC-32 as PNG computes it; `crc` continues an earlier result.
std::uint32_t crc32(std::string_view bytes, std::uint32_t crc = 0);

// A ByteSource over an open SourceFile.
class SourceFileBytes final : public ByteSource {
  public:
    explicit SourceFileBytes(const SourceFile& file) : file_(file) {}
    std::uint64_t size() const override;
    bool read(std::uint64_t offset, std::size_t length, std::string& out) const override;

  private:
    const SourceFile& file_;
};

}  // namespace morrowtide::meta
