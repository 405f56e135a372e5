// SPDX-License-Identifier: GPL-3.0-or-later
// The bytes a decoded block reads: its own, or a view of bytes another object owns. A file container lets its
// decoded EXIF objects view the EXIF section itself, so that there is one copy of those bytes and a date written
// into it is what every reader of the block sees.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace morrowtide::meta {

class ByteBlock {
  public:
    ByteBlock() = default;
    ByteBlock(std::string bytes) : own_(std::move(bytes)) {}  // NOLINT(google-explicit-constructor): bytes in hand
    // A copy owns its bytes: it may outlive the object the original viewed.
    ByteBlock(const ByteBlock& other) : own_(other.str()) {}
    ByteBlock& operator=(const ByteBlock& other) {
        if (this != &other) {
            std::string bytes = other.str();
            own_ = std::move(bytes);
            view_ = nullptr;
        }
        return *this;
    }
    ByteBlock& operator=(std::string bytes) {
        own_ = std::move(bytes);
        view_ = nullptr;
        return *this;
    }

    // From now on the block is `bytes`, which must outlive it (or the next assignment).
    void view(const std::string& bytes) {
        own_.clear();
        view_ = &bytes;
    }
    // The bytes the block owns, for writing into; null while it views another object's.
    std::string* owned() { return view_ == nullptr ? &own_ : nullptr; }

    const std::string& str() const { return view_ != nullptr ? *view_ : own_; }
    operator const std::string&() const { return str(); }  // NOLINT(google-explicit-constructor)
    operator std::string_view() const { return str(); }     // NOLINT(google-explicit-constructor)

    std::size_t size() const { return str().size(); }
    bool empty() const { return str().empty(); }
    const char* data() const { return str().data(); }
    char operator[](std::size_t i) const { return str()[i]; }
    std::string substr(std::size_t pos, std::size_t count = std::string::npos) const { return str().substr(pos, count); }
    void clear() {
        own_.clear();
        view_ = nullptr;
    }

    friend bool operator==(const ByteBlock& a, std::string_view b) { return std::string_view(a.str()) == b; }

  private:
    std::string own_;
    const std::string* view_ = nullptr;
};

}  // namespace morrowtide::meta
