#include "engine/run/run_plan.h"

#include <algorithm>
#include <cerrno>
#include <new>
#include <optional>
#include <unordered_set>

#include "engine/cache/cache_entry.h"
#include "engine/cache/hash_slots.h"
#include "engine/cache/index_file.h"
#include "engine/cache/package_facts.h"
#include "engine/cache/package_screen.h"
#include "engine/public_variables.h"
#include "engine/run/placement.h"
#include "platform/ascii.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"

namespace qv {

namespace {

// Marks the index lines of the checked rows. Entry k of the index is selected when row k is
// checked and the line still names what the scan listed there (same GUID and real name): an
// index changed since the scan selects nothing it was not shown as. Rows of a missing extension
// select nothing.
std::vector<bool> selectedLines(const std::vector<std::string_view>& lines,
                                const std::vector<std::size_t>& checkedEntries,
                                const PublicVariables& pv) {
    std::vector<bool> checked(pv.EntryCount(), false);
    for (std::size_t k : checkedEntries)
        if (k < checked.size()) checked[k] = true;
    std::vector<bool> selected(lines.size(), false);
    std::size_t k = 0;
    for (std::size_t i = 0; i < lines.size() && k < checked.size(); ++i) {
        const std::optional<EntryView> entry = parseEntryView(lines[i]);
        if (!entry) continue;
        const std::size_t slot = k++;
        if (!checked[slot] || entry->missingExtension() || entry->RealName != pv.RealNames[slot])
            continue;
        const std::string_view scanned = pv.CacheFileNames[slot];
        selected[i] = scanned.size() > entry->Guid.size() &&
                      scanned.substr(0, entry->Guid.size()) == entry->Guid &&
                      scanned[entry->Guid.size()] == '.';
    }
    return selected;
}

// Cache files the listing did not show under the index's spelling, found ignoring letter case:
// line number -> the name on disk.
std::unordered_map<std::size_t, std::string> cacheFilesInOtherCase(const RunPlan& plan,
                                                                   const PlacementContext& place,
                                                                   FileSystem& fs) {
    std::vector<std::size_t> missing;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < plan.lines.size(); ++i) {
        if (!plan.selected[i] || plan.listing.listedAsFile[i] || plan.listing.listedAsOther[i] ||
            plan.lines[i].size() <= kGuidLength)
            continue;
        missing.push_back(i);
        names.push_back(std::string(plan.lines[i].substr(0, kGuidLength)) + "." + place.cacheExt);
    }
    const auto found = namesIgnoringCase(fs, place.cacheDir, names);
    std::unordered_map<std::size_t, std::string> byLine;
    for (std::size_t j = 0; j < missing.size(); ++j)
        if (auto it = found.find(names[j]); it != found.end())
            byLine.emplace(missing[j], it->second);
    return byLine;
}

// With no selected cache file listed: whether dropping their lines loses nothing, because each
// movable package is at its destination already (a run stopped before its new index) or some
// cache file is there in a form the listing of plain files does not show. A wrong extension or
// cache folder shows as neither.
bool missingPackagesAreAccountedFor(const RunPlan& plan, const PlacementContext& place,
                                    FileSystem& fs) {
    bool any = false;
    for (std::size_t i = 0; i < plan.lines.size(); ++i) {
        if (!plan.selected[i] || plan.lines[i].size() <= kGuidLength) continue;
        if (fs.exists(joinPath(place.cacheDir, plan.cacheFileName(i, place.cacheExt)))) return true;
        const std::string destination = destinationOfLine(plan.lines[i], place);
        if (destination.empty()) continue;
        if (!fs.exists(destination)) return false;
        any = true;
    }
    return any;
}

// What the plan knows of the destination folders: which are there, and which names they hold.
class Destinations {
  public:
    Destinations(const PlacementContext& place, FileSystem& fs) : fs_(fs) {
        // The folders a folder mode makes at its start count as there and empty.
        if (place.mode != PlacementMode::TypeFolders) {
            std::vector<std::string> made = writtenFolders(place);
            for (std::size_t i = 1; i < made.size(); ++i)
                if (!fs.exists(made[i])) folders_.emplace(made[i], Folder{true, true, {}});
        }
    }

    bool folderThere(std::string_view folder) { return of(folder).there; }

    // Another file already has the name `destination` (a link, a folder, anything).
    bool taken(const std::string& destination) {
        const std::string_view folder = parentFolderView(destination);
        Folder& f = of(folder);
        if (!f.listed) return fs_.exists(destination);
        // A name's hash only: one that matches is looked up to be sure.
        const std::string_view name =
            std::string_view(destination).substr(lastSeparator(destination) + 1);
        return f.names.count(std::hash<std::string_view>()(name)) != 0 && fs_.exists(destination);
    }

  private:
    struct Folder {
        bool there = false, listed = false;
        std::unordered_set<std::size_t> names;  // hashes of the names in the folder
    };
    Folder& of(std::string_view folder) {
        // A plan asks for a few folders, each many times in a row.
        if (last_ && lastName_ == folder) return *last_;
        lastName_.assign(folder);
        auto it = folders_.find(lastName_);
        if (it == folders_.end()) {
            Folder f;
            f.there = fs_.isFolder(lastName_);
            // One read of each folder instead of a lookup per package; a folder that cannot be
            // listed is asked name by name.
            if (f.there)
                f.listed = fs_.forEachEntry(lastName_,
                                            [&](std::string_view name, EntryKind) {
                                                f.names.insert(std::hash<std::string_view>()(name));
                                            })
                               .ok();
            it = folders_.emplace(lastName_, std::move(f)).first;
        }
        // Elements of an unordered_map stay where they are when it grows.
        last_ = &it->second;
        return *last_;
    }

    FileSystem& fs_;
    std::unordered_map<std::string, Folder> folders_;
    std::string lastName_;
    Folder* last_ = nullptr;
};

// Whether the cache file of a line the listing could not tell about is a plain file
// (nullopt: nothing is there).
std::optional<bool> lookUpPlain(const std::string& source, FileSystem& fs) {
    const Result<FileIdentity> id = fs.identityOf(source);
    if (id.ok()) return true;
    if (id.status.code == ENOENT) return std::nullopt;
    if (id.status.code == EINVAL) return false;
    return true;  // it cannot be told: the move will say why it fails, if it does
}

// A listing read before the index was can miss a file the game added with its line since: each
// selected line whose cache file it did not show is looked up by name.
void lookUpUnlisted(RunPlan& plan, const PlacementContext& place, FileSystem& fs) {
    for (std::size_t i = 0; i < plan.lines.size(); ++i) {
        if (!plan.selected[i] || plan.listing.listedAsFile[i] || plan.listing.listedAsOther[i] ||
            plan.lines[i].size() <= kGuidLength)
            continue;
        const std::optional<bool> plain =
            lookUpPlain(joinPath(place.cacheDir, plan.cacheFileName(i, place.cacheExt)), fs);
        if (plain) (*plain ? plan.listing.listedAsFile : plan.listing.listedAsOther)[i] = true;
    }
}

// Line numbers found again by a text their line forms (its destination, its cache file's
// name), each text formed again only on a hash match, so that a run of 100,000 packages holds
// no second copy of their names. Sized for every selected line: it never grows.
class LineTable {
  public:
    explicit LineTable(std::size_t count) : slots_(count) {}
    static std::size_t hashOf(std::string_view key) { return std::hash<std::string_view>()(key); }
    // `key`: the text of `line`, found by no line so far; `hash`: hashOf(key).
    void insert(std::size_t hash, std::size_t line) {
        slots_.insert(hash, static_cast<std::uint32_t>(line));
    }
    void insert(std::string_view key, std::size_t line) { insert(hashOf(key), line); }
    // The line whose text (`textOf(line)`) is `key`.
    template <class TextOf>
    std::optional<std::size_t> find(std::string_view key, std::size_t hash, TextOf&& textOf) const {
        return slots_.find(hash, [&](std::uint32_t line) { return textOf(line) == key; });
    }
    template <class TextOf>
    std::optional<std::size_t> find(std::string_view key, TextOf&& textOf) const {
        return find(key, hashOf(key), textOf);
    }

  private:
    HashSlots slots_;
};

// What the lines planned so far take: the destinations they move to, and the cache files they
// move or remove.
struct Planned {
    Planned(std::size_t count, std::size_t sharing) : destinations(count), sources(sharing) {}
    LineTable destinations;  // Move steps, by destination
    // Move, Spare and Installed steps of lines whose GUID another selected line shares, by cache
    // file name: only such lines can name one cache file twice.
    LineTable sources;
};

// The step of one selected line whose cache file name and real name are safe.
LineStep stepOf(const RunPlan& plan, std::size_t i, const PlacementContext& place,
                const std::string& name, const std::string& destination,
                std::size_t destinationHash, Destinations& destinations, Planned& planned,
                FileSystem& fs, const WholeHeaders* whole) {
    const auto cacheFileOf = [&](std::size_t line) {
        return plan.cacheFileName(line, place.cacheExt);
    };
    // An earlier line of the same GUID moved (or removed) this cache file already.
    if (plan.listing.sharedGuid[i] && planned.sources.find(name, cacheFileOf))
        return LineStep::Missing;
    if (plan.listing.listedAsOther[i]) return LineStep::NotPlain;
    if (!plan.listing.listedAsFile[i]) {
        if (plan.listing.read) return LineStep::Missing;
        const std::optional<bool> plain = lookUpPlain(joinPath(place.cacheDir, name), fs);
        if (!plain) return LineStep::Missing;
        if (!*plain) return LineStep::NotPlain;
    }
    if (!destinations.folderThere(parentFolderView(destination))) return LineStep::NoFolder;
    // The file that will be at the destination: one an earlier line moves there, or one there now.
    std::string there;
    if (const std::optional<std::size_t> earlier = planned.destinations.find(
            destination, destinationHash,
            [&](std::size_t line) { return destinationOfLine(plan.lines[line], place); })) {
        // Two packages the header pass found whole, each with the GUID of its own name, are
        // not the same bytes: nothing needs reading to keep this one.
        const std::string earlierName = cacheFileOf(*earlier);
        if (whole &&
            !equalsNoCaseAscii(std::string_view(earlierName).substr(0, kGuidLength),
                               std::string_view(name).substr(0, kGuidLength)) &&
            whole->knows(earlierName) && whole->knows(name))
            return LineStep::Taken;
        there = joinPath(place.cacheDir, earlierName);
    } else if (destinations.taken(destination)) {
        there = destination;
    }
    if (!there.empty()) {
        const Result<bool> same = fs.sameBytesInOtherFile(joinPath(place.cacheDir, name), there);
        return same.ok() && same.value ? LineStep::Spare : LineStep::Taken;
    }
    return LineStep::Move;
}

// What the screen makes of a line the plan would move (or finds its destination taken): a
// package that stays, a cache copy the game has already, or the step as it was. A line it moves
// counts as placed for the lines after it, as in the run.
LineStep screened(RunPlan& plan, std::size_t i, LineStep step, const std::string& destination,
                  PackageScreen& screen) {
    std::string_view onDisk;
    if (!plan.otherCase.empty())
        if (const auto other = plan.otherCase.find(i); other != plan.otherCase.end())
            onDisk = other->second;
    std::optional<ScreenVerdict> verdict = screen.judge(plan.lines[i], onDisk, destination);
    if (!verdict) {
        if (step == LineStep::Move) screen.moved(plan.lines[i]);
        return step;
    }
    const LineStep decided = verdict->removeCopy ? LineStep::Installed : LineStep::Stays;
    plan.verdicts.emplace(i, std::move(*verdict));
    return decided;
}

}  // namespace

std::string RunPlan::cacheFileName(std::size_t line, const std::string& cacheExt) const {
    if (!otherCase.empty())
        if (auto it = otherCase.find(line); it != otherCase.end()) return it->second;
    std::string name;
    name.reserve(kGuidLength + 1 + cacheExt.size());
    return name.append(lines[line].substr(0, kGuidLength)).append(".").append(cacheExt);
}

bool RunPlan::changesNothing() const {
    return std::none_of(steps.begin(), steps.end(), [](LineStep s) {
        return s == LineStep::Move || s == LineStep::Spare || s == LineStep::Installed ||
               s == LineStep::Missing;
    });
}

std::vector<std::string> writtenFolders(const PlacementContext& p) {
    switch (p.mode) {
        case PlacementMode::OneFolder:
            return {p.cacheDir, p.moveDirText};
        case PlacementMode::FolderTree:
            return {p.cacheDir,
                    joinPath(p.moveDir2Text, "Maps"),
                    joinPath(p.moveDir2Text, "Textures"),
                    joinPath(p.moveDir2Text, "Sounds"),
                    joinPath(p.moveDir2Text, "Music"),
                    joinPath(p.moveDir2Text, "System")};
        case PlacementMode::TypeFolders:
            break;
    }
    return {p.cacheDir, p.mapsDir, p.texturesDir, p.soundsDir, p.musicDir, p.systemDir};
}

RunPlan planRun(const std::string& index, const std::vector<std::size_t>& checkedEntries,
                const PublicVariables& pv, const PlacementContext& place, FileSystem& fs,
                const WholeHeaders* whole, PackageScreen* runScreen,
                const std::function<CacheFolderNames()>& listedAhead) {
    std::optional<PackageScreen> own;
    if (!runScreen) own.emplace(place, fs, whole);
    PackageScreen& screen = runScreen ? *runScreen : *own;
    RunPlan plan;
    plan.lines = splitOwnLineViews(index);
    plan.selected = selectedLines(plan.lines, checkedEntries, pv);
    plan.listing =
        listCacheFolder(plan.lines, plan.selected, place.cacheDir, place.cacheExt, fs, listedAhead);
    if (plan.listing.ahead) lookUpUnlisted(plan, place, fs);
    plan.otherCase = cacheFilesInOtherCase(plan, place, fs);
    for (const auto& [i, name] : plan.otherCase) plan.listing.listedAsFile[i] = true;

    Destinations destinations(place, fs);
    const auto selectedCount =
        static_cast<std::size_t>(std::count(plan.selected.begin(), plan.selected.end(), true));
    Planned planned(selectedCount,
                    static_cast<std::size_t>(std::count(plan.listing.sharedGuid.begin(),
                                                        plan.listing.sharedGuid.end(), true)));
    screen.expect(selectedCount);
    plan.steps.assign(plan.lines.size(), LineStep::Keep);
    std::vector<std::string_view> ahead;  // the next selected lines, for the screen's look ahead
    std::size_t aheadEnd = 0;
    for (std::size_t i = 0; i < plan.lines.size(); ++i) {
        if (!plan.selected[i]) continue;
        if (i >= aheadEnd) {
            constexpr std::size_t kAhead = 32;
            ahead.clear();
            for (aheadEnd = i; aheadEnd < plan.lines.size() && ahead.size() < kAhead; ++aheadEnd)
                if (plan.selected[aheadEnd] && plan.lines[aheadEnd].size() > kGuidLength)
                    ahead.push_back(plan.lines[aheadEnd]);
            screen.lookAhead(ahead);
        }
        ++plan.packages;
        const std::string destination = destinationOfLine(plan.lines[i], place);
        const std::string name = plan.cacheFileName(i, place.cacheExt);
        if (destination.empty() || plan.lines[i].size() <= kGuidLength || isUnsafeRealName(name)) {
            plan.steps[i] = LineStep::Unmovable;
            continue;
        }
        const std::size_t destinationHash = LineTable::hashOf(destination);
        LineStep step = stepOf(plan, i, place, name, destination, destinationHash, destinations,
                               planned, fs, whole);
        if (step == LineStep::Move || step == LineStep::Taken) {
            try {
                step = screened(plan, i, step, destination, screen);
            } catch (const std::bad_alloc&) {
                // The run stops at this line, as it stops when memory runs out during a move.
                plan.stopAt = i;
                plan.packages += static_cast<std::size_t>(
                    std::count(plan.selected.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                               plan.selected.end(), true));
                break;
            }
        }
        if (step == LineStep::Move) {
            planned.destinations.insert(destinationHash, i);
            plan.moveHashes.push_back(destinationHash);
        }
        if (plan.listing.sharedGuid[i] &&
            (step == LineStep::Move || step == LineStep::Spare || step == LineStep::Installed))
            planned.sources.insert(name, i);
        plan.moves += step == LineStep::Move;
        plan.steps[i] = step;
    }
    return plan;
}

bool looksLikeWrongCache(const RunPlan& plan, const PlacementContext& place, FileSystem& fs) {
    const std::vector<bool>& listed = plan.listing.listedAsFile;
    return plan.packages > 0 && plan.listing.read &&
           std::find(listed.begin(), listed.end(), true) == listed.end() &&
           std::find(plan.listing.listedAsOther.begin(), plan.listing.listedAsOther.end(), true) ==
               plan.listing.listedAsOther.end() &&
           !missingPackagesAreAccountedFor(plan, place, fs);
}

std::string plannedStepText(const RunPlan& plan, std::size_t line, const PlacementContext& place) {
    const std::string name = plan.cacheFileName(line, place.cacheExt);
    int err = EEXIST;
    switch (plan.steps[line]) {
        case LineStep::Missing:
            return name + " NOT FOUND in the Cache Directory";
        case LineStep::NotPlain:
            return name + " could NOT be moved to " + destinationOfLine(plan.lines[line], place) +
                   " (Not a plain file)";
        case LineStep::NoFolder:
            err = ENOENT;
            break;
        default:
            break;
    }
    return name + " could NOT be moved to " + destinationOfLine(plan.lines[line], place) + " (" +
           Status::fromErrno(err).text + ")";
}

}  // namespace qv
