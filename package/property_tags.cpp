#include "package/property_tags.h"

#include "package/package_reader.h"
#include "package/package_text.h"
#include "platform/ascii.h"

namespace qv {

namespace {
// The value's size its info byte gives: a fixed one, or a byte, word or int that follows.
std::uint32_t sizeOf(ByteCursor& c, std::uint8_t info) {
    switch ((info >> 4) & 7) {
        case 0:
            return 1;
        case 1:
            return 2;
        case 2:
            return 4;
        case 3:
            return 12;
        case 4:
            return 16;
        case 5:
            return c.u8();
        case 6:
            return c.u16();
        default:
            return c.u32();
    }
}

// An array index: one byte under 128, else two or four with the top bits saying which.
std::int32_t arrayIndexOf(ByteCursor& c) {
    const std::uint32_t b = c.u8();
    if ((b & 0x80) == 0) return static_cast<std::int32_t>(b);
    const int more = (b & 0xC0) == 0x80 ? 1 : 3;
    std::uint32_t index = b & (more == 1 ? 0x7Fu : 0x3Fu);
    for (int i = 0; i < more; ++i) index = index << 8 | c.u8();
    return static_cast<std::int32_t>(index);
}

}  // namespace

bool PropertyTags::next(PropertyTag& tag) {
    if (ended_ || failed()) return false;
    // A loop of tags stops at the cap: no real object has that many properties.
    if (++count_ > package_.limits().propertyTags) return bad_ = true, false;
    const std::int32_t nameIndex = cursor_.compact();
    if (cursor_.failed() || nameIndex < 0 ||
        static_cast<std::size_t>(nameIndex) >= package_.names().size())
        return bad_ = true, false;
    tag = {};
    tag.name = package_.name(nameIndex);
    if (equalsNoCaseAscii(tag.name, "None")) return ended_ = true, false;
    const std::uint8_t info = cursor_.u8();
    const int type = info & 0x0F;
    if (type == 0) return bad_ = true, false;
    tag.type = static_cast<PropertyType>(type);
    if (tag.type == PropertyType::Struct) tag.structName = package_.name(cursor_.compact());
    const std::uint32_t size = sizeOf(cursor_, info);
    const bool arrayFlag = info & 0x80;
    if (tag.type == PropertyType::Bool) {
        tag.boolValue = arrayFlag;
        return !failed();
    }
    if (arrayFlag) tag.arrayIndex = arrayIndexOf(cursor_);
    const std::size_t start = cursor_.position();
    switch (tag.type) {
        case PropertyType::Byte:
            cursor_.u8();
            break;
        case PropertyType::Int:
        case PropertyType::Float:
            cursor_.u32();
            break;
        case PropertyType::Object:
        case PropertyType::Name:
        case PropertyType::Class:
            cursor_.compact();
            break;
        default:
            cursor_.bytes(size);
            break;
    }
    if (failed()) return false;
    tag.value = cursor_.span(start);
    return true;
}

std::int32_t tagInt(const PropertyTag& tag) {
    ByteCursor c(tag.value);
    if (tag.type == PropertyType::Byte) return c.u8();
    return tag.type == PropertyType::Int ? static_cast<std::int32_t>(c.u32()) : 0;
}

std::int32_t tagObject(const PropertyTag& tag) {
    if (tag.type != PropertyType::Object && tag.type != PropertyType::Class) return 0;
    ByteCursor c(tag.value);
    return c.compact();
}

std::optional<std::string> tagString(const PropertyTag& tag) {
    if (tag.type != PropertyType::Str && tag.type != PropertyType::String) return std::nullopt;
    ByteCursor c(tag.value);
    const std::int32_t length = c.compact();
    if (length == 0) return std::string();
    // A negative length counts UTF-16 code units; a positive one Windows-1252 bytes.
    const bool wide = length < 0;
    const std::uint64_t units = wide ? -static_cast<std::int64_t>(length) : length;
    if (units > c.left()) return std::nullopt;
    std::string_view text = c.bytes(static_cast<std::size_t>(units * (wide ? 2 : 1)));
    if (c.failed()) return std::nullopt;
    if (wide) {
        if (text.size() >= 2 && text.substr(text.size() - 2) == std::string_view("\0\0", 2))
            text.remove_suffix(2);
        return textFromUtf16(text);
    }
    if (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    return textFromWindows1252(text);
}

}  // namespace qv
