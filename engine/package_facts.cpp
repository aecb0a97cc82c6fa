#include "engine/package_facts.h"

#include "engine/cache_entry.h"
#include "engine/package_reader.h"
#include "engine/placement.h"
#include "engine/public_variables.h"
#include "engine/run.h"
#include "engine/scan.h"
#include "platform/ascii.h"
#include "platform/paths.h"
#include "settings/program_files.h"
#include "settings/program_settings.h"

namespace qv {

namespace {

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalsNoCaseAscii(text.substr(text.size() - suffix.size()), suffix);
}

std::string_view folderOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view(".") : path.substr(0, slash);
}

}  // namespace

bool isPackageFileName(std::string_view name) {
    for (const char* type : {".u", ".unr", ".utx", ".uax", ".umx"})
        if (endsWithNoCase(name, type) && name.size() > std::string_view(type).size()) return true;
    return false;
}

HeaderFacts HeaderCache::factsOf(FileSystem& fs, const std::string& path,
                                 std::vector<std::string>* needs, FileIdentity* identity,
                                 std::string_view noun) {
    // A file seen before is known by one lookup of its identity, without opening it. What a file
    // needs is not kept: asked for, it is read.
    if (lookFirst_ && !needs)
        if (const Result<FileIdentity> id = fs.identityOf(path); id.ok() && id.value.known())
            if (auto it =
                    known_.find({id.value.device, id.value.inode, id.value.size, id.value.mtimeNs});
                it != known_.end()) {
                if (identity) *identity = id.value;
                return it->second;
            }
    Result<std::unique_ptr<InFile>> file = fs.openForReading(path);
    if (!file) return {HeaderFault::Unreadable, file.status.text, {}, -1};
    const FileIdentity& id = file.value->identity();
    if (identity) *identity = id;
    const Key key{id.device, id.inode, id.size, id.mtimeNs};
    // One lookup finds a file read before under another name (a link) or makes its place.
    auto slot = known_.end();
    if (remember_ && id.known()) {
        // Hinted at the end: files read in the order they were written come with rising
        // inodes, and each then takes its place without a search.
        const std::size_t before = known_.size();
        slot = known_.emplace_hint(known_.end(), key, HeaderFacts{});
        if (known_.size() == before && !needs) return slot->second;
    }
    ++reads_;
    const HeaderReading r = reader_.read(*file.value, noun);
    // A damaged import table is for the verdict to tell; the run needs what a whole one holds.
    if (needs && r.ok()) *needs = reader_.neededPackages();
    HeaderFacts facts{r.fault, r.reason, {}, r.ok() ? r.header.version : -1};
    facts.guid = r.header.guid;
    if (slot != known_.end()) {
        // A failed read says nothing lasting of the file.
        if (r.fault == HeaderFault::Unreadable)
            known_.erase(slot);
        else
            slot->second = facts;
    }
    return facts;
}

namespace {

std::uint64_t nameHash(std::string_view cacheFileName) {
    return std::hash<std::string_view>()(cacheFileName);
}

// FNV-1a over the four numbers that tell a file (a rename changes none of them).
std::uint64_t identityHash(const FileIdentity& id) {
    std::uint64_t h = 14695981039346656037ull;
    for (const std::uint64_t n :
         {id.device, id.inode, id.size, static_cast<std::uint64_t>(id.mtimeNs)})
        for (int shift = 0; shift < 64; shift += 8)
            h = (h ^ ((n >> shift) & 0xFF)) * 1099511628211ull;
    return h;
}

}  // namespace

void WholeHeaders::add(std::string_view cacheFileName, const FileIdentity& id) {
    if (id.known()) files_.emplace_back(nameHash(cacheFileName), identityHash(id));
}

void WholeHeaders::seal() {
    std::sort(files_.begin(), files_.end());
    files_.shrink_to_fit();
    int bits = 1;  // two buckets at least, so a shift never takes all 64 bits
    while (bits < 30 && (std::size_t{1} << bits) < files_.size()) ++bits;
    shift_ = 64 - bits;
    const std::size_t buckets = std::size_t{1} << bits;
    starts_.assign(buckets + 1, static_cast<std::uint32_t>(files_.size()));
    // Filled from the end: each bucket starts at its first file, an empty one where the next
    // bucket starts.
    std::size_t next = files_.size();
    for (std::size_t b = buckets; b-- > 0;) {
        while (next > 0 && (files_[next - 1].first >> shift_) >= b) --next;
        starts_[b] = static_cast<std::uint32_t>(next);
    }
}

std::pair<const WholeHeaders::File*, const WholeHeaders::File*> WholeHeaders::candidates(
    std::uint64_t name) const {
    if (starts_.empty()) return {nullptr, nullptr};
    const std::size_t b = static_cast<std::size_t>(name >> shift_);
    return {files_.data() + starts_[b], files_.data() + starts_[b + 1]};
}

bool WholeHeaders::knows(std::string_view cacheFileName) const {
    const std::uint64_t name = nameHash(cacheFileName);
    const auto [first, last] = candidates(name);
    return std::any_of(first, last, [&](const File& f) { return f.first == name; });
}

bool WholeHeaders::wasWhole(std::string_view cacheFileName, const FileIdentity& id) const {
    if (!id.known()) return false;
    const File wanted{nameHash(cacheFileName), identityHash(id)};
    const auto [first, last] = candidates(wanted.first);
    return std::find(first, last, wanted) != last;
}

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
                                      folder + "/" + name);
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

std::optional<std::string> installedPackage(std::string_view line, const std::string& destination,
                                            const PlacementContext& place, FolderNames& folders) {
    const std::string_view realName = line.substr(std::min(line.size(), kRealNameStart));
    if (destination.empty()) return std::nullopt;
    // Its own file name at its destination, in any letter case.
    const std::string_view folder = folderOf(destination);
    if (const std::optional<std::string> there = folders.find(folder, realName))
        return std::string(folder).append("/").append(*there);
    // The game finds a package by its name alone, along its paths, whatever the extension.
    if (place.mode != PlacementMode::TypeFolders || !isPackageFileName(realName))
        return std::nullopt;
    return folders.findPackage(place.gamePaths, packageNameOf(realName));
}

std::optional<std::string> installedPackage(std::string_view line, const PlacementContext& place,
                                            FolderNames& folders) {
    return installedPackage(line, destinationOfLine(line, place), place, folders);
}

PackageFacts examineLine(std::string_view line, const PlacementContext& place,
                         std::string_view cacheFileOnDisk, FileSystem& fs, HeaderCache& headers,
                         FolderNames& folders, std::vector<std::string>* needs,
                         FileIdentity* identity) {
    PackageFacts facts;
    const std::string_view realName =
        line.size() > kRealNameStart ? line.substr(kRealNameStart) : "";
    if (!isPackageFileName(realName) || line.size() <= kGuidLength) {
        facts.condition = PackageCondition::NotPackage;
        return facts;
    }
    const std::string_view guid = line.substr(0, kGuidLength);
    std::string cacheFile;
    cacheFile.reserve(place.cacheDir.size() + 2 + guid.size() + place.cacheExt.size() +
                      cacheFileOnDisk.size());
    cacheFile.append(place.cacheDir).append("/");
    if (cacheFileOnDisk.empty())
        cacheFile.append(guid).append(".").append(place.cacheExt);
    else
        cacheFile.append(cacheFileOnDisk);
    const HeaderFacts header =
        headers.factsOf(fs, cacheFile, needs, identity, packageDataNoun(realName));
    facts.guid = header.guid;
    facts.version = header.version;
    facts.reason = header.reason;
    switch (header.fault) {
        case HeaderFault::None:
            facts.condition = equalsNoCaseAscii(header.guid.view(), guid)
                                  ? PackageCondition::Whole
                                  : PackageCondition::Damaged;
            if (facts.condition == PackageCondition::Damaged)
                facts.reason = "its GUID is not its cache file name";
            break;
        case HeaderFault::Unreadable:
            facts.condition =
                fs.exists(cacheFile) ? PackageCondition::Unreadable : PackageCondition::NoFile;
            return facts;
        default:
            facts.condition = PackageCondition::Damaged;
            break;
    }
    const std::optional<std::string> there = installedPackage(line, place, folders);
    if (!there) return facts;
    facts.installedPath = *there;
    const HeaderFacts installed = headers.factsOf(fs, facts.installedPath);
    const bool same = installed.fault == HeaderFault::None && header.guid.known &&
                      equalsNoCaseAscii(installed.guid.view(), header.guid.view());
    facts.installed = same ? InstalledVersion::Same : InstalledVersion::Other;
    return facts;
}

void examineEntries(const PublicVariables& pv, const PlacementContext& place,
                    std::vector<PackageFacts>& facts, HeaderCache& headers, FileSystem& fs,
                    const std::function<void(std::size_t, std::size_t)>& filled,
                    const std::atomic<bool>* stop, WholeHeaders* whole) {
    constexpr std::size_t kBatch = 256;
    // The cache folder stays open while the pass reads, so each open looks up only its name.
    struct HeldFolder {
        FileSystem& fs;
        ~HeldFolder() { fs.releaseFolders(); }
    } held{fs};
    fs.holdFolders({place.cacheDir});
    facts.assign(pv.EntryCount(), PackageFacts{});
    headers.beginPass();
    FolderNames folders(fs);
    std::string line, cacheFileName;
    std::size_t batchStart = 0;
    for (std::size_t k = 0; k < pv.EntryCount(); ++k) {
        if (stop && stop->load(std::memory_order_relaxed)) break;
        const std::string& file = pv.CacheFileNames[k];
        line.assign(std::string_view(file).substr(0, std::min(file.find('.'), file.size())));
        line.resize(kGuidLength, ' ');
        line.append("=").append(pv.RealNames[k]);
        FileIdentity identity;
        facts[k] = examineLine(line, place, {}, fs, headers, folders, nullptr, &identity);
        if (whole && facts[k].condition == PackageCondition::Whole) {
            cacheFileName.assign(line, 0, kGuidLength).append(".").append(place.cacheExt);
            whole->add(cacheFileName, identity);
        }
        if (filled && (k + 1 - batchStart == kBatch || k + 1 == pv.EntryCount())) {
            filled(batchStart, k + 1);
            batchStart = k + 1;
        }
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
