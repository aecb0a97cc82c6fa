#include <string>
#include <vector>

#include "engine/cache/cache_lock.h"
#include "engine/cache/index_file.h"
#include "engine/cache/scan.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "platform/ascii.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/game_process.h"
#include "platform/paths.h"
#include "platform/textfile.h"

namespace qv {

std::string indexWithMapExtensions(const std::string& index, bool& lineLeftUnrepaired) {
    static const char* const kMapPrefixes[] = {"AS-", "CTF-", "DM-", "DOM-"};
    std::string out;
    out.reserve(index.size() + index.size() / 8);
    for (const std::string& line : splitOwnLines(index)) {
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

bool FixMissingMapExtensions(const std::string& cacheDir, PublicVariables& pv, ScanState& state,
                             EngineContext& ctx) {
    const std::string indexPath = joinPath(cacheDir, "cache.ini");

    bool lineLeftUnrepaired = false;
    bool repairUndone = false;  // the game wrote its old lines back over the repaired ones
    {
        // The read and the replace happen under the cache's lock, so a run or a purge in
        // another process never has its index overwritten by one read before it. A busy cache
        // is shown as it stands; a later scan repairs it.
        CacheLock lock(cacheDir);
        if (lock.busy()) return false;

        // The game would write its own index back over the repair: none while it runs. A run or
        // a purge says so; the list shows the lines as they stand.
        if (ctx.whenGameRuns != WhenGameRuns::GoOn &&
            findRunningGame({pv.GameDir, cacheDir}, ctx.procRoot, -1, ctx.uid).running())
            return false;
        Result<std::string> index = readWholeIndex(ctx.fs, indexPath);
        if (!index) return false;
        const std::string fixed = indexWithMapExtensions(index.value, lineLeftUnrepaired);

        // Written whole under a name no other process shares, flushed, swapped with cache.ini;
        // lines the game added since the reading are kept.
        if (fixed != index.value) {
            const IndexReplacement replaced =
                replaceCacheIndex(ctx.fs, cacheDir, index.value, fixed, false);
            // Lines the game kept adding faster than the index could be replaced are named.
            if (!replaced.notKept.empty()) {
                repairUndone = true;
                std::string text;
                for (const std::string& line : replaced.notKeptReport()) text += line + "\n";
                ctx.dialogs.message(kProgramTitle, text);
            }
            if (!replaced.index.ok()) return false;
        }
    }

    if (!repairUndone)
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
