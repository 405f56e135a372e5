#include "meta/jpeg_validate.h"

#include <csetjmp>
#include <cstdio>

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

// Plain C-style frame: only trivially destructible locals, so longjmp skips no cleanup.
int readHeaderCode(const unsigned char* data, unsigned long size) {
    jpeg_decompress_struct cinfo;
    JumpingErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jumpOnError;
    errors.pub.emit_message = ignoreMessage;
    if (setjmp(errors.jump) != 0) {
        const int code = errors.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        // A fatal error always carries a code; 0 (JMSG_NOMESSAGE) must still count as a refusal.
        return code != 0 ? code : -1;
    }
    jpeg_create_decompress(&cinfo);
    // An empty buffer makes jpeg_mem_src raise JERR_INPUT_EMPTY, which is how an empty file is refused.
    jpeg_mem_src(&cinfo, data, size);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_destroy_decompress(&cinfo);
    return 0;
}

}  // namespace

JpegError::JpegError(int messageCode)
    : WriteError("JPEG error #" + std::to_string(messageCode)), messageCode_(messageCode) {}

int jpegHeaderErrorCode(std::string_view data) {
    static const unsigned char kNothing = 0;
    const auto* bytes = data.empty() ? &kNothing : reinterpret_cast<const unsigned char*>(data.data());
    return readHeaderCode(bytes, static_cast<unsigned long>(data.size()));
}

void validateJpegHeader(std::string_view data) {
    if (const int code = jpegHeaderErrorCode(data); code != 0) throw JpegError(code);
}

}  // namespace morrowtide::meta
