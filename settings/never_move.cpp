#include "settings/never_move.h"

#include <cerrno>

#include "platform/filesystem.h"
#include "platform/textfile.h"

namespace qv {

Result<std::vector<std::string>> LoadNeverMoveList(const std::string& file, FileSystem& fs) {
    Result<std::string> content = fs.readAll(file);
    if (!content) return {{}, content.status};
    return {splitLines(content.value), Status::success()};
}

Status SaveNeverMoveList(const std::string& file, const std::vector<std::string>& names,
                         FileSystem& fs) {
    std::string data;
    for (auto it = names.rbegin(); it != names.rend(); ++it) data += *it + "\r\n";
    return fs.writeAtomic(file, data);
}

// The whole file is written anew rather than appended to, so an interrupted add never leaves
// a half-written name behind.
Status AppendNeverMoveName(const std::string& file, const std::string& name, FileSystem& fs) {
    Result<std::string> content = fs.readAll(file);
    if (!content) {
        if (content.status.code != ENOENT) return content.status;
        content.value.clear();
    }
    std::string& data = content.value;
    const std::string eol = lineEndChars(detectLineEnd(data));
    // A last line without its line end would otherwise run into the new name.
    if (!data.empty() && data.back() != '\n' && data.back() != '\r') data += eol;
    data += name + eol;
    return fs.writeAtomic(file, data);
}

}  // namespace qv
