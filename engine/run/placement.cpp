#include "engine/run/placement.h"

#include <cerrno>

#include "engine/cache/cache_entry.h"
#include "engine/engine_context.h"
#include "engine/run/run_journal.h"
#include "platform/ascii.h"
#include "platform/filesystem.h"
#include "platform/paths.h"

namespace qv {

namespace {

// Does the upper-cased end of `text` equal `key` (three upper-case letters)?
bool endsWithKey(std::string_view text, const char* key) {
    if (text.size() < 3) return false;
    const std::string_view tail = text.substr(text.size() - 3);
    return upperAscii(tail[0]) == key[0] && upperAscii(tail[1]) == key[1] &&
           upperAscii(tail[2]) == key[2];
}

// Writes `text` to the log with its line end, and then to the status list without it. The line
// end goes on and off the same string, so no copy is made.
void report(std::string& text, StatusSink& status, OutFile* log) {
    if (log) {
        text.append("\r\n");
        (void)log->write(text);  // a failed log write is skipped
        text.resize(text.size() - 2);
    }
    status.addLine(text);
}

// The folder-tree mode's sub-folder of a type.
const char* treeSubFolder(PackageType type) {
    switch (type) {
        case PackageType::Map:
            return "Maps";
        case PackageType::Texture:
            return "Textures";
        case PackageType::Music:
            return "Music";
        case PackageType::Sound:
            return "Sounds";
        default:
            return "System";
    }
}

const std::string& typeFolder(PackageType type, const PlacementContext& ctx) {
    switch (type) {
        case PackageType::Map:
            return ctx.mapsDir;
        case PackageType::Texture:
            return ctx.texturesDir;
        case PackageType::Music:
            return ctx.musicDir;
        case PackageType::Sound:
            return ctx.soundsDir;
        default:
            return ctx.systemDir;
    }
}

std::string destinationOf(PackageType type, std::string_view realName,
                          const PlacementContext& ctx) {
    std::string path;
    switch (ctx.mode) {
        case PlacementMode::TypeFolders:
            path.reserve(typeFolder(type, ctx).size() + 1 + realName.size());
            path.append(typeFolder(type, ctx)).push_back(kSep);
            break;
        case PlacementMode::OneFolder:
            path.reserve(ctx.moveDirText.size() + 1 + realName.size());
            path.append(ctx.moveDirText).push_back(kSep);
            break;
        case PlacementMode::FolderTree:
            path.reserve(ctx.moveDir2Text.size() + 12 + realName.size());
            path.append(ctx.moveDir2Text).push_back(kSep);
            path.append(treeSubFolder(type)).push_back(kSep);
            break;
    }
    return path.append(realName);
}

}  // namespace

PackageType packageTypeOfLine(std::string_view line) {
    // A line too short to hold a GUID, the "=" and a name has no real name and no type.
    if (line.size() <= kRealNameStart) return PackageType::Unknown;
    const std::string_view name = line.substr(kRealNameStart);
    if (endsWithKey(name, "UNR")) return PackageType::Map;
    if (endsWithKey(name, "UTX")) return PackageType::Texture;
    if (endsWithKey(name, "UMX")) return PackageType::Music;
    if (endsWithKey(name, "UAX")) return PackageType::Sound;
    if (endsWithKey(name, "INT") || endsWithKey(name, "DEM")) return PackageType::System;
    if (upperAscii(line.back()) == 'U') return PackageType::System;
    return PackageType::Unknown;
}

namespace {

// A name that NTFS and exFAT refuse or store under another one (a game folder on a Windows disk
// mounted in Linux): a device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9) with any extension
// in any case, a ':' (a stream of another file on NTFS), a trailing dot or space.
bool isRefusedByWindows(std::string_view name) {
    if (name.find(':') != std::string_view::npos || name.back() == '.' || name.back() == ' ')
        return true;
    std::string_view device = name.substr(0, name.find('.'));
    while (device.ends_with(' ')) device.remove_suffix(1);  // "NUL .txt" is NUL as well
    for (const char* plain : {"CON", "PRN", "AUX", "NUL"})
        if (equalsNoCaseAscii(device, plain)) return true;
    return device.size() == 4 && isDigitAscii(device[3]) && device[3] != '0' &&
           (equalsNoCaseAscii(device.substr(0, 3), "COM") ||
            equalsNoCaseAscii(device.substr(0, 3), "LPT"));
}

}  // namespace

bool isUnsafeRealName(std::string_view realName) {
    if (realName.empty() || realName == "." || realName == "..") return true;
    // Only an extension (".unr"): no package has an empty name, and the file would be hidden.
    if (realName.rfind('.') == 0) return true;
    // Our own temporary names: a later run's clean-up would take it for a leftover and delete it.
    if (realName.starts_with(".quorvel-tmp-")) return true;
    for (char c : realName) {
        const auto u = static_cast<unsigned char>(c);
        // The separators of both systems, on every system: a name never holds one.
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) return true;  // not a path
    }
    return isRefusedByWindows(realName);
}

std::string destinationOfLine(std::string_view line, const PlacementContext& ctx) {
    const PackageType type = packageTypeOfLine(line);
    if (type == PackageType::Unknown) return {};
    const std::string_view realName = line.substr(kRealNameStart);
    if (isUnsafeRealName(realName)) return {};
    return destinationOf(type, realName, ctx);
}

std::string damagedText(std::string_view realName, const std::string& reason) {
    return std::string(realName) + " is damaged (" + reason + ") and stays in the cache";
}

std::string moveLineText(const std::string& cacheFileName, const std::string& destination) {
    static constexpr std::string_view kOld = "**OLD** ", kNew = "  ---->  **NEW** ";
    std::string text;
    // Room for the log's line end too, which report() adds and takes off again.
    text.reserve(kOld.size() + cacheFileName.size() + kNew.size() + destination.size() + 2);
    return text.append(kOld).append(cacheFileName).append(kNew).append(destination);
}

namespace {

// A damaged package that landed goes back under its cache name (an undo finds it there already),
// with its line kept: true. When it cannot, its move and that are said by `text`.
bool moveBackDamaged(std::string_view realName, const std::string& reason,
                     const std::string& source, const std::string& destination, FileSystem& fs,
                     StatusSink& status, OutFile* log, std::string& text) {
    const Status back = fs.moveNoReplace(destination, source);
    if (back.ok()) {
        std::string stays = damagedText(realName, reason);
        report(stays, status, log);
        return true;
    }
    report(text, status, log);
    text = std::string(realName) + " is damaged (" + reason +
           ") and could NOT be moved back to the cache (" + back.text + ")";
    return false;
}

}  // namespace

PlaceOutcome PlaceCacheEntry(std::string_view line, const PlacementContext& ctx, FileSystem& fs,
                             StatusSink& status, OutFile* log, std::vector<std::string>& keptLines,
                             bool listedAsFile, std::string_view cacheFileOnDisk) {
    std::string cacheFileName;
    if (!cacheFileOnDisk.empty()) {
        cacheFileName.assign(cacheFileOnDisk);
    } else {
        cacheFileName.reserve(kGuidLength + 1 + ctx.cacheExt.size());
        cacheFileName.append(line.substr(0, kGuidLength)).append(".").append(ctx.cacheExt);
    }
    const std::string_view realName =
        line.size() > kRealNameStart ? line.substr(kRealNameStart) : std::string_view();

    const PackageType type = packageTypeOfLine(line);
    if (type == PackageType::Unknown) {
        static constexpr std::string_view kUnknown =
            " does NOT have a known file extension and cannot be moved";
        status.addLine(std::string(realName).append(kUnknown));
        // The log has two spaces before "does".
        if (log)
            (void)log->write(std::string(realName).append(" ").append(kUnknown).append("\r\n"));
        keptLines.emplace_back(line);
        return PlaceOutcome::Kept;
    }

    // Both names come from the index, which a server chose; neither may leave its folder.
    const bool unsafeReal = isUnsafeRealName(realName);
    if (unsafeReal || isUnsafeRealName(cacheFileName)) {
        std::string text(unsafeReal ? realName : std::string_view(cacheFileName));
        text.append(" is not a safe file name and cannot be moved");
        report(text, status, log);
        keptLines.emplace_back(line);
        return PlaceOutcome::Kept;
    }

    // The move itself finds a missing cache file; the existence test runs only after a failed
    // move, so a package that moves costs no extra lookup. A file the run's listing of the cache
    // folder showed as plain needs no lookup of its type either.
    std::string source;
    source.reserve(ctx.cacheDir.size() + 1 + cacheFileName.size());
    source.append(ctx.cacheDir).push_back(kSep);
    source.append(cacheFileName);
    const std::string destination = destinationOf(type, realName, ctx);
    FileIdentity landed;
    const Status moved = listedAsFile ? fs.moveListedFile(source, destination, &landed)
                                      : fs.moveNoReplace(source, destination);
    // Only a cache file that is surely gone loses its line: a lookup that failed for another
    // reason (a disk error) proves nothing, and the package may still be there.
    if (!moved.ok() && moved.code == ENOENT && !fs.exists(source)) {
        std::string text = cacheFileName + " NOT FOUND in the Cache Directory";
        report(text, status, log);
        return PlaceOutcome::Missing;
    }
    // A copy of these very bytes already there (a run killed between the copy across file
    // systems and the deletion of its source): the package is placed, the cache copy is spare.
    if (!moved.ok() && moved.code == EEXIST) {
        const Result<bool> same = fs.sameBytesInOtherFile(source, destination);
        if (same.ok() && same.value && ctx.journal) ctx.journal->removingSpare(line, destination);
        if (same.ok() && same.value && fs.removeFile(source).ok()) {
            std::string text = cacheFileName + " was already at " + destination +
                               " with the same contents; the cache copy was removed";
            report(text, status, log);
            return PlaceOutcome::Moved;
        }
    }
    if (!moved.ok()) {
        std::string text =
            cacheFileName + " could NOT be moved to " + destination + " (" + moved.text + ")";
        report(text, status, log);
        keptLines.emplace_back(line);
        return PlaceOutcome::Failed;
    }
    if (ctx.journal) {
        // A move of a file not listed as plain told nothing of what landed.
        if (!listedAsFile)
            if (const Result<FileIdentity> id = fs.identityOf(destination); id.ok())
                landed = id.value;
        ctx.journal->landed(destination, landed);
    }
    std::string text = moveLineText(cacheFileName, destination);
    if (ctx.landingCheck) {
        if (!landed.known())
            if (const Result<FileIdentity> id = fs.identityOf(destination); id.ok())
                landed = id.value;
        if (const std::optional<std::string> reason =
                ctx.landingCheck->damage(line, destination, landed))
            if (moveBackDamaged(realName, *reason, source, destination, fs, status, log, text)) {
                keptLines.emplace_back(line);
                return PlaceOutcome::Kept;
            }
    }
    report(text, status, log);
    return PlaceOutcome::Moved;
}

}  // namespace qv
