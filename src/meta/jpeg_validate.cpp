// SPDX-License-Identifier: GPL-3.0-or-later
#include "meta/jpeg_validate.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <string>

#include <jerror.h>
#include <jpeglib.h>

namespace morrowtide::meta {

namespace {

// The library reports a fatal error by calling error_exit, which must not return. We jump back to the setjmp
// in readHeaderCode; nothing between the two frames holds an object with a destructor, so the jump is safe.
struct JumpingErrorManager {
    jpeg_error_mgr pub;  // first member: the library sees a jpeg_error_mgr*
    std::jmp_buf jump;
};

extern "C" void jumpOnError(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<JumpingErrorManager*>(cinfo->err);
    std::longjmp(manager->jump, 1);
}

// Warnings (corrupt data, premature end) do not make a file unacceptable.
extern "C" void ignoreMessage(j_common_ptr, int) {}

// A source of the first bytes of a file that goes on beyond them. Where the header reader wants more, it suspends
// (fill answers FALSE) instead of seeing the end of the data, which the whole file would not show there.
struct PrefixSource {
    jpeg_source_mgr pub;  // first member: the library sees a jpeg_source_mgr*
    bool wantedMore;
};

extern "C" void initPrefixSource(j_decompress_ptr) {}

extern "C" boolean fillPrefixBuffer(j_decompress_ptr cinfo) {
    reinterpret_cast<PrefixSource*>(cinfo->src)->wantedMore = true;
    return FALSE;
}

// A skip has no way to suspend: a skip past the end empties the buffer, so that the next read suspends.
extern "C" void skipPrefixData(j_decompress_ptr cinfo, long count) {
    auto* source = reinterpret_cast<PrefixSource*>(cinfo->src);
    if (count <= 0) return;
    if (static_cast<unsigned long>(count) > source->pub.bytes_in_buffer) {
        source->wantedMore = true;
        source->pub.next_input_byte += source->pub.bytes_in_buffer;
        source->pub.bytes_in_buffer = 0;
        return;
    }
    source->pub.next_input_byte += count;
    source->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

extern "C" void termPrefixSource(j_decompress_ptr) {}

// A source that reads an open file a piece at a time, so the header reader never holds more than one piece
// however long the header: a skipped section is not even read.
struct FileSource {
    jpeg_source_mgr pub;  // first member: the library sees a jpeg_source_mgr*
    const SourceFile* file;
    std::int64_t offset;  // the file position of the next piece
    std::string* piece;
};

constexpr std::size_t kFilePiece = std::size_t{1} << 16;

extern "C" boolean fillFileBuffer(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<FileSource*>(cinfo->src);
    source->piece->clear();
    const std::int64_t got = source->file->readAt(source->offset, kFilePiece, *source->piece);
    if (got > 0) {
        source->offset += got;
    } else {
        // The end of the file (or a failed read): an end-of-image marker, as the library's own sources insert.
        source->piece->assign("\xFF\xD9", 2);
    }
    source->pub.next_input_byte = reinterpret_cast<const JOCTET*>(source->piece->data());
    source->pub.bytes_in_buffer = source->piece->size();
    return TRUE;
}

extern "C" void skipFileData(j_decompress_ptr cinfo, long count) {
    auto* source = reinterpret_cast<FileSource*>(cinfo->src);
    if (count <= 0) return;
    if (static_cast<unsigned long>(count) > source->pub.bytes_in_buffer) {
        source->offset += static_cast<std::int64_t>(count - static_cast<long>(source->pub.bytes_in_buffer));
        source->pub.next_input_byte += source->pub.bytes_in_buffer;
        source->pub.bytes_in_buffer = 0;
        return;
    }
    source->pub.next_input_byte += count;
    source->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

// Plain C-style frame: only trivially destructible locals, so longjmp skips no cleanup. With `isPrefix` the data is
// the beginning of a longer file; *wantedMore then tells whether the reader asked for bytes past its end.
// `words` (JMSG_LENGTH_MAX bytes) gets the library's text of a refusal. With `fileSource` the header is read from
// there instead of `data`.
int readHeaderCode(const unsigned char* data, unsigned long size, bool isPrefix, bool* wantedMore, char* words,
                   jpeg_source_mgr* fileSource = nullptr) {
    jpeg_decompress_struct cinfo;
    JumpingErrorManager errors;
    // Set up before the setjmp: after it, only the library changes it (through the pointer it is given).
    PrefixSource prefix;
    prefix.wantedMore = false;
    prefix.pub.next_input_byte = data;
    prefix.pub.bytes_in_buffer = size;
    prefix.pub.init_source = initPrefixSource;
    prefix.pub.fill_input_buffer = fillPrefixBuffer;
    prefix.pub.skip_input_data = skipPrefixData;
    prefix.pub.resync_to_restart = jpeg_resync_to_restart;
    prefix.pub.term_source = termPrefixSource;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jumpOnError;
    errors.pub.emit_message = ignoreMessage;
    if (setjmp(errors.jump) != 0) {
        const int code = errors.pub.msg_code;
        errors.pub.format_message(reinterpret_cast<j_common_ptr>(&cinfo), words);
        jpeg_destroy_decompress(&cinfo);
        *wantedMore = prefix.wantedMore;
        // A fatal error always carries a code; 0 (JMSG_NOMESSAGE) must still count as a refusal.
        return code != 0 ? code : -1;
    }
    jpeg_create_decompress(&cinfo);
    if (fileSource != nullptr) {
        cinfo.src = fileSource;
    } else if (isPrefix) {
        cinfo.src = &prefix.pub;
    } else {
        // An empty buffer makes jpeg_mem_src raise JERR_INPUT_EMPTY, which is how an empty file is refused.
        jpeg_mem_src(&cinfo, data, size);
    }
    jpeg_read_header(&cinfo, TRUE);  // JPEG_SUSPENDED only where the prefix ran out
    jpeg_destroy_decompress(&cinfo);
    *wantedMore = prefix.wantedMore;
    return 0;
}

}  // namespace

JpegError::JpegError(int messageCode, std::string words)
    : WriteError("JPEG error #" + std::to_string(messageCode)), messageCode_(messageCode), words_(std::move(words)) {}

std::string JpegError::explanation() const {
    return "Not a JPEG picture that can be read: " + (words_.empty() ? std::string("refused by the JPEG library") : words_) +
           " (JPEG error #" + std::to_string(messageCode_) + ")";
}

namespace {

JpegRefusal refusalOf(std::string_view data, bool isPrefix, bool& wantedMore) {
    static const unsigned char kNothing = 0;
    const auto* bytes = data.empty() ? &kNothing : reinterpret_cast<const unsigned char*>(data.data());
    char words[JMSG_LENGTH_MAX] = {};
    JpegRefusal refusal;
    refusal.code = readHeaderCode(bytes, static_cast<unsigned long>(data.size()), isPrefix, &wantedMore, words);
    if (refusal.code != 0) refusal.words = words;
    return refusal;
}

}  // namespace

JpegRefusal jpegHeaderRefusal(std::string_view data) {
    bool wantedMore = false;
    return refusalOf(data, false, wantedMore);
}

int jpegHeaderErrorCode(std::string_view data) {
    return jpegHeaderRefusal(data).code;
}

std::optional<JpegRefusal> jpegPrefixRefusal(std::string_view prefix) {
    bool wantedMore = false;
    JpegRefusal refusal = refusalOf(prefix, true, wantedMore);
    if (wantedMore) return std::nullopt;
    return refusal;
}

std::optional<int> jpegPrefixErrorCode(std::string_view prefix) {
    const auto refusal = jpegPrefixRefusal(prefix);
    if (!refusal) return std::nullopt;
    return refusal->code;
}

JpegRefusal jpegFileRefusal(const SourceFile& file) {
    std::string piece;
    FileSource source{};
    source.file = &file;
    source.offset = 0;
    source.piece = &piece;
    source.pub.next_input_byte = nullptr;
    source.pub.bytes_in_buffer = 0;
    source.pub.init_source = initPrefixSource;
    source.pub.fill_input_buffer = fillFileBuffer;
    source.pub.skip_input_data = skipFileData;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = termPrefixSource;
    bool wantedMore = false;
    static const unsigned char kNothing = 0;
    char words[JMSG_LENGTH_MAX] = {};
    JpegRefusal refusal;
    refusal.code = readHeaderCode(&kNothing, 0, false, &wantedMore, words, &source.pub);
    if (refusal.code != 0) refusal.words = words;
    return refusal;
}

void validateJpegHeader(std::string_view data) {
    if (JpegRefusal refusal = jpegHeaderRefusal(data); refusal.code != 0) {
        throw JpegError(refusal.code, std::move(refusal.words));
    }
}

}  // namespace morrowtide::meta
