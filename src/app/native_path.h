// SPDX-License-Identifier: GPL-3.0-or-later
// File names as the file system's bytes, carried through QString without loss.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace morrowtide::app {

// Linux file names are bytes, not text. Valid UTF-8 decodes as usual; every byte that is not part of a valid UTF-8
// sequence becomes the lone code unit 0xDC00 + byte, which encodePath() turns back into that byte. A photo card
// written on another system (Latin-1 names) therefore keeps its names, where QFile::decodeName would replace them.
QString decodePath(std::string_view bytes);
std::string encodePath(const QString& path);

}  // namespace morrowtide::app
