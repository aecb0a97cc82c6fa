#include "engine/placement.h"

#include <cerrno>

#include "engine/engine_context.h"
#include "platform/ascii.h"
#include "platform/filesystem.h"

namespace qv {

namespace {

constexpr std::size_t kGuidLength = 32;
constexpr std::size_t kRealNameStart = 33;  // the 34th character

std::string upperTail(std::string_view text, std::size_t count) {
    return upperAscii(text.size() > count ? text.substr(text.size() - count) : text);
}

void writeLog(OutFile* log, const std::string& line) {
    if (log) (void)log->write(line + "\r\n");  // a failed log write is skipped
}

// The folder-tree mode's sub-folder of a type, with its separators on both sides.
const char* treeSubFolder(PackageType type) {
    switch (type) {
        case PackageType::Map:
            return "/Maps/";
        case PackageType::Texture:
            return "/Textures/";
        case PackageType::Music:
            return "/Music/";
        case PackageType::Sound:
            return "/Sounds/";
        default:
            return "/System/";
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

std::string destinationOf(PackageType type, const std::string& realName,
                          const PlacementContext& ctx) {
    switch (ctx.mode) {
        case PlacementMode::TypeFolders:
            return typeFolder(type, ctx) + "/" + realName;
        case PlacementMode::OneFolder:
            return ctx.moveDirText + "/" + realName;
        case PlacementMode::FolderTree:
            break;
    }
    return ctx.moveDir2Text + treeSubFolder(type) + realName;
}

}  // namespace

PackageType packageTypeOfLine(std::string_view line) {
    // A line too short to hold a GUID, the "=" and a name has no real name and no type.
    if (line.size() <= kRealNameStart) return PackageType::Unknown;
    const std::string key = upperTail(line.substr(kRealNameStart), 3);
    if (key == "UNR") return PackageType::Map;
    if (key == "UTX") return PackageType::Texture;
    if (key == "UMX") return PackageType::Music;
    if (key == "UAX") return PackageType::Sound;
    if (key == "INT" || key == "DEM") return PackageType::System;
    if (upperAscii(line.back()) == 'U') return PackageType::System;
    return PackageType::Unknown;
}

bool isUnsafeRealName(std::string_view realName) {
    if (realName.empty() || realName == "." || realName == "..") return true;
    if (realName.size() >= 2 && isAlphaAscii(realName[0]) && realName[1] == ':') return true;
    for (char c : realName) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) return true;
    }
    return false;
}

std::string moveLineText(const std::string& cacheFileName, const std::string& destination) {
    return "**OLD** " + cacheFileName + "  ---->  **NEW** " + destination;
}

void PlaceCacheEntry(const std::string& line, const PlacementContext& ctx, FileSystem& fs,
                     StatusSink& status, OutFile* log, std::vector<std::string>& keptLines) {
    const std::string guid = line.substr(0, kGuidLength);
    const std::string cacheFileName = guid + "." + ctx.cacheExt;
    const std::string realName =
        line.size() > kRealNameStart ? line.substr(kRealNameStart) : std::string();

    const PackageType type = packageTypeOfLine(line);
    if (type == PackageType::Unknown) {
        status.addLine(realName + " does NOT have a known file extension and cannot be moved");
        writeLog(log, realName + "  does NOT have a known file extension and cannot be moved");
        keptLines.push_back(line);
        return;
    }

    // Both names come from the index, which a server chose; neither may leave its folder.
    const bool unsafeReal = isUnsafeRealName(realName);
    if (unsafeReal || isUnsafeRealName(cacheFileName)) {
        const std::string text = (unsafeReal ? realName : cacheFileName) +
                                 " is not a safe file name and cannot be moved";
        status.addLine(text);
        writeLog(log, text);
        keptLines.push_back(line);
        return;
    }

    // The move itself finds a missing cache file; the existence test runs only after a failed
    // move, so a package that moves costs no extra lookup.
    const std::string source = ctx.cacheDir + "/" + cacheFileName;
    const std::string destination = destinationOf(type, realName, ctx);
    const Status moved = fs.moveNoReplace(source, destination);
    // Only a cache file that is surely gone loses its line: a lookup that failed for another
    // reason (a disk error) proves nothing, and the package may still be there.
    if (!moved.ok() && moved.code == ENOENT && !fs.exists(source)) {
        const std::string text = cacheFileName + " NOT FOUND in the Cache Directory";
        status.addLine(text);
        writeLog(log, text);
        return;
    }
    // A copy of these very bytes already there (a run killed between the copy across file
    // systems and the deletion of its source): the package is placed, the cache copy is spare.
    if (!moved.ok() && moved.code == EEXIST) {
        const Result<bool> same = fs.sameBytesInOtherFile(source, destination);
        if (same.ok() && same.value && fs.removeFile(source).ok()) {
            const std::string text = cacheFileName + " was already at " + destination +
                                     " with the same contents; the cache copy was removed";
            status.addLine(text);
            writeLog(log, text);
            return;
        }
    }
    if (!moved.ok()) {
        const std::string text =
            cacheFileName + " could NOT be moved to " + destination + " (" + moved.text + ")";
        status.addLine(text);
        writeLog(log, text);
        keptLines.push_back(line);
        return;
    }
    const std::string text = moveLineText(cacheFileName, destination);
    status.addLine(text);
    writeLog(log, text);
}

}  // namespace qv
