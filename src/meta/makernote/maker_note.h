// SPDX-License-Identifier: GPL-3.0-or-later
// Maker-note reading: recognises the camera maker and walks its private directory.
#pragma once

namespace morrowtide::meta {

class ImageInfo;

// Reads info.makerNoteBytes (at info.makerNotePos in info.block) for a known maker; writes info.makerNoteText and
// adds entries through info.storeEntry. Returns whether the maker was recognised. Never throws.
bool readMakerNote(ImageInfo& info);

}  // namespace morrowtide::meta
