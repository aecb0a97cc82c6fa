// The index transaction: cache.ini replaced while the game, which takes no lock, may write it.
//
// Invariant: every line whose package is in the cache at the end is in cache.ini or named in
// the log as not kept; nothing is named falsely.
//
// Why it holds: the new index is what the caller keeps plus every entry line seen in any whole
// read of cache.ini, of the displaced file or (for a line whose package is in the cache) of the
// old backup that the caller neither read nor removed; the last step reads cache.ini whole and
// names exactly the lines of the new index it lacks.
#include "engine/cache/index_transaction.h"

#include <cerrno>
#include <functional>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/cache/cache_entry.h"
#include "engine/cache/index_file.h"
#include "platform/ascii.h"
#include "platform/filesystem.h"
#include "platform/paths.h"
#include "platform/textfile.h"
#include "platform/trace.h"

namespace qv {

IndexWaits& indexWaits() {
    static IndexWaits waits;
    return waits;
}

namespace {

using Clock = std::chrono::steady_clock;

void pause() {
    std::this_thread::sleep_for(indexWaits().poll);
}

bool cutAtEnd(std::string_view t) {
    return !t.empty() && t.back() != '\n' && t.back() != '\r';
}

bool blank(std::string_view t) {
    return t.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

bool isEntryLine(std::string_view line) {
    return parseEntryView(line).has_value();
}

bool hasEntryLines(std::string_view text) {
    return anyOwnLine(text, isEntryLine);
}

FileIdentity identityOr(FileSystem& fs, const std::string& path) {
    const Result<FileIdentity> id = fs.identityOf(path);
    return id.ok() ? id.value : FileIdentity{};
}

// `path` still holds exactly `text`, compared a piece at a time, unchanged during the compare and
// open for writing by no program: what a whole read (readWholeIndex) would give at once, without
// a second copy of a large index. False whenever that cannot be told; a text only taken after
// a wait (cut short, or holding no line) is read again.
bool stillHolds(FileSystem& fs, const std::string& path, const std::string& text) {
    if (cutAtEnd(text) || blank(text)) return false;
    const Result<FileIdentity> before = fs.identityOf(path);
    if (!before.ok()) return false;
    const Result<bool> same = fs.holdsExactly(path, text);
    if (!same.ok() || !same.value) return false;
    const Result<FileIdentity> after = fs.identityOf(path);
    const Result<bool> open = fs.openForWriting(path);
    return after.ok() && after.value.sameAs(before.value) && open.ok() && !open.value;
}

}  // namespace

Result<std::string> readWholeIndex(FileSystem& fs, const std::string& path, bool heldLines) {
    const Clock::time_point start = Clock::now();
    bool steady = false;  // `stable` unchanged, with no writer, since `since`
    FileIdentity stable;
    Clock::time_point since = start;
    for (;;) {
        const Result<FileIdentity> before = fs.identityOf(path);
        Result<std::string> text = readCacheIndex(fs, path);
        if (!text.ok()) return text;
        const Result<FileIdentity> after = fs.identityOf(path);
        const bool same = !before.ok() || (after.ok() && before.value.sameAs(after.value));
        const Result<bool> open = fs.openForWriting(path);
        const bool writing = open.ok() && open.value;
        const bool doubtful = cutAtEnd(text.value) || blank(text.value);
        const bool lineless = heldLines && blank(text.value);
        if (trace::enabled(trace::Category::Index))
            trace::line(trace::Category::Index,
                        path + ": read " + std::to_string(text.value.size()) + " bytes" +
                            (same ? "" : ", changed during the read") +
                            (writing ? ", a program has it open for writing" : "") +
                            (cutAtEnd(text.value) ? ", ends in a cut line" : "") +
                            (blank(text.value) ? ", holds no line" : ""));
        // Empty or cut with nobody writing it, where that can be told (the game writes the
        // whole file in one opening): the writer is done.
        if (same && !writing && (!doubtful || (open.ok() && !lineless))) return text;
        const Clock::time_point now = Clock::now();
        // Empty or cut, and it stays so with no writer: as whole as anyone can tell.
        if (same && !writing && !lineless) {
            const FileIdentity id = after.ok() ? after.value : FileIdentity{};
            if (!steady || !stable.sameAs(id)) {
                steady = true;
                stable = id;
                since = now;
            } else if (now - since >= indexWaits().quiet) {
                return text;
            }
        } else {
            steady = false;
        }
        if (now - start >= indexWaits().limit)
            return {{},
                    Status::failure("it kept changing while it was read: another program (the "
                                    "game?) is writing it",
                                    EBUSY)};
        pause();
    }
}

namespace {

class IndexTransaction final {
  public:
    IndexTransaction(FileSystem& fs, const std::string& cacheDir, const std::string& before,
                     std::string ours, bool keepBackup, const std::vector<std::string>* cacheFiles)
        : fs_(fs),
          cacheDir_(cacheDir),
          indexPath_(joinPath(cacheDir, "cache.ini")),
          backupPath_(joinPath(cacheDir, "cachebak.ini")),
          leftPath_(joinPath(cacheDir, kLeftBackupName)),
          before_(before),
          ours_(std::move(ours)),
          keepBackup_(keepBackup),
          cacheFiles_(cacheFiles) {
        if (cutAtEnd(ours_)) ours_ += "\r\n";
        r_.backupAsked = keepBackup;
    }

    IndexReplacement commit();

  private:
    void carry(std::string_view seen);
    void carryFromBackup(std::string_view latest);
    void keepBeforeExchange(const std::string& latest);
    void dropKept();
    std::string target() const;
    bool reread(const std::string* written = nullptr);
    void writeWithoutExchange(const std::string& latest, const std::string& text);
    std::string placeDisplaced(const std::string& name, const std::string& latest);
    void settle(const std::string& watched);
    void watch(const std::string& watched, const std::string& carriedText);
    IndexReplacement finish(const std::string& last, bool lastIsNow);

    FileSystem& fs_;
    const std::string cacheDir_, indexPath_, backupPath_, leftPath_;
    const std::string& before_;
    std::string ours_;
    const bool keepBackup_;
    const std::vector<std::string>* cacheFiles_;  // listed by the caller, or null
    // Lines of `before_` and `ours_`, made at the first carry: most replacements never see a
    // text other than those two.
    std::unordered_set<std::string_view> known_;
    bool knownMade_ = false;
    // The last whole read of cache.ini: `before_` until a read differs, then `read_`.
    std::string read_;
    const std::string* latest_ = &before_;
    std::vector<std::string> carried_, fromBackup_;
    std::unordered_set<std::string> added_;  // carried_ and fromBackup_
    bool exchanged_ = false;
    // The size and hash of the text kept under leftPath_, while it is there.
    std::optional<std::pair<std::size_t, std::size_t>> kept_;
    IndexReplacement r_;
};

// Until the displaced index is cachebak.ini, it waits under a name of its own as well: a run
// killed between the exchange and the backup's rename leaves the old index there, and the next
// one makes it cachebak.ini (restoreLeftBackup). Where the copy cannot be written the exchange
// goes on all the same, as it did before such copies were kept.
void IndexTransaction::keepBeforeExchange(const std::string& latest) {
    const std::pair<std::size_t, std::size_t> id{latest.size(), std::hash<std::string>{}(latest)};
    if (kept_ == id) return;
    // A second name of cache.ini itself, where it still holds what was read, costs no copy of a
    // large index; the exchange then takes that very file away under another name.
    const bool linked =
        fs_.linkReplacing(indexPath_, leftPath_).ok() && fs_.holdsExactly(leftPath_, latest).value;
    const Status written =
        linked ? Status::success() : fs_.writeAtomicLike(leftPath_, latest, indexPath_);
    if (written.ok()) {
        kept_ = id;
    } else {
        kept_.reset();
        trace::line(trace::Category::Index, leftPath_ + ": not written: " + written.text);
    }
}

void IndexTransaction::dropKept() {
    if (kept_) (void)fs_.removeFile(leftPath_);
    kept_.reset();
}

// Entry lines of `seen` that the caller neither read nor wrote, once each.
void IndexTransaction::carry(std::string_view seen) {
    if (!knownMade_) {
        knownMade_ = true;
        for (std::string_view line : splitOwnLineViews(before_)) known_.insert(line);
        for (std::string_view line : splitOwnLineViews(ours_)) known_.insert(line);
    }
    for (std::string_view line : splitOwnLineViews(seen)) {
        if (!isEntryLine(line) || known_.count(line) || added_.count(std::string(line))) continue;
        carried_.emplace_back(line);
        added_.emplace(line);
    }
}

// Lines of the backup about to be replaced whose package (GUID.*) is in the cache and that have
// no line in the index. Only the cache's files are kept in a table: the index's lines (as many
// as the cache held before the run) are looked up in it, never copied.
void IndexTransaction::carryFromBackup(std::string_view latest) {
    const Result<std::string> backup = fs_.readAll(backupPath_);
    if (!backup.ok() || !hasEntryLines(backup.value)) return;
    const Result<std::vector<std::string>> listed =
        cacheFiles_ ? Result<std::vector<std::string>>::of({}) : plainFileNames(fs_, cacheDir_);
    // The GUIDs of the cache's files, each with whether a line names it already.
    std::unordered_map<std::string, bool, NoCaseAsciiHash, NoCaseAsciiEqual> inCache;
    for (const std::string& f : cacheFiles_ ? *cacheFiles_ : listed.value)
        if (!lowerAscii(f).ends_with(".tmp")) inCache.emplace(f.substr(0, f.find('.')), false);
    if (inCache.empty()) return;
    const auto guidOf = [](std::string_view line) {
        const std::optional<EntryView> e = parseEntryView(line);
        return e ? e->Guid : std::string_view();
    };
    const auto indexed = [&](std::string_view line) {
        const std::string_view guid = guidOf(line);
        if (guid.empty()) return;
        if (const auto it = inCache.find(guid); it != inCache.end()) it->second = true;
    };
    for (std::string_view text : {latest, std::string_view(ours_)}) forEachOwnLine(text, indexed);
    for (const std::string& line : carried_) indexed(line);
    forEachOwnLine(backup.value, [&](std::string_view line) {
        const std::string_view guid = guidOf(line);
        if (guid.empty()) return;
        const auto it = inCache.find(guid);
        if (it == inCache.end() || it->second) return;
        it->second = true;
        if (added_.emplace(line).second) fromBackup_.emplace_back(line);
    });
}

std::string IndexTransaction::target() const {
    std::string text = ours_;
    for (const std::string& line : carried_) text.append(line).append("\r\n");
    for (const std::string& line : fromBackup_) text.append(line).append("\r\n");
    return text;
}

// cache.ini read whole once more; false when that cannot be done (what was known stays). `written`:
// the text this replacement last wrote there, if any.
bool IndexTransaction::reread(const std::string* written) {
    if (stillHolds(fs_, indexPath_, *latest_)) return true;
    Result<std::string> now = readWholeIndex(fs_, indexPath_, hasEntryLines(*latest_));
    if (!now.ok()) return false;
    if (now.value == *latest_) return true;  // no copy of the same text is kept
    // Every line of the last text and of what was written is known or carried already: only
    // another text can add lines.
    const bool seen = written && now.value == *written;
    read_ = std::move(now.value);
    latest_ = &read_;
    if (!seen) carry(read_);
    return true;
}

// No exchange on this file system (or no cache.ini): the backup becomes a copy of its own, then
// the index is replaced by a rename.
void IndexTransaction::writeWithoutExchange(const std::string& latest, const std::string& text) {
    if (keepBackup_ && !exchanged_ && fs_.exists(indexPath_))
        r_.backup = fs_.writeAtomicLike(backupPath_, latest, indexPath_);
    r_.index = fs_.writeAtomic(indexPath_, text);
    exchanged_ = exchanged_ || r_.index.ok();
    dropKept();
}

// The first file displaced is the backup; a later one was this replacement's own. Returns the
// name the displaced file is under now ("" when it is gone).
std::string IndexTransaction::placeDisplaced(const std::string& name, const std::string& latest) {
    const bool first = !exchanged_;
    exchanged_ = true;
    if (!keepBackup_ || !first) return name;
    if (name.empty()) {  // gone (no exchange, no links): the backup is a copy of what it held
        r_.backup = fs_.writeAtomicLike(backupPath_, latest, indexPath_);
        return name;
    }
    r_.backup = fs_.canReplace(backupPath_);
    if (r_.backup.ok()) r_.backup = fs_.renameReplace(name, backupPath_);
    if (!r_.backup.ok()) {
        // One failure never costs the backup: a copy; the displaced file is still watched.
        const Status copied = fs_.writeAtomicLike(backupPath_, latest, name);
        if (copied.ok() || fs_.exists(backupPath_)) r_.backup = copied;
        return name;
    }
    // A rename between two names of one file (a backup an older version linked) leaves both.
    if (fs_.exists(name)) (void)fs_.removeFile(name);
    return backupPath_;
}

// Waits until no program holds `watched` or cache.ini open for writing; where that cannot be
// told, until both stayed the same for a while.
void IndexTransaction::settle(const std::string& watched) {
    const Clock::time_point start = Clock::now();
    FileIdentity lastWatched, lastIndex;
    Clock::time_point since = start;
    while (Clock::now() - start < indexWaits().limit) {
        const Result<bool> a =
            watched.empty() ? Result<bool>{false, Status::success()} : fs_.openForWriting(watched);
        const Result<bool> b = fs_.openForWriting(indexPath_);
        const bool unknown = a.status.code == ENOSYS || b.status.code == ENOSYS;
        if (!unknown && !(a.ok() && a.value) && !(b.ok() && b.value)) return;
        if (unknown) {
            const FileIdentity w = watched.empty() ? FileIdentity{} : identityOr(fs_, watched);
            const FileIdentity i = identityOr(fs_, indexPath_);
            if (!w.sameAs(lastWatched) || !i.sameAs(lastIndex)) {
                lastWatched = w;
                lastIndex = i;
                since = Clock::now();
            } else if (Clock::now() - since >= indexWaits().quiet) {
                return;
            }
        }
        pause();
    }
}

// What the game wrote into the displaced file after the exchange is carried; a file of this
// replacement's own is removed once read.
void IndexTransaction::watch(const std::string& watched, const std::string& carriedText) {
    settle(watched);
    if (watched.empty()) return;
    // Read whole only where something was written into it since.
    if (!stillHolds(fs_, watched, carriedText))
        if (Result<std::string> d = readWholeIndex(fs_, watched, true);
            d.ok() && d.value != carriedText)
            carry(d.value);
    if (watched != backupPath_) (void)fs_.removeFile(watched);
}

IndexReplacement IndexTransaction::commit() {
    constexpr int kRounds = 8;
    const bool read = reread();
    if (keepBackup_) carryFromBackup(*latest_);
    bool lastWasRead = read;
    for (int round = 0; round < kRounds; ++round) {
        const std::string text = target();
        if (lastWasRead && *latest_ == text) {
            if (!exchanged_) {  // holds the new index already: nothing is written
                r_.index = Status::success();
                r_.unchanged = true;
            }
            return finish(*latest_, true);
        }
        if (keepBackup_ && !exchanged_ && !fs_.changesNothing()) keepBeforeExchange(*latest_);
        const Result<std::string> swapped = fs_.exchangeAtomic(indexPath_, text, latest_);
        const int err = swapped.ok() ? 0 : swapped.status.code;
        trace::line(trace::Category::Index,
                    indexPath_ + ": exchange " + std::to_string(round + 1) + ": " +
                        (err == 0           ? std::string("done")
                         : err == kErrStale ? std::string("rewritten meanwhile, read again")
                                            : swapped.status.text));
        if (err == kErrStale) {  // written meanwhile; nothing was exchanged
            if (!exchanged_)
                r_.index = r_.backup = Status::failure(
                    "another program (the game?) kept rewriting it; nothing was written",
                    kErrStale);
            lastWasRead = reread();
            continue;
        }
        if (err == ENOSYS || err == ENOENT) {
            writeWithoutExchange(*latest_, text);
            if (!r_.index.ok()) break;
            settle({});
        } else if (err != 0) {
            if (!exchanged_) r_.index = r_.backup = swapped.status;  // nothing was changed
            break;
        } else {
            r_.index = Status::success();
            // The displaced file held the last text read when it was exchanged; the game may write
            // it since.
            const std::string displaced = placeDisplaced(swapped.value, *latest_);
            dropKept();
            watch(displaced, *latest_);
        }
        lastWasRead = reread(&text);
    }
    if (!lastWasRead) lastWasRead = reread();
    return finish(*latest_, lastWasRead);
}

// Every line of the new index that `last` (the last whole read of cache.ini) lacks is named as
// not kept; the others are reported as kept. Where the writer never let the file settle since,
// a line it holds now (by a plain read) is not named: it is there.
IndexReplacement IndexTransaction::finish(const std::string& last, bool lastIsNow) {
    dropKept();
    std::unordered_set<std::string_view> present;
    for (std::string_view line : splitOwnLineViews(last)) present.insert(line);
    const Result<std::string> now =
        lastIsNow ? Result<std::string>::of({}) : fs_.readAll(indexPath_);
    for (std::string_view line : splitOwnLineViews(now.value)) present.insert(line);
    // Where nothing was exchanged the caller says so; its own lines are no loss then.
    const std::vector<std::string_view> ours = splitOwnLineViews(ours_);
    for (std::string_view line : ours)
        if (exchanged_ && isEntryLine(line) && !present.count(line)) r_.notKept.emplace_back(line);
    for (std::vector<std::string>* lines : {&carried_, &fromBackup_}) {
        std::vector<std::string>& kept = lines == &carried_ ? r_.carried : r_.fromBackup;
        for (std::string& line : *lines)
            (present.count(line) ? kept : r_.notKept).push_back(std::move(line));
    }
    return std::move(r_);
}

}  // namespace

IndexReplacement replaceCacheIndex(FileSystem& fs, const std::string& cacheDir,
                                   const std::string& oldIndex, std::string newIndex,
                                   bool keepBackup, const std::vector<std::string>* cacheFiles) {
    return IndexTransaction(fs, cacheDir, oldIndex, std::move(newIndex), keepBackup, cacheFiles)
        .commit();
}

std::vector<std::string> IndexReplacement::report(const std::string& cacheDir) const {
    std::vector<std::string> lines;
    if (!index.ok()) {
        lines.push_back("CACHE.INI could not be replaced (" + index.text + ")");
        return lines;
    }
    if (unchanged) {
        lines.push_back(joinPath(cacheDir, "CACHE.INI") +
                        " already held every line it keeps; it was left as "
                        "it was, and CACHEBAK.INI too");
        return lines;
    }
    // Where no backup was asked for, none is spoken of.
    if (backupAsked && !backup.ok())
        lines.push_back(joinPath(cacheDir, "CACHEBAK.INI") + " could not be replaced (" +
                        backup.text + "); the previous backup stays");
    else if (backupAsked)
        lines.push_back(joinPath(cacheDir, "CACHE.INI") + " was renamed to CACHEBAK.INI");
    lines.push_back("A new CACHE.INI was created in " + cacheDir);
    return lines;
}

std::string notKeptLine(const std::string& line) {
    return line + " could NOT be kept in CACHE.INI (another program, the game, kept rewriting it)";
}

std::vector<std::string> IndexReplacement::notKeptReport() const {
    std::vector<std::string> lines;
    for (const std::string& line : notKept) lines.push_back(notKeptLine(line));
    return lines;
}

std::vector<std::string> IndexReplacement::carriedReport() const {
    std::vector<std::string> lines;
    for (const std::string& line : carried)
        lines.push_back(line + " was added to CACHE.INI meanwhile (by the game) and is kept");
    for (const std::string& line : fromBackup)
        lines.push_back(line +
                        " was only in CACHEBAK.INI, its package is in the cache: it is "
                        "kept in CACHE.INI");
    for (std::string& line : notKeptReport()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace qv
