#include "bench/synthetic_game.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "tools/package_writer.h"

namespace qv::bench {

namespace {

bool writeWhole(const std::string& path, const std::string& data) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::cerr << "quorvel-bench: cannot create " << path << ": " << std::strerror(errno)
                  << '\n';
        return false;
    }
    bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    ok = (::close(fd) == 0) && ok;
    if (!ok) std::cerr << "quorvel-bench: cannot write " << path << '\n';
    return ok;
}

// Writes `data` leaving [holeFrom, holeTo) a hole: a package's objects, which nothing the bench
// times reads, cost no disk and no write.
bool writeSparse(const std::string& path, const std::string& data, std::size_t holeFrom,
                 std::size_t holeTo) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return writeWhole(path, data);
    const std::size_t tail = data.size() - holeTo;
    bool ok = ::pwrite(fd, data.data(), holeFrom, 0) == static_cast<ssize_t>(holeFrom) &&
              ::pwrite(fd, data.data() + holeTo, tail, static_cast<off_t>(holeTo)) ==
                  static_cast<ssize_t>(tail);
    ok = (::close(fd) == 0) && ok;
    if (!ok) std::cerr << "quorvel-bench: cannot write " << path << '\n';
    return ok;
}

// A cached package of real-like size: a map's LevelInfo, textures, sounds and brushes, 40
// objects of 200 KiB together, with the names, imports and exports they take.
pkg::PackageSpec realLikeSpec(const std::string& guid) {
    pkg::PackageSpec spec;
    spec.guid = guid;
    spec.needs = {"Engine", "Botpack"};
    spec.exports.push_back({"LevelInfo", "LevelInfo0", std::string(900, 'L')});
    const char* classes[] = {"Texture", "Sound", "Model", "Palette"};
    for (int i = 0; i < 39; ++i)
        spec.exports.push_back({classes[i % 4], std::string(classes[i % 4]) + std::to_string(i),
                                std::string(1024u * (1 + (i * 7) % 9), 'O')});
    return spec;
}

bool makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    std::cerr << "quorvel-bench: cannot create " << path << ": " << std::strerror(errno) << '\n';
    return false;
}

}  // namespace

std::string syntheticGuid(std::size_t i) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08zX51C0BE7C%016zX", i * 2654435761u % 0xFFFFFFFFu, i);
    return std::string(buf, 32);
}

std::vector<std::string> syntheticNeverMoveNames() {
    return {"Botpack.u", "Engine.u", "UnrealShare.u", "UnrealI.u", "Core.u",
            "Fire.u",    "IpDrv.u",  "UWeb.u",        "UTMenu.u",  "UBrowser.u"};
}

std::vector<std::string> syntheticRealNames(std::size_t entries) {
    static const char* mapPrefixes[] = {"CTF-", "DM-", "AS-", "DOM-"};
    const std::vector<std::string> neverMove = syntheticNeverMoveNames();
    std::vector<std::string> names;
    names.reserve(entries);
    char buf[64];
    for (std::size_t i = 0; i < entries; ++i) {
        const unsigned slot = static_cast<unsigned>(i % 100);
        if (slot < 34) {
            std::snprintf(buf, sizeof buf, "%sBench%06zu%s", mapPrefixes[i % 4], i,
                          i % 7 == 0 ? "][.unr" : ".unr");
        } else if (slot < 58) {
            std::snprintf(buf, sizeof buf, "BenchTex%06zu.utx", i);
        } else if (slot < 70) {
            std::snprintf(buf, sizeof buf, "BenchSnd%06zu.uax", i);
        } else if (slot < 78) {
            std::snprintf(buf, sizeof buf, "BenchMus%06zu.umx", i);
        } else if (slot < 88) {
            std::snprintf(buf, sizeof buf, "BenchMod%06zu.u", i);
        } else if (slot < 92) {
            std::snprintf(buf, sizeof buf, "BenchMod%06zu.int", i);
        } else if (slot < 93) {
            std::snprintf(buf, sizeof buf, "BenchDemo%06zu.dem", i);
        } else if (slot < 96) {
            static const char* unknown[] = {".umod", ".txt", ".ucl"};
            std::snprintf(buf, sizeof buf, "BenchPack%06zu%s", i, unknown[i % 3]);
        } else if (slot < 98 && i >= 100) {
            // The same package again under a new GUID.
            names.push_back(names[i - 37]);
            continue;
        } else if (slot < 99) {
            names.push_back(neverMove[(i / 100) % neverMove.size()]);
            continue;
        } else {
            std::snprintf(buf, sizeof buf, "BenchMixed%06zu.UTX", i);
        }
        names.emplace_back(buf);
    }
    return names;
}

bool writeProgramFolder(const std::string& root, SyntheticGame& game) {
    game.programFolder = root + "/program";
    if (!makeFolder(game.programFolder)) return false;
    std::string dontMove;
    for (const std::string& n : syntheticNeverMoveNames()) dontMove += n + "\r\n";
    return writeWhole(game.programFolder + "/Quorvel.ini",
                      "[Dirs]\r\nCachePath=Cache\r\nCacheExt=uxx\r\nMaps=Maps\r\n"
                      "Textures=Textures\r\nSounds=Sounds\r\nMusic=Music\r\n") &&
           writeWhole(game.programFolder + "/QuorvelDontMove.ini", dontMove);
}

bool writeGameFolder(const std::string& root, const std::string& gameName,
                     const std::vector<std::string>& realNames, SyntheticGame& game) {
    game.gameDir = root + "/" + gameName;
    game.cacheDir = game.gameDir + "/Cache";
    if (!makeFolder(game.gameDir)) return false;
    for (const char* sub : {"System", "Maps", "Textures", "Sounds", "Music", "Cache"})
        if (!makeFolder(game.gameDir + "/" + sub)) return false;
    if (!writeWhole(game.gameDir + "/System/UnrealTournament.ini",
                    "[Core.System]\r\nPurgeCacheDays=30\r\nCachePath=../Cache\r\n"))
        return false;
    // The game's own packages, which the cached ones need, as the game installs them.
    std::size_t own = 0;
    for (const std::string& name : syntheticNeverMoveNames()) {
        pkg::PackageSpec spec;
        spec.guid = syntheticGuid(realNames.size() + own++);
        if (!writeWhole(game.gameDir + "/System/" + name, pkg::writePackage(spec))) return false;
    }

    // The index is written as it is formed, so the bench holds no copy of it.
    const std::string indexPath = game.cacheDir + "/cache.ini";
    std::FILE* index = std::fopen(indexPath.c_str(), "wb");
    if (!index) {
        std::cerr << "quorvel-bench: cannot create " << indexPath << '\n';
        return false;
    }
    // A package carries its GUID in its header, so no two cache files hold the same bytes: a
    // name listed twice is two versions, not one file twice.
    std::string body;
    bool ok = std::fputs("[Cache]\r\n", index) >= 0;
    for (std::size_t i = 0; ok && i < realNames.size(); ++i) {
        const std::string guid = syntheticGuid(i);
        pkg::PackageLayout at;
        body = pkg::writePackage(realLikeSpec(guid), &at);
        game.tablesAt = at.importsAt, game.fileSize = body.size();
        ok = writeSparse(game.cacheDir + "/" + guid + ".uxx", body, at.objectsAt, at.importsAt) &&
             std::fprintf(index, "%s=%s\r\n", guid.c_str(), realNames[i].c_str()) >= 0;
    }
    ok = (std::fclose(index) == 0) && ok;
    if (!ok) std::cerr << "quorvel-bench: cannot write " << indexPath << '\n';
    return ok;
}

}  // namespace qv::bench
