#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/cache/hash_slots.h"
#include "engine/cache/package_facts.h"
#include "engine/run/placement.h"

namespace qv {

class OutFile;
class StatusSink;

// Why a package the run could move stays in the cache.
enum class StayReason : std::uint8_t {
    Damaged,
    OtherVersion,   // another version of the same name is installed, or placed by this run
    CaseTwin,       // a package of the same name in other letter case is installed or placed
    Namesake,       // another package of the same name (another extension) is installed or placed
    OtherContents,  // the same version is installed with other bytes
};

// What the screen decides for one selected line before its move (nothing: it is placed).
struct ScreenVerdict {
    bool removeCopy = false;  // the same version with the same bytes is installed: the copy goes
    StayReason reason = StayReason::Damaged;
    std::string text;   // the status-list and log line of a package that stays
    std::string other;  // Damaged: why; else the installed file, or the name placed earlier
};

// What a run learns from the packages' headers: which selected packages must stay in the cache
// (damaged, or another version of them installed), and, at its end, which moved packages need a
// package that stays in the cache.
class PackageScreen final : public LandingCheck {
  public:
    // `whole`: the cache files a header pass found whole (null: none). Such a file is not read
    // again before its move; what landed is checked by its identity instead, and read only when
    // that changed since the pass.
    // `headers`: what a header pass read, looked up by each file's identity before it is read
    // again (null: the screen reads what it needs, once each).
    PackageScreen(const PlacementContext& place, FileSystem& fs,
                  const WholeHeaders* whole = nullptr, HeaderCache* headers = nullptr);

    // Before the move of a selected index line. A damaged package stays ("<name> is damaged
    // (<reason>) and stays in the cache"), as does one whose real name is installed, in any letter
    // case, as another version, or as the same version with other bytes: its lines are said and
    // its line kept. The same version with the same bytes loses its cache copy and line. nullopt:
    // the line is placed as usual.
    std::optional<PlaceOutcome> screen(std::string_view line, std::string_view cacheFileOnDisk,
                                       StatusSink& status, OutFile* log,
                                       std::vector<std::string>& kept);
    // The decision of screen() alone: nothing is said, removed or kept. A plan calls it for the
    // lines it would move, in index order, and moved() for those it then moves.
    // `destinationOfIt`: destinationOfLine(line), where the caller formed it already.
    std::optional<ScreenVerdict> judge(std::string_view line, std::string_view cacheFileOnDisk,
                                       std::string_view destinationOfIt = {});
    // What screen() does with a verdict: says why the package stays and keeps its line, or
    // removes the cache copy the game has already.
    PlaceOutcome act(std::string_view line, std::string_view cacheFileOnDisk,
                     const ScreenVerdict& verdict, StatusSink& status, OutFile* log,
                     std::vector<std::string>& kept);

    // After the move of a line: the reason it must go back into the cache, when the header pass
    // found it whole and it is no longer what the pass read, and is damaged now.
    std::optional<std::string> damage(std::string_view line, const std::string& destination,
                                      const FileIdentity& landed) override;

    // A line the run placed; it must outlive reportNeeds (a view into the run's index). What it
    // needs was read by the screen of that line, before its move, or is read at the run's end
    // when a package it might need stays in the cache.
    void moved(std::string_view line);
    // Room for `lines` moved lines at once, so that the table of them is never grown.
    void expect(std::size_t lines);
    // The lines judge() is asked of next, in order (a few dozen): their lookups in the tables
    // are made together, so that the loads from memory overlap rather than follow one another.
    void lookAhead(const std::vector<std::string_view>& lines);

    // The run's end: for each package whose line the new index keeps and that no destination
    // folder holds, one line naming the moved packages that need it ("A.unr needs B, which stays
    // in the cache"; past five of them, how many others).
    void reportNeeds(const std::vector<std::string>& kept, StatusSink& status, OutFile* log);

  private:
    ScreenVerdict stays(std::string_view line, std::string_view otherName, std::string text) const;
    // A whole package whose name is installed as `installed`: it stays, or its cache copy goes
    // when the installed file is the same version with the same bytes.
    // The cache file of the line judged last is still the one the header pass found whole.
    bool unchangedSincePass(std::string_view line);
    ScreenVerdict installedVerdict(std::string_view line, std::string_view cacheFileOnDisk,
                                   const std::string& installed, bool sameVersion);
    std::string sourceOf(std::string_view line, std::string_view cacheFileOnDisk) const;
    // What makes two lines one package to the game: in the type folders its package name, in
    // other modes its destination, in any letter case.
    // `scratch` holds a destination a view needs.
    std::string_view placedKey(std::string_view line, std::string& scratch) const;
    // The line placed earlier in this run that the game takes for the same package as `line`.
    std::optional<std::string_view> placedBefore(std::string_view line);
    void addNeeds(std::uint32_t movedIndex, std::vector<std::string>& needs);
    // The needs in the order of the moves, as if all were read before their moves.
    void inMoveOrder();
    // What the header pass held for the name of `line`, kept when the plan screened it.
    std::optional<WholeHeaders::Known> knownBeforeMove(std::string_view line);

    const PlacementContext& place_;
    FileSystem& fs_;
    const WholeHeaders* whole_;
    bool needsRead_ = false;  // the needs of the line screened last are in screenedNeeds_
    std::vector<std::uint32_t> needsUnread_;  // moved_ indices whose needs were not read
    HeaderCache ownHeaders_;
    HeaderCache& headers_;
    FolderNames folders_;
    // The whole-headers table's answer for the line judged last, and for each moved line
    // (kNotAsked: none), and how many moved lines' landings were checked.
    static constexpr std::uint8_t kNotAsked = 255;
    std::pair<const char*, WholeHeaders::Known> judgedKnown_;
    std::pair<const char*, std::size_t> judgedKey_;  // the line judged last, its placedKey's hash
    // Of the lines looked ahead at: each one's table answer and placedKey hash (0: none), and
    // the next one judge() may take.
    struct Ahead {
        const char* line;
        WholeHeaders::Known known;
        std::size_t keyHash;
    };
    std::vector<Ahead> ahead_;
    std::size_t aheadAt_ = 0;
    std::vector<std::string> aheadNames_;  // their cache file names, kept to be reused
    std::vector<std::string_view> aheadViews_;
    std::vector<WholeHeaders::Known> aheadKnown_;
    // The entry of ahead_ for `line`, when it was looked ahead at.
    const Ahead* aheadOf(std::string_view line);
    std::vector<WholeHeaders::Known> movedKnown_;
    std::size_t landingsChecked_ = 0;
    std::vector<std::string_view> moved_;  // lines of moved packages (views into the run's index)
    HashSlots placed_;                     // moved_ indices by the hash of their placedKey
    // Each needed package once, by its name in upper case; as its first importer spells it.
    std::unordered_map<std::string, std::uint32_t> needIds_;
    std::vector<std::string> needNames_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> needs_;  // (moved_ index, need id)
    std::vector<std::string> screenedNeeds_;                      // of the line screened last
    std::string scratch_;  // a cache file name formed for one lookup
};

// Writes `text` to the log with its line end, then to the status list.
void reportLine(const std::string& text, StatusSink& status, OutFile* log);

}  // namespace qv
