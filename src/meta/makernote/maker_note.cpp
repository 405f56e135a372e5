#include "meta/makernote/maker_note.h"

namespace morrowtide::meta {

// Placeholder until the maker tables land: no maker is recognised yet.
bool readMakerNote(ImageInfo&) { return false; }

}  // namespace morrowtide::meta
