#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv {

class FileSystem;
struct FileIdentity;

// The run journal's text, shared by its writer and its readers.
namespace journal {

constexpr const char* kHeader = "QUORVEL-JOURNAL 1\n";
constexpr const char* kSuffix = ".journal";

// `text` as one field of a record: a backslash, tab, line end or zero byte escaped.
void appendField(std::string& out, std::string_view text);
// A field as it was before appendField.
std::string unescaped(std::string_view text);

// The tab-separated fields of a record; a record of more fields than any kind has is cut (and
// then fits no kind).
struct Fields {
    std::array<std::string_view, 8> at;
    std::size_t count = 0;
    std::size_t size() const { return count; }
    std::string_view operator[](std::size_t i) const { return at[i]; }
};

Fields fieldsOf(std::string_view record);

template <class T>
T numberOf(std::string_view text) {
    T value{};
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The journal's number from its file name; 0 for any other name.
std::uint64_t idOfName(const std::string& name);
// The M record of planned package `k` that landed as `f`, into `record`.
void landingRecord(std::string& record, std::size_t k, const FileIdentity& f);
// The journals of `folder` by number, oldest first.
std::vector<std::pair<std::uint64_t, std::string>> journalFiles(FileSystem& fs,
                                                                const std::string& folder);

}  // namespace journal
}  // namespace qv
