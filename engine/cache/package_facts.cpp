#include "engine/cache/package_facts.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "engine/cache/cache_entry.h"
#include "engine/cache/scan.h"
#include "engine/public_variables.h"
#include "engine/run/placement.h"
#include "engine/run/run.h"
#include "package/package_reader.h"
#include "platform/ascii.h"
#include "platform/paths.h"
#include "settings/program_files.h"
#include "settings/program_settings.h"

namespace qv {

namespace {

std::string_view folderOf(std::string_view path) {
    const std::size_t slash = lastSeparator(path);
    return slash == std::string_view::npos ? std::string_view(".") : path.substr(0, slash);
}

}  // namespace

const std::string& FolderNames::folded(std::string_view name) {
    upper_.assign(name);
    for (char& c : upper_) c = upperAscii(c);
    return upper_;
}

const std::unordered_multimap<std::string, std::string>& FolderNames::of(std::string_view folder) {
    if (lastNames_ && lastFolder_ == folder) return *lastNames_;
    lastFolder_.assign(folder);
    auto it = folders_.find(lastFolder_);
    if (it == folders_.end()) {
        it = folders_.try_emplace(lastFolder_).first;
        (void)fs_.forEachEntry(lastFolder_, [&](std::string_view name, EntryKind kind) {
            if (kind == EntryKind::File) it->second.emplace(upperAscii(name), std::string(name));
        });
    }
    // Elements of an unordered_map stay where they are when it grows.
    lastNames_ = &it->second;
    return it->second;
}

std::optional<std::string> FolderNames::find(std::string_view folder, std::string_view name) {
    const Names& names = of(folder);
    const auto [first, last] = names.equal_range(folded(name));
    std::optional<std::string> found;
    for (auto it = first; it != last; ++it) {
        if (it->second == name) return it->second;
        if (!found) found = it->second;
    }
    return found;
}

std::optional<std::string> FolderNames::findPackage(
    const std::vector<std::pair<std::string, std::string>>& paths, std::string_view packageName) {
    if (paths != packagePaths_ || (packages_.empty() && !paths.empty())) {
        packagePaths_ = paths;
        packages_.clear();
        for (const auto& [folder, extension] : paths) {
            const std::string suffix = "." + upperAscii(extension);
            for (const auto& [upper, name] : of(folder))
                if (upper.size() > suffix.size() && upper.ends_with(suffix))
                    packages_.emplace(upper.substr(0, upper.size() - suffix.size()),
                                      joinPath(folder, name));
        }
    }
    const auto it = packages_.find(folded(packageName));
    if (it == packages_.end()) return std::nullopt;
    return it->second;
}

const char* conditionText(PackageCondition c) {
    switch (c) {
        case PackageCondition::Unknown:
            return "unknown";
        case PackageCondition::NotPackage:
            return "not read";
        case PackageCondition::Whole:
            return "ok";
        case PackageCondition::Damaged:
            return "damaged";
        case PackageCondition::Unreadable:
            return "unreadable";
        case PackageCondition::NoFile:
            return "no file";
    }
    return "unknown";
}

const char* installedText(InstalledVersion v) {
    switch (v) {
        case InstalledVersion::Same:
            return "same version";
        case InstalledVersion::Other:
            return "other version";
        case InstalledVersion::None:
            break;
    }
    return "";
}

bool isSameVersion(const HeaderFacts& installed, std::string_view guid) {
    return installed.fault == PackageFault::None && equalsNoCaseAscii(installed.guid.view(), guid);
}

std::optional<std::string> installedPackage(std::string_view line, std::string_view destination,
                                            const PlacementContext& place, FolderNames& folders) {
    const std::string_view realName = line.substr(std::min(line.size(), kRealNameStart));
    if (destination.empty()) return std::nullopt;
    // Its own file name at its destination, in any letter case.
    const std::string_view folder = folderOf(destination);
    if (const std::optional<std::string> there = folders.find(folder, realName))
        return joinPath(folder, *there);
    // The game finds a package by its name alone, along its paths, whatever the extension.
    if (place.mode != PlacementMode::TypeFolders || !isPackageFileName(realName))
        return std::nullopt;
    return folders.findPackage(place.gamePaths, packageNameOf(realName));
}

std::optional<std::string> installedPackage(std::string_view line, const PlacementContext& place,
                                            FolderNames& folders) {
    return installedPackage(line, destinationOfLine(line, place), place, folders);
}

namespace {

// The real name of an index line ("" for none), and whether its cache file is a package to read.
std::string_view realNameOf(std::string_view line) {
    return line.size() > kRealNameStart ? line.substr(kRealNameStart) : "";
}
bool readsHeader(std::string_view line) {
    return isPackageFileName(realNameOf(line)) && line.size() > kGuidLength;
}

void cacheFileOf(std::string_view line, const PlacementContext& place,
                 std::string_view cacheFileOnDisk, std::string& path) {
    const std::string_view guid = line.substr(0, kGuidLength);
    path.clear();
    path.reserve(place.cacheDir.size() + 2 + guid.size() + place.cacheExt.size() +
                 cacheFileOnDisk.size());
    path.append(place.cacheDir).push_back(kSep);
    if (cacheFileOnDisk.empty())
        path.append(guid).append(".").append(place.cacheExt);
    else
        path.append(cacheFileOnDisk);
}

// The facts of a package line whose cache file (`cacheFileOnDisk`, or by its GUID) said `header`.
PackageFacts factsFrom(std::string_view line, const PlacementContext& place,
                       std::string_view cacheFileOnDisk, const HeaderFacts& header, FileSystem& fs,
                       HeaderCache& headers, FolderNames& folders) {
    PackageFacts facts;
    facts.guid = header.guid;
    facts.version = header.version;
    facts.reason = header.reason;
    switch (header.fault) {
        case PackageFault::None:
            facts.condition = equalsNoCaseAscii(header.guid.view(), line.substr(0, kGuidLength))
                                  ? PackageCondition::Whole
                                  : PackageCondition::Damaged;
            if (facts.condition == PackageCondition::Damaged)
                facts.reason = "its GUID is not its cache file name";
            break;
        case PackageFault::Unreadable: {
            std::string cacheFile;
            cacheFileOf(line, place, cacheFileOnDisk, cacheFile);
            facts.condition =
                fs.exists(cacheFile) ? PackageCondition::Unreadable : PackageCondition::NoFile;
            return facts;
        }
        default:
            facts.condition = PackageCondition::Damaged;
            break;
    }
    const std::optional<std::string> there = installedPackage(line, place, folders);
    if (!there) return facts;
    facts.installedPath = *there;
    const HeaderFacts installed = headers.factsOf(fs, facts.installedPath);
    const bool same = header.guid.known && isSameVersion(installed, header.guid.view());
    facts.installed = same ? InstalledVersion::Same : InstalledVersion::Other;
    return facts;
}

}  // namespace

PackageFacts examineLine(std::string_view line, const PlacementContext& place,
                         std::string_view cacheFileOnDisk, FileSystem& fs, HeaderCache& headers,
                         FolderNames& folders, std::vector<std::string>* needs,
                         FileIdentity* identity) {
    if (!readsHeader(line)) {
        PackageFacts facts;
        facts.condition = PackageCondition::NotPackage;
        return facts;
    }
    std::string cacheFile;
    cacheFileOf(line, place, cacheFileOnDisk, cacheFile);
    const HeaderFacts header =
        headers.factsOf(fs, cacheFile, needs, identity, packageDataNoun(realNameOf(line)));
    return factsFrom(line, place, cacheFileOnDisk, header, fs, headers, folders);
}

namespace {

constexpr std::size_t kBatch = 256;

// The line the header pass examines for entry k: the GUID its cache file is named by, "=" and
// its real name.
void entryLine(const PublicVariables& pv, std::size_t k, std::string& line) {
    const std::string& file = pv.CacheFileNames[k];
    line.assign(std::string_view(file).substr(0, std::min(file.find('.'), file.size())));
    line.resize(kGuidLength, ' ');
    line.append("=").append(pv.RealNames[k]);
}

// A second reader for a first pass over a large cache: it reads the cache files of every other
// batch (1, 3, 5, ...) on a thread of its own while the pass reads the rest, so the two wait for
// the system in turns rather than one after the other. It runs at most kAhead batches ahead of
// what the pass has taken; what it read is taken in index order, so the list fills as before.
class SecondReader {
  public:
    struct Read {
        HeaderFacts header;
        FileIdentity identity;
        bool examined = false;  // a package line whose cache file it tried to read
        bool opened = false;    // and opened
    };

    SecondReader(const PublicVariables& pv, const PlacementContext& place, FileSystem& fs,
                 const std::atomic<bool>* stop, HeaderCache::WholeRead wholeRead)
        : pv_(pv),
          place_(place),
          fs_(fs),
          stop_(stop),
          wholeRead_(std::move(wholeRead)),
          ring_(kAhead * kBatch) {
        thread_ = std::thread([this] { work(); });
    }
    ~SecondReader() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    static bool takes(std::size_t batch) { return batch % 2 == 1; }

    // The batch's reads, waiting for them; null when the reader ended without them (stopped, or
    // out of memory), so the pass reads them itself.
    const Read* batch(std::size_t batch) {
        const std::size_t j = batch / 2;
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return done_ > j || ended_; });
        return done_ > j ? &ring_[(j % kAhead) * kBatch] : nullptr;
    }
    // The pass took the batch's reads: their room may be used again.
    void taken(std::size_t batch) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            taken_ = batch / 2 + 1;
        }
        changed_.notify_all();
    }

  private:
    static constexpr std::size_t kAhead = 4;

    void work() {
        try {
            HeaderCache headers(false);
            headers.onWholeRead(wholeRead_);
            std::string line, cacheFile;
            const std::size_t entries = pv_.EntryCount();
            for (std::size_t j = 0; 2 * j + 1 < (entries + kBatch - 1) / kBatch; ++j) {
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    changed_.wait(lock, [&] { return quit_ || j < taken_ + kAhead; });
                    if (quit_) break;
                }
                const std::size_t first = (2 * j + 1) * kBatch;
                Read* out = &ring_[(j % kAhead) * kBatch];
                for (std::size_t k = first; k < std::min(entries, first + kBatch); ++k) {
                    if (stop_ && stop_->load(std::memory_order_relaxed)) throw Stopped();
                    entryLine(pv_, k, line);
                    Read& r = out[k - first];
                    r = {};
                    if (!readsHeader(line)) continue;
                    cacheFileOf(line, place_, {}, cacheFile);
                    const std::size_t before = headers.reads();
                    r.header = headers.factsOf(fs_, cacheFile, nullptr, &r.identity,
                                               packageDataNoun(realNameOf(line)));
                    r.examined = true;
                    r.opened = headers.reads() > before;
                }
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    done_ = j + 1;
                }
                changed_.notify_all();
            }
        } catch (...) {  // a stop, or memory that ran out: the pass reads the rest itself
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
    }
    struct Stopped {};

    const PublicVariables& pv_;
    const PlacementContext& place_;
    FileSystem& fs_;
    const std::atomic<bool>* stop_;
    HeaderCache::WholeRead wholeRead_;  // called on this thread, as the pass calls it on its own
    std::vector<Read> ring_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t done_ = 0, taken_ = 0;  // of the reader's batches (batch / 2)
    bool ended_ = false, quit_ = false;
    std::thread thread_;
};

}  // namespace

void examineEntries(const PublicVariables& pv, const PlacementContext& place,
                    std::vector<PackageFacts>& facts, HeaderCache& headers, FileSystem& fs,
                    const std::function<void(std::size_t, std::size_t)>& filled,
                    const std::atomic<bool>* stop, WholeHeaders* whole) {
    // The cache folder stays open while the pass reads, so each open looks up only its name.
    struct HeldFolder {
        FileSystem& fs;
        ~HeldFolder() { fs.releaseFolders(); }
    } held{fs};
    fs.holdFolders({place.cacheDir});
    const std::size_t entries = pv.EntryCount();
    facts.assign(entries, PackageFacts{});
    headers.beginPass();
    // A first pass over a large cache reads with two threads where the file system allows it;
    // later passes look most files up by identity and need no second one.
    std::optional<SecondReader> second;
    if (headers.firstPass() && entries >= 4 * kBatch && fs.readsInParallel() &&
        std::thread::hardware_concurrency() > 1) {
        try {
            second.emplace(pv, place, fs, stop, headers.wholeRead());
        } catch (const std::system_error&) {  // no thread to be had: one reader does it all
        }
    }
    FolderNames folders(fs);
    std::string line, cacheFileName;
    for (std::size_t batch = 0, first = 0; first < entries; ++batch, first += kBatch) {
        const std::size_t end = std::min(entries, first + kBatch);
        const SecondReader::Read* read =
            second && SecondReader::takes(batch) ? second->batch(batch) : nullptr;
        std::size_t k = first;
        for (; k < end; ++k) {
            if (stop && stop->load(std::memory_order_relaxed)) break;
            entryLine(pv, k, line);
            FileIdentity identity;
            if (read && read[k - first].examined) {
                const SecondReader::Read& r = read[k - first];
                identity = r.identity;
                headers.remember(identity, r.header, r.opened);
                facts[k] = factsFrom(line, place, {}, r.header, fs, headers, folders);
            } else {
                facts[k] = examineLine(line, place, {}, fs, headers, folders, nullptr, &identity);
            }
            if (whole && facts[k].condition == PackageCondition::Whole) {
                cacheFileName.assign(line, 0, kGuidLength).append(".").append(place.cacheExt);
                whole->add(cacheFileName, identity);
            }
        }
        if (read) second->taken(batch);
        if (k < end) break;  // stopped
        if (filled) filled(first, end);
    }
    if (whole) whole->seal();
}

void uncheckDamaged(std::vector<FileRow>& rows, const std::vector<PackageFacts>& facts) {
    for (FileRow& row : rows)
        if (row.entry < facts.size() && (facts[row.entry].condition == PackageCondition::Damaged ||
                                         facts[row.entry].condition == PackageCondition::NoFile))
            row.checked = false;
}

PlacementContext listingPlacement(const PublicVariables& pv, const std::string& cacheDir,
                                  const Options& options, FileSystem& fs) {
    SettingsSnapshot settings(fs, programFiles(pv.ProgramFolder, fs).settingsFile);
    Options o = options;
    for (std::string* text : {&o.MoveDirText, &o.MoveDir2Text}) {
        const std::string trimmed = removeOneTrailingSeparator(*text);
        if (!trimmed.empty()) *text = trimmed;
    }
    PublicVariables game;
    game.GameDir = removeOneTrailingSeparator(pv.GameDir);
    return placementFor(game, settings, cacheDir, modeOf(o), o);
}

}  // namespace qv
