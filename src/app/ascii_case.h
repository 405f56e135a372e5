// SPDX-License-Identifier: GPL-3.0-or-later
// meta/ascii_case.h for QString: only a-z and A-Z change, every other character stays as it is.
#pragma once

#include <QString>

#include "meta/ascii_case.h"

namespace morrowtide::app {

inline QString asciiUpper(QString text) {
    for (QChar& c : text) c = QChar(meta::asciiUpper(c.unicode()));
    return text;
}

}  // namespace morrowtide::app
