#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "package/byte_reader.h"

namespace qv {

class PackageReader;

// The types of a property tag (the low four bits of its info byte).
enum class PropertyType : std::uint8_t {
    Byte = 1,
    Int,
    Bool,
    Float,
    Object,
    Name,
    String,
    Class,
    Array,
    Struct,
    Vector,
    Rotator,
    Str,
    Map,
    FixedArray
};

// One property of an object as saved: its name, type, array index and value bytes.
struct PropertyTag {
    std::string_view name;
    PropertyType type = PropertyType::Byte;
    std::int32_t arrayIndex = 0;
    bool boolValue = false;
    std::string_view structName;
    std::string_view value;
};

// Walks the property tags an object's data begins with, up to the name "None". Simple types are
// read by their own layout (a byte, four bytes, a compact index), whatever size the tag states;
// others by the stated size, which must lie within the bytes given.
class PropertyTags final {
  public:
    PropertyTags(std::string_view bytes, const PackageReader& package, std::size_t at = 0)
        : cursor_(bytes, at), package_(package) {}
    // The next tag; false at "None" (ended()) or at damage (failed()).
    bool next(PropertyTag& tag);
    bool ended() const { return ended_; }
    bool failed() const { return cursor_.failed() || bad_; }
    // Where the bytes after "None" begin.
    std::size_t position() const { return cursor_.position(); }

  private:
    ByteCursor cursor_;
    const PackageReader& package_;
    bool ended_ = false, bad_ = false;
    int count_ = 0;
};

std::int32_t tagInt(const PropertyTag& tag);     // Int, Byte
std::int32_t tagObject(const PropertyTag& tag);  // Object, Class: an object reference
// Str, String: the text without its NUL; none when the tag holds no text of this game's kind.
std::optional<std::string> tagString(const PropertyTag& tag);

}  // namespace qv
