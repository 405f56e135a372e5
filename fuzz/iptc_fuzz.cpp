// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes as an APP13 section's data through the IPTC parser, then through the list and tag operations on
// what it found. Nothing may read outside the input, hang, or break the object's rules.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "meta/iptc.h"

using namespace morrowtide::meta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    IptcData iptc;
    iptc.parseIptcSection(input);

    for (int i = 0; i < iptc.entryCount(); ++i) {
        const TagEntry entry = iptc.entryAt(i);
        // Only record 2 and 8 datasets with a number are kept; a plain value is a piece of the input.
        if (entry.tag == 0 || (entry.indexCode != 2 && entry.indexCode != 8)) std::abort();
        if (!isListDataset(entry.tag) && entry.text.size() > size) std::abort();
        if (iptc.indexOfTag(entry.name) < 0) std::abort();
        // Splitting a joined list gives the same items back, so a stored list reads as it was written.
        const auto items = splitCommaList(entry.text);
        if (splitCommaList(joinCommaList(items)) != items) std::abort();
    }

    // The edit operations with the input's first bytes as values, on a copy of what was parsed.
    IptcData edited = iptc;
    const std::string_view value = input.substr(0, input.size() < 64 ? input.size() : 64);
    edited.storeTag("Keywords", value);
    edited.storeTag("City", value);
    edited.appendTag("SuppCategory", value);
    if (edited.setTag("Custom_200", value) >= 0 && iptc.indexOfTag("Custom_200") < 0) std::abort();
    edited.deleteTag("City");
    (void)edited.textLines();
    edited.setEntryCount(edited.entryCount() / 2);
    edited.clearEntries();
    if (edited.hasEntries()) std::abort();
    return 0;
}
