#include "engine/cache/package_screen.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "engine/cache/cache_entry.h"
#include "engine/engine_context.h"
#include "engine/run/run_journal.h"
#include "platform/ascii.h"
#include "platform/paths.h"

namespace qv {

void reportLine(const std::string& text, StatusSink& status, OutFile* log) {
    if (log) (void)log->write(text + "\r\n");  // a failed log write is skipped
    status.addLine(text);
}

PackageScreen::PackageScreen(const PlacementContext& place, FileSystem& fs,
                             const WholeHeaders* whole, HeaderCache* headers)
    : place_(place),
      fs_(fs),
      whole_(whole),
      ownHeaders_(false),
      headers_(headers ? *headers : ownHeaders_),
      folders_(fs) {
    headers_.beginPass();  // a file the pass read is looked up before it is read again
}

namespace {

std::string cacheFileOf(std::string_view line, const PlacementContext& place) {
    return std::string(line.substr(0, kGuidLength)) + "." + place.cacheExt;
}

// The same, formed in `scratch`: a lookup per package needs no allocation of its own.
std::string_view cacheFileOf(std::string_view line, const PlacementContext& place,
                             std::string& scratch) {
    scratch.assign(line.substr(0, kGuidLength)).append(".").append(place.cacheExt);
    return scratch;
}

std::string otherVersionText(std::string_view name, const std::string& installed) {
    return std::string(name) + " stays in the cache: " + installed +
           " is another version of it; the game needs this one for the server that sent it";
}

}  // namespace

std::optional<ScreenVerdict> PackageScreen::judge(std::string_view line,
                                                  std::string_view cacheFileOnDisk,
                                                  std::string_view destinationOfIt) {
    screenedNeeds_.clear();
    needsRead_ = false;
    judgedKnown_ = {};
    // Another version of a package this run places already: the game would load only one.
    if (const std::optional<std::string_view> earlier = placedBefore(line);
        earlier &&
        !equalsNoCaseAscii(earlier->substr(0, kGuidLength), line.substr(0, kGuidLength))) {
        const std::string other = destinationOfLine(*earlier, place_);
        return stays(line, fileNameOf(other), otherVersionText(line.substr(kRealNameStart), other));
    }
    // Found whole by the header pass and not installed under its name: it moves, and what lands
    // is checked by its identity.
    if (whole_ && cacheFileOnDisk.empty() && line.size() > kRealNameStart) {
        const Ahead* ahead = aheadOf(line);
        cacheFileOf(line, place_, scratch_);
        judgedKnown_ = {line.data(), ahead ? ahead->known : whole_->known(scratch_)};
        if (judgedKnown_.second.files > 0) {
            std::string formed;
            if (destinationOfIt.empty()) formed = destinationOfLine(line, place_);
            const std::string_view destination = formed.empty() ? destinationOfIt : formed;
            if (!destination.empty()) {
                const std::optional<std::string> installed =
                    installedPackage(line, destination, place_, folders_);
                if (!installed) return std::nullopt;
                if (unchangedSincePass(line))  // only the installed file's header is read
                    return installedVerdict(line, {}, *installed,
                                            isSameVersion(headers_.factsOf(fs_, *installed),
                                                          line.substr(0, kGuidLength)));
            }
        }
    }
    // With a pass's headers (a list's plan) the needs are left for the end, where a run reads
    // them: the facts of a file the pass read need no read again.
    needsRead_ = &headers_ == &ownHeaders_;
    const PackageFacts facts = examineLine(line, place_, cacheFileOnDisk, fs_, headers_, folders_,
                                           needsRead_ ? &screenedNeeds_ : nullptr);
    if (facts.condition != PackageCondition::Whole && facts.condition != PackageCondition::Damaged)
        return std::nullopt;  // not a package type, or no file: the move says what it finds
    if (facts.condition == PackageCondition::Damaged) {
        ScreenVerdict v{false, StayReason::Damaged,
                        damagedText(line.substr(kRealNameStart), facts.reason), facts.reason};
        return v;
    }
    if (facts.installed == InstalledVersion::None) return std::nullopt;
    return installedVerdict(line, cacheFileOnDisk, facts.installedPath,
                            facts.installed == InstalledVersion::Same);
}

bool PackageScreen::unchangedSincePass(std::string_view line) {
    const Result<FileIdentity> id = fs_.identityOf(sourceOf(line, {}));
    return id.ok() &&
           whole_->seen(scratch_, judgedKnown_.second, id.value) == WholeHeaders::Seen::Same;
}

ScreenVerdict PackageScreen::installedVerdict(std::string_view line,
                                              std::string_view cacheFileOnDisk,
                                              const std::string& installed, bool sameVersion) {
    const std::string name(line.substr(kRealNameStart));
    if (!sameVersion) return stays(line, fileNameOf(installed), otherVersionText(name, installed));
    const Result<bool> same = fs_.sameBytesInOtherFile(sourceOf(line, cacheFileOnDisk), installed);
    if (same.ok() && same.value)
        return ScreenVerdict{true, StayReason::OtherContents, {}, installed};
    return ScreenVerdict{false, StayReason::OtherContents,
                         name + " stays in the cache: " + installed +
                             " is the same version of it with other contents; both are kept",
                         installed};
}

ScreenVerdict PackageScreen::stays(std::string_view line, std::string_view otherName,
                                   std::string text) const {
    const std::string_view name = line.substr(kRealNameStart);
    StayReason reason = StayReason::Namesake;
    if (otherName == name)
        reason = StayReason::OtherVersion;
    else if (equalsNoCaseAscii(otherName, name))
        reason = StayReason::CaseTwin;
    return ScreenVerdict{false, reason, std::move(text), std::string(otherName)};
}

std::string PackageScreen::sourceOf(std::string_view line, std::string_view cacheFileOnDisk) const {
    return joinPath(place_.cacheDir, cacheFileOnDisk.empty() ? cacheFileOf(line, place_)
                                                             : std::string(cacheFileOnDisk));
}

std::optional<PlaceOutcome> PackageScreen::screen(std::string_view line,
                                                  std::string_view cacheFileOnDisk,
                                                  StatusSink& status, OutFile* log,
                                                  std::vector<std::string>& kept) {
    const std::optional<ScreenVerdict> verdict = judge(line, cacheFileOnDisk);
    if (!verdict) return std::nullopt;
    return act(line, cacheFileOnDisk, *verdict, status, log, kept);
}

PlaceOutcome PackageScreen::act(std::string_view line, std::string_view cacheFileOnDisk,
                                const ScreenVerdict& verdict, StatusSink& status, OutFile* log,
                                std::vector<std::string>& kept) {
    if (verdict.removeCopy) {
        const std::string source = sourceOf(line, cacheFileOnDisk);
        if (place_.journal) place_.journal->removingSpare(line, verdict.other);
        if (fs_.removeFile(source).ok()) {
            reportLine(source.substr(place_.cacheDir.size() + 1) + " was already at " +
                           verdict.other + " with the same contents; the cache copy was removed",
                       status, log);
            return PlaceOutcome::Moved;
        }
        reportLine(std::string(line.substr(kRealNameStart)) +
                       " stays in the cache: " + verdict.other +
                       " is the same version of it with other contents; both are kept",
                   status, log);
    } else {
        reportLine(verdict.text, status, log);
    }
    kept.emplace_back(line);
    return PlaceOutcome::Kept;
}

std::optional<std::string> PackageScreen::damage(std::string_view line,
                                                 const std::string& destination,
                                                 const FileIdentity& landed) {
    // Trusted by the header pass and not read before its move (its needs are read at the end).
    if (!whole_) return std::nullopt;
    const std::optional<WholeHeaders::Known> known = knownBeforeMove(line);
    const std::string_view name = cacheFileOf(line, place_, scratch_);
    if ((known ? whole_->seen(name, *known, landed) : whole_->seen(name, landed)) !=
        WholeHeaders::Seen::Changed)
        return std::nullopt;
    // Changed since the pass read it: read now, where it landed.
    const HeaderFacts header = headers_.factsOf(fs_, destination);
    if (header.fault == PackageFault::None &&
        equalsNoCaseAscii(header.guid.view(), line.substr(0, kGuidLength)))
        return std::nullopt;
    if (header.fault == PackageFault::None) return "its GUID is not its cache file name";
    return header.reason;
}

std::string_view PackageScreen::placedKey(std::string_view line, std::string& scratch) const {
    const std::string_view realName = line.substr(kRealNameStart);
    if (place_.mode == PlacementMode::TypeFolders) return packageNameOf(realName);
    return scratch = destinationOfLine(line, place_);
}

std::optional<std::string_view> PackageScreen::placedBefore(std::string_view line) {
    judgedKey_ = {};
    if (line.size() <= kRealNameStart || !isPackageFileName(line.substr(kRealNameStart)))
        return std::nullopt;
    std::string scratch, other;
    const std::string_view key = placedKey(line, scratch);
    const Ahead* ahead = aheadOf(line);
    const std::size_t hash = ahead && ahead->keyHash ? ahead->keyHash : NoCaseAsciiHash()(key);
    judgedKey_ = {line.data(), hash};  // moved() takes it as it is
    if (placed_.empty()) return std::nullopt;
    const std::optional<std::uint32_t> earlier = placed_.find(hash, [&](std::uint32_t movedIndex) {
        return equalsNoCaseAscii(placedKey(moved_[movedIndex], other), key);
    });
    if (!earlier) return std::nullopt;
    return moved_[*earlier];
}

// The moves come in the order the plan screened them: the next few moved lines are looked at,
// a move that failed or a line never screened being passed over.
std::optional<WholeHeaders::Known> PackageScreen::knownBeforeMove(std::string_view line) {
    constexpr std::size_t kLookAhead = 16;
    for (std::size_t k = landingsChecked_; k < moved_.size() && k < landingsChecked_ + kLookAhead;
         ++k) {
        if (moved_[k].data() != line.data()) continue;
        landingsChecked_ = k + 1;
        if (movedKnown_[k].files == kNotAsked) return std::nullopt;
        return movedKnown_[k];
    }
    return std::nullopt;
}

void PackageScreen::lookAhead(const std::vector<std::string_view>& lines) {
    ahead_.clear();
    aheadAt_ = 0;
    if (aheadNames_.size() < lines.size()) aheadNames_.resize(lines.size());
    std::vector<std::string_view>& names = aheadViews_;
    names.clear();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        std::size_t keyHash = 0;
        // In the type folders the key is a part of the line; elsewhere a destination formed.
        if (place_.mode == PlacementMode::TypeFolders && line.size() > kRealNameStart &&
            isPackageFileName(line.substr(kRealNameStart))) {
            std::string unused;
            keyHash = NoCaseAsciiHash()(placedKey(line, unused));
            placed_.prefetch(keyHash);
        }
        ahead_.push_back({line.data(), {}, keyHash});
        names.push_back(cacheFileOf(line, place_, aheadNames_[i]));
    }
    if (!whole_) return;
    aheadKnown_.resize(names.size());
    whole_->known(names.data(), names.size(), aheadKnown_.data());
    for (std::size_t i = 0; i < names.size(); ++i) ahead_[i].known = aheadKnown_[i];
}

const PackageScreen::Ahead* PackageScreen::aheadOf(std::string_view line) {
    for (std::size_t k = aheadAt_; k < ahead_.size(); ++k)
        if (ahead_[k].line == line.data()) {
            aheadAt_ = k;  // a later line is found from here
            return &ahead_[k];
        }
    return nullptr;
}

void PackageScreen::expect(std::size_t lines) {
    movedKnown_.reserve(lines);
    moved_.reserve(lines);
    if (placed_.empty()) placed_ = HashSlots(lines);
}

void PackageScreen::moved(std::string_view line) {
    if (line.size() <= kRealNameStart || !isPackageFileName(line.substr(kRealNameStart))) return;
    const auto movedIndex = static_cast<std::uint32_t>(moved_.size());
    moved_.push_back(line);
    movedKnown_.push_back(judgedKnown_.first == line.data() ? judgedKnown_.second
                                                            : WholeHeaders::Known{kNotAsked, 0});
    std::string scratch;
    if (placed_.full())
        placed_.grow([&](std::uint32_t earlier) {
            return NoCaseAsciiHash()(placedKey(moved_[earlier], scratch));
        });
    placed_.insert(judgedKey_.first == line.data() ? judgedKey_.second
                                                   : NoCaseAsciiHash()(placedKey(line, scratch)),
                   movedIndex);
    if (!needsRead_) {
        needsUnread_.push_back(movedIndex);
        return;
    }
    addNeeds(movedIndex, screenedNeeds_);
    screenedNeeds_.clear();
}

void PackageScreen::inMoveOrder() {
    std::stable_sort(needs_.begin(), needs_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::uint32_t> renumbered(needNames_.size(), UINT32_MAX);
    std::vector<std::string> names;
    for (auto& [movedIndex, id] : needs_) {
        if (renumbered[id] == UINT32_MAX) {
            renumbered[id] = static_cast<std::uint32_t>(names.size());
            names.push_back(std::move(needNames_[id]));
        }
        id = renumbered[id];
    }
    for (auto& [upper, id] : needIds_) id = renumbered[id];
    needNames_ = std::move(names);
}

void PackageScreen::addNeeds(std::uint32_t movedIndex, std::vector<std::string>& needs) {
    for (std::string& need : needs) {
        std::string upper = upperAscii(need);
        auto it = needIds_.find(upper);
        if (it == needIds_.end()) {
            it = needIds_.emplace(std::move(upper), static_cast<std::uint32_t>(needNames_.size()))
                     .first;
            needNames_.push_back(std::move(need));
        }
        needs_.emplace_back(movedIndex, it->second);
    }
}

namespace {

constexpr std::size_t kNamedNeeders = 5;  // moved packages named in a line; the others counted

// "A.unr, B.unr and C.unr need X, which stays in the cache"; past five names, how many others.
std::string needsLine(const std::vector<std::string>& movedNames, std::size_t count,
                      const std::string& need) {
    std::string text;
    for (std::size_t k = 0; k < movedNames.size(); ++k) {
        if (k > 0) text += k + 1 == movedNames.size() && count <= kNamedNeeders ? " and " : ", ";
        text += movedNames[k];
    }
    if (count > kNamedNeeders)
        text += " and " + std::to_string(count - kNamedNeeders) + " other moved packages";
    return text + (count == 1 ? " needs " : " need ") + need + ", which stays in the cache";
}

}  // namespace

void PackageScreen::reportNeeds(const std::vector<std::string>& kept, StatusSink& status,
                                OutFile* log) {
    std::unordered_set<std::string> left;  // package names that stay in the cache only
    if (needs_.empty() && needsUnread_.empty()) return;
    for (const std::string& line : kept)
        if (line.size() > kRealNameStart && isPackageFileName(line.substr(kRealNameStart)))
            left.insert(upperAscii(packageNameOf(line.substr(kRealNameStart))));
    for (const std::string& folder :
         {place_.mapsDir, place_.texturesDir, place_.soundsDir, place_.musicDir, place_.systemDir})
        for (const auto& [upper, name] : folders_.of(folder))
            if (isPackageFileName(name)) left.erase(std::string(packageNameOf(upper)));
    // The folders were listed before the run: what it moved there is there now too.
    for (const std::string_view line : moved_)
        left.erase(upperAscii(packageNameOf(line.substr(kRealNameStart))));
    if (left.empty()) return;
    // What the packages trusted by the header pass need is read only now that something stays.
    std::vector<std::string> needs;
    for (const std::uint32_t movedIndex : needsUnread_) {
        needs.clear();
        (void)headers_.factsOf(fs_, destinationOfLine(moved_[movedIndex], place_), &needs);
        addNeeds(movedIndex, needs);
    }
    if (!needsUnread_.empty()) inMoveOrder();
    // The needed packages that stay, in the order they were first needed.
    std::vector<std::size_t> count(needNames_.size(), 0);
    std::vector<std::vector<std::string>> named(needNames_.size());
    std::vector<bool> stays(needNames_.size(), false);
    for (const auto& [upper, id] : needIds_) stays[id] = left.count(upper) != 0;
    for (const auto& [movedIndex, id] : needs_) {
        if (!stays[id] || ++count[id] > kNamedNeeders) continue;
        const std::string path = destinationOfLine(moved_[movedIndex], place_);
        named[id].push_back(fileNameOf(path));
    }
    for (std::size_t id = 0; id < needNames_.size(); ++id)
        if (count[id] > 0) reportLine(needsLine(named[id], count[id], needNames_[id]), status, log);
}

}  // namespace qv
