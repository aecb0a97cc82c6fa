#include "engine/cache/cache_lock.h"

#include <cerrno>

#include "engine/cache/index_file.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "settings/program_settings.h"

namespace qv {

IndexForRewrite readIndexForRewrite(const CacheLock& lock, const std::string& indexPath,
                                    FileSystem& fs, Dialogs& dialogs, const char* undone,
                                    std::string& text) {
    if (lock.busy()) {
        dialogs.message(kProgramTitle, kCacheBusyMessage);
        return IndexForRewrite::Busy;
    }
    Result<std::string> index = readWholeIndex(fs, indexPath);
    if (!index.ok() && index.status.code == EBUSY) {
        dialogs.message(kProgramTitle, "CACHE.INI is being written (" + index.status.text +
                                           "); nothing was changed.");
        return IndexForRewrite::Unreadable;
    }
    if (!index.ok()) {
        dialogs.message(kProgramTitle, "Cache.INI could not be read (" + index.status.text + ")");
        return IndexForRewrite::Unreadable;
    }
    if (const Status w = fs.canReplace(indexPath); !w.ok()) {
        dialogs.message(kProgramTitle, "CACHE.INI cannot be replaced (" + w.text +
                                           "); nothing was " + undone + ".");
        return IndexForRewrite::NotReplaceable;
    }
    text = std::move(index.value);
    return IndexForRewrite::Read;
}

}  // namespace qv
