// SPDX-License-Identifier: GPL-3.0-or-later
// What a call raised, for tests that expect one particular error.
#pragma once

#include <string>

namespace morrowtide::test {

// The message of the `Error` that `run` raises, "" when it raises none; an error of another type escapes and fails
// the test.
template <typename Error, typename Run>
std::string messageOf(Run run) {
    try {
        run();
    } catch (const Error& error) {
        return error.what();
    }
    return "";
}

}  // namespace morrowtide::test
