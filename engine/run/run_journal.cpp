#include "engine/run/run_journal.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <ctime>
#include <functional>

#include "engine/cache/cache_entry.h"
#include "engine/run/journal_format.h"
#include "engine/run/placement.h"
#include "engine/run/run_plan.h"
#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "platform/textfile.h"
#include "settings/program_files.h"

namespace qv {

using journal::appendField;
using journal::Fields;
using journal::fieldsOf;
using journal::idOfName;
using journal::journalFiles;
using journal::kHeader;
using journal::kSuffix;
using journal::landingRecord;
using journal::numberOf;
using journal::unescaped;

namespace {

// The plan's records go to the system every kChunkRecords (or kChunkBytes) and are synced before
// the first move; each M record is written as it comes. A sync on the way would also force the
// file system to commit every move made so far, which costs the run more than all its moves.
constexpr std::size_t kChunkRecords = 256, kChunkBytes = 64 * 1024;
// Set aside before each move: its M record and the E record a stop may write right after it.
constexpr std::size_t kLandingRoom = (1 + 6 * 21 + 1) + (2 + 20 + 1);
constexpr std::size_t kPackageTypes = static_cast<std::size_t>(PackageType::Unknown) + 1;

}  // namespace

std::string journalFolder(const std::string& runLogPath) {
    return joinPath(parentFolder(runLogPath), "runs");
}

std::string resolvedFolder(FileSystem& fs, const std::string& path) {
    if (Result<std::string> real = fs.canonicalPath(path); real.ok()) return real.value;
    if (isAbsolutePath(path)) return path;
    const std::string here = workingFolder();
    return here.empty() ? path : joinPath(here, path);
}

RunJournal::RunJournal(FileSystem& fs, const std::string& folder, const std::string& cacheDir,
                       const std::string& cacheExt, std::string_view kind)
    : fs_(fs), cacheExt_(cacheExt) {
    if (fs.changesNothing()) {  // a dry run: no journal, and no old one removed
        dryRun_ = true;
        return;
    }
    (void)makeFolders(fs, folder);
    auto files = journalFiles(fs, folder);
    std::uint64_t id = files.empty() ? 1 : files.back().first + 1;
    // The oldest go, so that this one makes kJournalsKept.
    while (files.size() >= kJournalsKept) {
        (void)fs.removeFile(files.front().second);
        // With the log a killed run left beside it ("N.log"), which nothing names without it.
        const std::string& old = files.front().second;
        (void)fs.removeFile(old.substr(0, old.size() - std::string_view(kSuffix).size()) + ".log");
        files.erase(files.begin());
    }
    // Another run may take a number between the listing and the creation: the next one is tried.
    Result<std::unique_ptr<OutFile>> created{nullptr, Status::fromErrno(EEXIST)};
    for (int tries = 0; tries < 1000 && created.status.code == EEXIST; ++tries, ++id) {
        path_ = joinPath(folder, std::to_string(id)) + kSuffix;
        created = fs.createNewFile(path_);
    }
    if (!created.ok()) {
        failure_ = created.status.text;
        return;
    }
    file_ = std::move(created.value);
    // The clock file times take: whatever the run moves has a later change time.
    const std::int64_t now = fileClockNow();
    std::string start = kHeader;
    start.append("S\t").append(kind).append("\t");
    start.append(std::to_string(now));
    appendField(start.append("\t"), resolvedFolder(fs, cacheDir));
    appendField(start.append("\t"), cacheExt);
    put(start.append("\n"), false);
}

RunJournal::~RunJournal() {
    if (file_) (void)file_->close();
}

std::string RunJournal::failureLine() const {
    if (failure_.empty() || refusedLanding_) return {};  // stopLine() said it
    return "The journal " + path_ +
           (lostLanding_ ? " could not record where the last package moved landed ("
                         : " could not be finished (") +
           failure_ + ")";
}

bool RunJournal::expect(std::size_t move) {
    expected_ = move;
    if (!file_) return true;  // a dry run: no journal is kept
    const Status room =
        failure_.empty() ? file_->reserve(pending_.size() + kLandingRoom) : Status::success();
    if (!room.ok()) failure_ = room.text;
    refusedLanding_ = refusedLanding_ || !failure_.empty();
    return failure_.empty();
}

void RunJournal::put(std::string_view record, bool syncNow, bool writeNow) {
    if (!file_) return;
    pending_.append(record);
    if (!syncNow && !writeNow && ++pendingRecords_ < kChunkRecords && pending_.size() < kChunkBytes)
        return;
    Status s = file_->write(pending_);
    pending_.clear();
    pendingRecords_ = 0;
    if (s.ok() && syncNow) s = file_->sync();
    if (!s.ok() && failure_.empty()) failure_ = s.text;
}

void RunJournal::madeFolders(const std::vector<std::string>& folders) {
    std::string record;
    for (const std::string& folder : folders) {
        appendField(record.assign("C\t"), resolvedFolder(fs_, folder));
        put(record.append("\n"), false);
    }
}

void RunJournal::planMoves(const RunPlan& plan, const PlacementContext& place) {
    std::string record;
    destinations_.reserve(plan.moves);
    // The folder of a type's destinations is the same for every package of the type: it is
    // found once per type, from the first destination of it.
    std::array<std::size_t, kPackageTypes> folderOfType;
    folderOfType.fill(SIZE_MAX);
    for (std::size_t i = 0; i < plan.lines.size(); ++i) {
        const std::string_view line = plan.lines[i];
        if (plan.steps[i] == LineStep::Missing) {
            appendField(record.assign("D\t"), line);
            put(record.append("\n"), false);
        }
        if (plan.steps[i] != LineStep::Move) continue;
        const std::size_t move = destinations_.size();
        std::size_t& folderIndex = folderOfType[static_cast<std::size_t>(packageTypeOfLine(line))];
        std::string destination;
        if (folderIndex == SIZE_MAX || move >= plan.moveHashes.size())
            destination = destinationOfLine(line, place);
        if (folderIndex == SIZE_MAX) {
            // The destination: its folder, a separator, the real name (the line past "GUID=").
            const std::string_view folder(destination.data(),
                                          destination.size() - (line.size() - kGuidLength));
            auto known = std::find(folders_.begin(), folders_.end(), folder);
            if (known == folders_.end()) {
                record.assign("F\t").append(std::to_string(folders_.size()));
                appendField(record.append("\t"), resolvedFolder(fs_, std::string(folder)));
                put(record.append("\n"), false);
                known = folders_.emplace(folders_.end(), folder);
            }
            folderIndex = static_cast<std::size_t>(known - folders_.begin());
        }
        record.assign("P\t");
        appendField(record, line);
        record.append("\t").append(std::to_string(folderIndex));
        put(record.append("\n"), false);
        destinations_.push_back(move < plan.moveHashes.size()
                                    ? plan.moveHashes[move]
                                    : std::hash<std::string_view>()(destination));
    }
    put("", true);
    // The landings that follow, one before each next move, need no system call each.
    if (file_ && failure_.empty()) file_->writeThroughMapping();
}

void RunJournal::landed(const std::string& destination, const FileIdentity& f) {
    // Each landing belongs to the package the run said comes next, and to no other.
    const std::size_t k = expected_;
    expected_ = SIZE_MAX;
    if (k >= destinations_.size() || destinations_[k] != std::hash<std::string_view>()(destination))
        return;
    // What could not be looked up is recorded as unknown: the undo then leaves it where it is.
    // The record is formed in a buffer the journal keeps: one for each package moved.
    std::string& record = record_;
    landingRecord(record, k, f);
    // In the kernel before the next move begins: a killed run's journal names every landing.
    put(record.append("\n"), false, true);
    lostLanding_ = lostLanding_ || !failure_.empty();
}

void RunJournal::removingSpare(std::string_view line, const std::string& installed) {
    std::string record;
    appendField(record.assign("R\t"), line);
    appendField(record.append("\t"), installed);
    put(record.append("\n"), false, true);
}

void RunJournal::finish(std::size_t moved) {
    std::vector<std::uint64_t>().swap(destinations_);  // no landing comes after the end
    if (!file_) return;
    // The close syncs the record with the file's end: one sync, not two.
    put("E\t" + std::to_string(moved) + "\n", false, true);
    const Status closed = file_->close();
    if (!closed.ok() && failure_.empty()) failure_ = closed.text;
    file_.reset();
}

void RunJournal::discard() {
    if (!file_) return;
    (void)file_->close();
    file_.reset();
    (void)fs_.removeFile(path_);
}

// The cache file a spare copy was removed from, when its line is sound; "" otherwise.
std::string spareCachePath(const JournalRecord& r, const std::string& line) {
    const std::string_view guid = std::string_view(line).substr(0, kGuidLength);
    if (line.size() <= kGuidLength || line[kGuidLength] != '=' || guid.find('.') != guid.npos ||
        nextSeparator(guid) != guid.npos)
        return {};
    return joinPath(r.cacheDir, line.substr(0, kGuidLength)) + "." + r.cacheExt;
}

// The spare copies to put back: their cache name free, their installed twin still there.
std::vector<std::size_t> sparesToCopyBack(const JournalRecord& r, FileSystem& fs) {
    std::vector<std::size_t> back;
    for (std::size_t i = 0; i < r.spares.size(); ++i) {
        const std::string cache = spareCachePath(r, r.spares[i].first);
        if (!cache.empty() && !fs.exists(cache) && fs.isFile(r.spares[i].second)) back.push_back(i);
    }
    return back;
}

std::unordered_set<std::string> linesMovedByLastRun(FileSystem& fs, const std::string& folder,
                                                    const std::string& cacheDir,
                                                    const std::string& skipPath,
                                                    std::vector<std::string>* recovered,
                                                    bool record) {
    std::unordered_set<std::string> lines;
    const std::string cache = resolvedFolder(fs, cacheDir);
    // Newest first, each read only at its ends until the last run on this cache is found: a
    // folder of large journals is not read whole at every run's start.
    const auto files = journalFiles(fs, folder);
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        JournalRecord r;
        if (it->second == skipPath || !readJournalEnds(fs, it->second, r) || r.kind != "run" ||
            r.cacheDir != cache)
            continue;
        JournalRecord whole;
        if (r.undone || !readJournal(fs, r.path, whole, true) || whole.undone) break;
        if (lookForUnrecordedLandings(fs, whole)) {
            if (record) (void)recordLandingsFound(fs, whole);  // else looked for again
            for (std::size_t k : whole.recovered)
                if (recovered) recovered->push_back(recoveredLandingLine(whole, k));
        }
        for (const JournalEntry& e : whole.entries)
            if (e.landed) lines.insert(e.line);
        break;
    }
    return lines;
}

Status copySpareBack(const JournalRecord& r, std::size_t i, FileSystem& fs) {
    const std::string cache = spareCachePath(r, r.spares[i].first);
    const Result<std::string> bytes = fs.readAll(r.spares[i].second);
    if (!bytes.ok()) return bytes.status;
    if (fs.exists(cache)) return Status::fromErrno(EEXIST);
    return fs.writeAtomic(cache, bytes.value);
}

std::string JournalRecord::cacheFileOf(const JournalEntry& e) const {
    return joinPath(cacheDir, e.line.substr(0, kGuidLength)) + "." + cacheExt;
}

std::string JournalRecord::destinationOf(const JournalEntry& e) const {
    const std::string& folder = e.folder < folders.size() ? folders[e.folder] : cacheDir;
    return joinPath(folder, e.line.substr(std::min(e.line.size(), kGuidLength + 1)));
}

namespace {

// One record of a journal into `out`; without the entries, a package or a landing is only
// counted.
void takeRecord(std::string_view record, JournalRecord& out, bool withEntries) {
    if (!withEntries && record.size() > 2 && record[1] == '\t' &&
        (record[0] == 'P' || record[0] == 'M')) {
        const auto tabs = std::count(record.begin(), record.end(), '\t');
        if (tabs == (record[0] == 'P' ? 2 : 6)) ++(record[0] == 'P' ? out.planned : out.moved);
        return;
    }
    const Fields f = fieldsOf(record);
    const char type = f[0].size() == 1 ? f[0][0] : '?';
    if (type == 'S' && f.size() == 5) {
        out.kind = f[1];
        out.startedNs = numberOf<std::int64_t>(f[2]);
        out.cacheDir = unescaped(f[3]);
        out.cacheExt = unescaped(f[4]);
    } else if (type == 'R' && f.size() == 3) {
        out.spares.emplace_back(unescaped(f[1]), unescaped(f[2]));  // few: always read
    } else if (type == 'D' && f.size() == 2) {
        ++out.changes, ++out.dropped;
        if (withEntries) out.droppedLines.push_back(unescaped(f[1]));
    } else if (type == 'C' && f.size() == 2) {
        ++out.changes;
        if (withEntries) out.madeFolders.push_back(unescaped(f[1]));
    } else if (type == 'F' && f.size() == 3) {
        if (withEntries) out.folders.push_back(unescaped(f[2]));
    } else if (type == 'P' && f.size() == 3) {
        ++out.planned;
        if (withEntries)
            out.entries.push_back({unescaped(f[1]), numberOf<std::uint32_t>(f[2]), false, {}});
    } else if (type == 'M' && f.size() == 7) {
        ++out.moved;
        const auto k = numberOf<std::size_t>(f[1]);
        if (!withEntries || k >= out.entries.size()) return;
        JournalEntry& e = out.entries[k];
        e.landed = true;
        e.identity = {numberOf<std::uint64_t>(f[2]), numberOf<std::int64_t>(f[3]),
                      numberOf<std::int64_t>(f[4]), numberOf<std::uint64_t>(f[5]),
                      numberOf<std::uint64_t>(f[6])};
    } else if (type == 'E') {
        out.finished = true;
        if (out.kind == "purge" && f.size() == 2) out.moved = numberOf<std::size_t>(f[1]);
    } else if (type == 'U') {
        out.undone = true;
    } else if (type == 'K') {
        out.settled = true;
    }
}

// Each whole line of `text` from `start` on to `take`. A record cut short by a kill is left: a
// last line without its end, or a line holding a zero byte (records never do: the landings are
// copied into a mapping of the file, the first byte last, ahead of room that reads as zeros).
template <class Take>
void forEachRecord(std::string_view text, std::size_t start, Take&& take) {
    for (std::size_t end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string_view::npos) break;
        const std::string_view record = text.substr(start, end - start);
        if (record.find('\0') == std::string_view::npos) take(record);
    }
}

void nameJournal(const std::string& path, JournalRecord& out) {
    out.path = path;
    out.id = std::to_string(idOfName(fileNameOf(path)));
}

}  // namespace

namespace {

// A journal's whole text into `out`; false when it is no journal.
bool parseJournal(std::string_view text, const std::string& path, JournalRecord& out,
                  bool withEntries) {
    if (!text.starts_with(kHeader)) return false;
    nameJournal(path, out);
    forEachRecord(text, std::string_view(kHeader).size(),
                  [&](std::string_view record) { takeRecord(record, out, withEntries); });
    return !out.kind.empty();
}

}  // namespace

bool readJournal(FileSystem& fs, const std::string& path, JournalRecord& out, bool withEntries) {
    const Result<std::string> text = fs.readAll(path);
    return text.ok() && parseJournal(text.value, path, out, withEntries);
}

bool readJournalEnds(FileSystem& fs, const std::string& path, JournalRecord& out) {
    // The start record is the first line after the header; the end and the undo's mark are the
    // last lines. A block at each end holds them, whatever the journal's size.
    constexpr std::size_t kBlock = 64 * 1024;
    Result<std::unique_ptr<InFile>> file = fs.openForReading(path);
    if (!file.ok()) return false;
    const std::uint64_t size = file.value->identity().size;
    if (size <= 2 * kBlock) {  // read whole, through the file already open
        std::string text(size, '\0');
        const Result<std::size_t> got = file.value->readAt(0, text.data(), text.size());
        if (!got.ok()) return false;
        text.resize(got.value);
        const bool read = parseJournal(text, path, out, false);
        out.planned = out.moved = out.changes = out.dropped = 0,
        out.spares.clear();  // as from a large one
        return read;
    }
    // The tail starts one byte early: a line feed there makes its first line a whole one.
    std::string head(kBlock, '\0'), tail(kBlock + 1, '\0');
    const Result<std::size_t> gotHead = file.value->readAt(0, head.data(), kBlock);
    const Result<std::size_t> gotTail =
        file.value->readAt(size - kBlock - 1, tail.data(), kBlock + 1);
    if (!gotHead.ok() || !gotTail.ok()) return false;
    head.resize(gotHead.value), tail.resize(gotTail.value);
    if (!head.starts_with(kHeader)) return false;
    nameJournal(path, out);
    const std::size_t start = std::string_view(kHeader).size();
    const std::size_t startEnd = head.find('\n', start);
    if (startEnd == std::string::npos) return readJournal(fs, path, out, false);  // a huge path
    takeRecord(std::string_view(head).substr(start, startEnd - start), out, false);
    // The tail's first line may be cut by the block's edge: only the lines after it count.
    const std::size_t firstLine = tail.find('\n');
    if (firstLine != std::string::npos)
        forEachRecord(tail, firstLine + 1, [&](std::string_view record) {
            if (record.starts_with("E\t") || record.starts_with("U\t") || record.starts_with("K\t"))
                takeRecord(record, out, false);
        });
    out.moved = 0;  // counts nothing, though a purge's end record above gave its count
    return !out.kind.empty();
}

std::vector<JournalRecord> readJournals(FileSystem& fs, const std::string& folder,
                                        bool withEntries) {
    std::vector<JournalRecord> records;
    const auto files = journalFiles(fs, folder);
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        JournalRecord r;
        if (readJournal(fs, it->second, r, withEntries)) records.push_back(std::move(r));
    }
    return records;
}

}  // namespace qv
