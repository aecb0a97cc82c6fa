// The run journal's text: its header, its escaped fields and records, and its file names.
#include "engine/run/journal_format.h"

#include <algorithm>

#include "platform/filesystem.h"
#include "platform/paths.h"

namespace qv::journal {

namespace {

// Whether `text` holds a byte the journal escapes; one pass with no call per byte, since
// every planned move's line is asked.
bool needsEscape(std::string_view text) {
    bool found = false;
    for (const char c : text)
        found |= c == '\\' || (static_cast<unsigned char>(c) < 0x20 &&
                               (c == '\t' || c == '\n' || c == '\r' || c == '\0'));
    return found;
}

}  // namespace

void appendField(std::string& out, std::string_view text) {
    if (!needsEscape(text)) {  // nearly every name
        out.append(text);
        return;
    }
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\0':  // a line holding a zero byte is read as one a kill cut short
                out += "\\0";
                break;
            default:
                out += c;
        }
    }
}

std::string unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c == '0' ? '\0' : c;
    }
    return out;
}

Fields fieldsOf(std::string_view record) {
    Fields f;
    std::size_t start = 0;
    for (std::size_t tab;
         f.count + 1 < f.at.size() && (tab = record.find('\t', start)) != std::string_view::npos;
         start = tab + 1)
        f.at[f.count++] = record.substr(start, tab - start);
    f.at[f.count++] = record.substr(start);
    return f;
}

// The journal's number from its file name; 0 for any other name.
std::uint64_t idOfName(const std::string& name) {
    if (!name.ends_with(kSuffix)) return 0;
    const std::string_view digits(name.data(), name.size() - std::string_view(kSuffix).size());
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    return numberOf<std::uint64_t>(digits);
}

// The M record of planned package `k` that landed as `f`, into `record`.
void landingRecord(std::string& record, std::size_t k, const FileIdentity& f) {
    record.assign("M");
    char digits[24];
    const auto field = [&](auto n) {
        record.append("\t").append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
    };
    field(static_cast<std::uint64_t>(k));
    field(f.size);
    field(f.mtimeNs);
    field(f.ctimeNs);
    field(f.device);
    field(f.inode);
}

// The journals of `folder` by number, oldest first.
std::vector<std::pair<std::uint64_t, std::string>> journalFiles(FileSystem& fs,
                                                                const std::string& folder) {
    std::vector<std::pair<std::uint64_t, std::string>> files;
    const Result<std::vector<FileInfo>> listed = fs.listFiles(folder, std::string("*") + kSuffix);
    for (const FileInfo& f : listed.value)
        if (const std::uint64_t id = idOfName(f.name); id > 0)
            files.emplace_back(id, joinPath(folder, f.name));
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace qv::journal
