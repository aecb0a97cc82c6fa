#include "engine/maintenance/package_check.h"

#include <algorithm>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "engine/cache/cache_entry.h"
#include "engine/cache/cache_lock.h"
#include "engine/cache/index_file.h"
#include "engine/cache/package_facts.h"
#include "engine/cache/scan.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/run/run_journal.h"
#include "engine/run/run_settings.h"
#include "package/package_header.h"
#include "package/package_reader.h"
#include "platform/ascii.h"
#include "platform/dialogs.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "settings/program_files.h"

namespace qv {

namespace {

std::string upperGuid(std::string_view text) {
    return upperAscii(text.substr(0, std::min(text.size(), kGuidLength)));
}

// The package files of the game's folders, and every name they and the cache answer to.
struct Known {
    std::vector<std::string> installed;                           // full paths
    std::unordered_set<std::string> installedNames, cachedNames;  // package names, upper case
    std::vector<std::pair<std::string, std::string>> cached;      // real name, cache file path
};

// The cache's index: GUID (upper case) -> line; unreadable leaves the report saying why.
std::unordered_map<std::string, std::string> indexByGuid(const CheckPlaces& p, FileSystem& fs,
                                                         CheckReport& report) {
    std::unordered_map<std::string, std::string> byGuid;
    const Result<std::string> index = readCacheIndex(fs, joinPath(p.cacheDir, "cache.ini"));
    if (!index) {
        report.indexFailure = index.status.text;
        return byGuid;
    }
    report.indexRead = true;
    for (const std::string_view line : splitLineViews(index.value))
        if (const auto entry = parseEntryView(line); entry && entry->Guid.size() == kGuidLength)
            byGuid.emplace(upperGuid(entry->Guid), std::string(line));
    return byGuid;
}

Known knownPackages(const CheckPlaces& p, FileSystem& fs,
                    const std::unordered_map<std::string, std::string>& byGuid,
                    std::vector<LinelessFile>* lineless) {
    Known k;
    FolderNames folders(fs);
    for (const std::string& folder : p.gameFolders)
        for (const auto& [upper, name] : folders.of(folder))
            if (isPackageFileName(name)) {
                k.installed.push_back(joinPath(folder, name));
                k.installedNames.emplace(packageNameOf(upper));
            }
    const Result<std::vector<FileInfo>> files = fs.listFiles(p.cacheDir, "*." + p.cacheExt);
    for (const FileInfo& f : files.value) {
        if (f.name.size() != kGuidLength + 1 + p.cacheExt.size() || f.name[kGuidLength] != '.')
            continue;
        const auto it = byGuid.find(upperGuid(f.name));
        if (it == byGuid.end()) {
            if (lineless)
                lineless->push_back({f.name, f.name.substr(0, kGuidLength), f.size, f.mtime, {}});
            continue;
        }
        const std::string realName = it->second.substr(std::min(it->second.size(), kRealNameStart));
        k.cachedNames.insert(upperAscii(packageNameOf(realName)));
        if (isPackageFileName(realName))
            k.cached.emplace_back(realName, joinPath(p.cacheDir, f.name));
    }
    return k;
}

// The packages `path` needs; false (with the reason in `unreadable`) when it cannot be read or is
// damaged. `guid`: the GUID a cache file must carry (its file name), empty for an installed one.
bool needsOf(PackageReader& reader, const std::string& path, const std::string& shown,
             std::string_view realName, std::string_view guid, FileSystem& fs,
             std::vector<std::string>& needs, std::vector<std::string>& unreadable) {
    Result<std::unique_ptr<InFile>> file = fs.openForReading(path);
    if (!file) return unreadable.push_back(shown + ": " + file.status.text), false;
    const HeaderReading r = reader.read(*file.value, packageDataNoun(realName));
    if (r.fault == PackageFault::Unreadable)
        return unreadable.push_back(shown + ": " + r.reason), false;
    if (!r.ok()) return unreadable.push_back(shown + " is damaged (" + r.reason + ")"), false;
    if (!guid.empty() && !equalsNoCaseAscii(r.header.guid.view(), guid))
        return unreadable.push_back(shown + " is damaged (its GUID is not its cache file name)"),
               false;
    needs = reader.neededPackages();
    return true;
}

// The lines the run journals and cachebak.ini still hold, by GUID (upper case).
std::unordered_map<std::string, std::string> savedLines(const CheckPlaces& p, FileSystem& fs) {
    std::unordered_map<std::string, std::string> saved;
    if (const Result<std::string> backup = fs.readAll(joinPath(p.cacheDir, "cachebak.ini")); backup)
        for (const std::string_view line : splitLineViews(backup.value))
            if (const auto e = parseEntryView(line); e && e->Guid.size() == kGuidLength)
                saved.emplace(upperGuid(e->Guid), std::string(line));
    if (!p.journalFolder.empty())
        for (const JournalRecord& j : readJournals(fs, p.journalFolder, true))
            for (const JournalEntry& e : j.entries)
                if (e.line.size() > kRealNameStart) saved.emplace(upperGuid(e.line), e.line);
    return saved;
}

}  // namespace

Result<CheckPlaces> checkPlacesFor(const PublicVariables& pv, const std::string& cacheDir,
                                   FileSystem& fs) {
    const ProgramFiles files = programFiles(pv.ProgramFolder, fs);
    SettingsSnapshot settings(fs, files.settingsFile);
    if (!settings.ok()) return {{}, Status::failure(settings.failure())};
    CheckPlaces p;
    const std::string game = removeOneTrailingSeparator(pv.GameDir);
    p.cacheDir = !cacheDir.empty() ? cacheDir
                                   : joinPath(game, toNativeSeparators(settings.dirs("CachePath")));
    p.cacheExt = cacheExtension(settings.dirs("CacheExt"));
    p.gameFolders = {joinPath(game, "System")};
    for (const char* key : {"Maps", "Textures", "Sounds", "Music"})
        p.gameFolders.push_back(joinPath(game, toNativeSeparators(settings.dirs(key))));
    p.journalFolder = journalFolder(files.runLog);
    return {std::move(p), Status::success()};
}

CheckReport checkPackages(const CheckPlaces& places, FileSystem& fs,
                          const std::atomic<bool>* stop) {
    CheckReport report;
    const auto byGuid = indexByGuid(places, fs, report);
    const Known k =
        knownPackages(places, fs, byGuid, report.indexRead ? &report.lineless : nullptr);
    PackageReader reader;
    // A damaged or unreadable package is named with its folder: an installed one by its path, a
    // cached one by its real name and its cache file's path.
    const auto judge = [&](const std::string& path, const std::string& shown, bool installed) {
        std::vector<std::string> needs;
        const std::string named = installed ? path : shown + " in the cache (" + path + ")";
        const std::string guid = installed ? "" : fileNameOf(path).substr(0, kGuidLength);
        if (!needsOf(reader, path, named, shown, guid, fs, needs, report.unreadable))
            return report.unreadablePaths.push_back(path);
        ++report.packages;
        for (std::string& need : needs) {
            const std::string upper = upperAscii(need);
            if (k.installedNames.count(upper)) continue;
            if (!k.cachedNames.count(upper))
                report.missing.push_back({shown, need, installed, path});
            else if (installed)
                report.cacheOnly.push_back({shown, need, true});
        }
    };
    for (const std::string& path : k.installed) {
        if ((report.stopped = stop && stop->load())) return report;
        judge(path, fileNameOf(path), true);
    }
    for (const auto& [realName, path] : k.cached) {
        if ((report.stopped = stop && stop->load())) return report;
        judge(path, realName, false);
    }
    if (!report.lineless.empty()) {
        const auto saved = savedLines(places, fs);
        for (LinelessFile& f : report.lineless)
            if (auto it = saved.find(upperAscii(f.guid)); it != saved.end())
                f.savedLine = it->second;
    }
    return report;
}

std::vector<MissingNeed> installedNeedingCache(const CheckPlaces& places, FileSystem& fs) {
    CheckReport report;
    const auto byGuid = indexByGuid(places, fs, report);
    const Known k = knownPackages(places, fs, byGuid, nullptr);
    std::vector<MissingNeed> out;
    PackageReader reader;
    for (const std::string& path : k.installed) {
        std::vector<std::string> needs;
        if (!needsOf(reader, path, path, fileNameOf(path), "", fs, needs, report.unreadable))
            continue;
        for (const std::string& need : needs)
            if (!k.installedNames.count(upperAscii(need)) && k.cachedNames.count(upperAscii(need)))
                out.push_back({fileNameOf(path), need, true});
    }
    return out;
}

std::string cacheOnlyNeeds(const PublicVariables& pv, const std::string& cacheDir, FileSystem& fs,
                           StatusSink& status) {
    const Result<CheckPlaces> places = checkPlacesFor(pv, cacheDir, fs);
    if (!places) return {};
    const std::vector<MissingNeed> needs = installedNeedingCache(places.value, fs);
    std::unordered_set<std::string> packages;
    for (const MissingNeed& m : needs) {
        status.addLine(cacheOnlyLine(m));
        packages.insert(m.package);
    }
    if (packages.empty()) return {};
    return "\n\n" + std::to_string(packages.size()) +
           (packages.size() == 1 ? " installed package needs" : " installed packages need") +
           " a package that only the cache holds (each named on a line of its own); the game "
           "cannot "
           "load " +
           (packages.size() == 1 ? "it" : "them") + " without it.";
}

std::vector<MissingPackage> groupMissing(const std::vector<MissingNeed>& missing) {
    std::vector<MissingPackage> groups;
    std::unordered_map<std::string, std::size_t> byName;  // upper case -> group
    for (const MissingNeed& m : missing) {
        const auto [it, added] = byName.emplace(upperAscii(m.need), groups.size());
        if (added) groups.push_back({m.need, {}, {}});
        groups[it->second].neededBy.push_back(m.package);
        groups[it->second].paths.push_back(m.path);
    }
    // Sorted by the upper-case name, then as written; each key made once.
    for (MissingPackage& g : groups) {
        std::vector<std::tuple<std::string, std::string, std::string>> keyed;
        keyed.reserve(g.neededBy.size());
        for (std::size_t i = 0; i < g.neededBy.size(); ++i)
            keyed.emplace_back(upperAscii(g.neededBy[i]), std::move(g.neededBy[i]),
                               std::move(g.paths[i]));
        std::sort(keyed.begin(), keyed.end());
        for (std::size_t i = 0; i < keyed.size(); ++i) {
            g.neededBy[i] = std::move(std::get<1>(keyed[i]));
            g.paths[i] = std::move(std::get<2>(keyed[i]));
        }
    }
    std::sort(groups.begin(), groups.end(), [](const MissingPackage& a, const MissingPackage& b) {
        const std::string ua = upperAscii(a.name), ub = upperAscii(b.name);
        return ua != ub ? ua < ub : a.name < b.name;
    });
    return groups;
}

std::string missingCountText(std::size_t packages, std::size_t needs) {
    if (packages == 0) return "no package is missing";
    return std::to_string(packages) + (packages == 1 ? " package is" : " packages are") +
           " missing, needed " +
           (needs == 1 ? std::string("once") : std::to_string(needs) + " times");
}

std::string missingNeedLine(const MissingNeed& m) {
    return m.package + " needs " + m.need + ", which is neither installed nor in the cache";
}

std::string cacheOnlyLine(const MissingNeed& m) {
    return m.package + " needs " + m.need + ", which only the cache holds";
}

std::string linelessLine(const LinelessFile& f) {
    std::string text = f.fileName + "  " + std::to_string(f.size) + " bytes  " +
                       formatFileDate(f.mtime) + "  no index line";
    if (!f.savedLine.empty()) text += " (saved: " + f.savedLine.substr(kRealNameStart) + ")";
    return text;
}

RestoreResult restoreIndexLines(const std::string& cacheDir, const std::vector<LinelessFile>& files,
                                FileSystem& fs, Dialogs& dialogs) {
    RestoreResult result;
    std::vector<std::string> wanted;
    for (const LinelessFile& f : files)
        if (!f.savedLine.empty()) wanted.push_back(f.savedLine);
    if (wanted.empty()) {
        result.status = Status::success();  // nothing to put back
        return result;
    }
    CacheLock lock(cacheDir);
    std::string index;
    switch (readIndexForRewrite(lock, joinPath(cacheDir, "cache.ini"), fs, dialogs, "restored",
                                index)) {
        case IndexForRewrite::Read:
            break;
        case IndexForRewrite::Busy:
            result.status = Status::failure(kCacheBusyMessage, EBUSY);
            return result;
        default:
            result.status = Status::failure("cache.ini could not be read or replaced");
            return result;
    }
    // A line another program added for one of these GUIDs since the check is not doubled.
    std::unordered_set<std::string> present;
    std::vector<std::string> kept;
    for (const std::string_view line : splitLineViews(index)) {
        if (line.find("[Cache]") != std::string_view::npos) continue;
        kept.emplace_back(line);
        if (parseEntryView(line)) present.insert(upperGuid(line));
    }
    for (const std::string& line : wanted)
        if (present.insert(upperGuid(line)).second) {
            kept.push_back(line);
            result.restored.push_back(line);
        }
    if (result.restored.empty()) {
        result.status = Status::success();  // every line is there already
        return result;
    }
    const IndexReplacement replaced =
        replaceCacheIndex(fs, cacheDir, index, newIndexText(kept), /*keepBackup=*/false);
    result.status = replaced.index;
    if (!result.status.ok()) result.restored.clear();
    return result;
}

}  // namespace qv
