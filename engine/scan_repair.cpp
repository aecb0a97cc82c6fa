#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/scan.h"
#include "platform/ascii.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/textfile.h"

namespace qv {

namespace {

// The index with ".unr" added to every line that has no '.' but names a map by its prefix.
std::string repairedIndex(const std::string& index, bool& lineLeftUnrepaired) {
    static const char* const kMapPrefixes[] = {"AS-", "CTF-", "DM-", "DOM-"};
    std::string out;
    out.reserve(index.size() + index.size() / 8);
    for (const std::string& line : splitLines(index)) {
        out += line;
        const std::string upper = upperAscii(line);
        // Blank lines are no entries: the game ends every index with one.
        if (line.find('.') == std::string::npos && upper != "[CACHE]" && !isBlankLine(line)) {
            bool isMap = false;
            for (const char* prefix : kMapPrefixes)
                if (upper.find(prefix) != std::string::npos) isMap = true;
            if (isMap)
                out += ".unr";
            else
                lineLeftUnrepaired = true;
        }
        out += "\r\n";
    }
    return out;
}

// Writes and flushes the whole file; false on any failure.
bool writeWholeFile(FileSystem& fs, const std::string& path, const std::string& data) {
    Result<std::unique_ptr<OutFile>> file = fs.createFile(path);
    if (!file || !file.value) return false;
    const bool written = file.value->write(data).ok();
    const bool closed = file.value->close().ok();
    return written && closed;
}

}  // namespace

bool FixMissingMapExtensions(const std::string& cacheDir, PublicVariables& pv, ScanState& state,
                             EngineContext& ctx) {
    const std::string indexPath = cacheDir + "/cache.ini";
    const std::string fixPath = cacheDir + "/cachefix.ini";

    Result<std::string> index = ctx.fs.readAll(indexPath);
    if (!index) return false;

    bool lineLeftUnrepaired = false;
    const std::string fixed = repairedIndex(index.value, lineLeftUnrepaired);

    // cache.ini is only ever replaced by the complete, flushed cachefix.ini in one rename.
    if (!writeWholeFile(ctx.fs, fixPath, fixed) || !ctx.fs.renameReplace(fixPath, indexPath)) {
        if (ctx.fs.exists(fixPath)) ctx.fs.removeFile(fixPath);
        return false;
    }

    ctx.dialogs.message(kProgramTitle,
                        lineLeftUnrepaired
                            ? "A file extension is still missing...only maps can be fixed."
                            : "Auto-corrected all missing map extensions...");
    pv.MapFixDone = true;

    state.rows.clear();
    ClearCacheEntries(pv);
    ScanCache(pv, state, ctx);
    return true;
}

}  // namespace qv
