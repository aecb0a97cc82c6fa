#include "engine/run/run_log.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "engine/cache/index_file.h"
#include "engine/engine_context.h"
#include "engine/public_variables.h"
#include "engine/run/run_journal.h"
#include "platform/ascii.h"
#include "platform/line_writer.h"
#include "platform/paths.h"
#include "settings/cache_index_format.h"
#include "settings/program_files.h"

namespace qv {

namespace {

// Collects the log's lines and writes them in chunks: one write per line was a third of a large
// run's time. A chunk goes out every 256 lines (about 25 KB, at most 64 KiB), so the writes a run
// makes do not depend on timing. Placement and the run write through the same object, so the
// lines keep their order. The shared log (openSharedLog) adds them to Quorvel.log as one block
// when the run ends; until then the chunks go to the run's side file beside its journal, so a
// killed run loses at most its last 256 lines, which the next command on its cache adds to the
// log (addLeftoverLogs). A run without a journal (a dry run) holds its lines in memory instead,
// and a killed one loses them all.
class BufferedOutFile final : public OutFile {
  public:
    explicit BufferedOutFile(std::unique_ptr<OutFile> inner) : inner_(std::move(inner)) {}
    ~BufferedOutFile() override { (void)close(); }

    Status write(std::string_view data) override {
        if (!inner_) return Status::failure("the log is closed");
        writeLines(data);
        if (++pendingWrites_ >= kLines || pending_.size() >= kChunk) return flush();
        return Status::success();
    }
    Status close() override {
        if (!inner_) return firstFailure_;
        const Status flushed = flush();
        const Status closed = inner_->close();
        inner_.reset();
        if (firstFailure_.ok() && !closed.ok()) firstFailure_ = closed;
        return firstFailure_;
    }
    // The lines held back go out first, then to the disk.
    Status sync() override {
        if (!inner_) return Status::failure("the log is closed");
        const Status flushed = flush();
        return flushed.ok() ? inner_->sync() : flushed;
    }
    // The first write or close that failed: the log on disk is then cut short.
    const Status& firstFailure() const { return firstFailure_; }

  private:
    static constexpr std::size_t kChunk = 64 * 1024;

    // Names come from servers: the log keeps their exact bytes but never a control byte that
    // would run in the terminal of whoever reads it. Each line of `data` (ended by CR LF) holds
    // names, so it goes to the writer as a Name.
    void writeLines(std::string_view data) {
        for (std::size_t start = 0; start < data.size();) {
            const std::size_t end = data.find("\r\n", start);
            const std::string_view line = data.substr(start, end - start);
            if (end == std::string_view::npos) {
                lines_.text(Name{line});
                return;
            }
            lines_.line(Name{line});
            start = end + 2;
        }
    }

    static constexpr int kLines = 256;

    Status flush() {
        pendingWrites_ = 0;
        if (pending_.empty()) return Status::success();
        const Status s = inner_->write(pending_);
        pending_.clear();  // a failed write is skipped, as a failed line was
        if (!s.ok() && firstFailure_.ok()) firstFailure_ = s;
        return s;
    }

    std::unique_ptr<OutFile> inner_;
    std::string pending_;
    LineWriter lines_{pending_, "\r\n"};  // into pending_
    int pendingWrites_ = 0;
    Status firstFailure_ = Status::success();  // none yet
};

// What a stopped run says at the end of its report: how far it got, and what became of the
// packages it did not reach.
std::vector<std::string> stoppedReport(const FinishRunInput& in) {
    if (in.stoppedText.empty()) return {};
    const std::size_t left = in.notReached ? in.notReached->size() : 0;
    std::vector<std::string> lines{in.stoppedText};
    if (left > 0)
        lines.push_back("The run was stopped: the other " + std::to_string(left) +
                        (left == 1 ? " package stays" : " packages stay") + " in the cache, with " +
                        (left == 1 ? "its line" : "their lines") + " in cache.ini.");
    return lines;
}

// The cache files of `listed` that no line of the new index names (the game's later save dropped
// them, after an undo while it ran): "" when there are none.
std::string linelessNote(const Result<std::vector<std::string>>& listed, const FinishRunInput& in,
                         const IndexReplacement& replaced) {
    if (!listed.ok() || in.cacheExt.empty()) return {};
    std::unordered_set<std::string> named;
    const auto name = [&](std::string_view line) {
        if (line.size() > kGuidLength && line[kGuidLength] == '=')
            named.insert(upperAscii(line.substr(0, kGuidLength)));
    };
    for (const std::string& line : in.keptLines) name(line);
    for (const auto* lines : {&replaced.carried, &replaced.fromBackup, &replaced.notKept})
        for (const std::string& line : *lines) name(line);
    std::size_t lineless = 0;
    for (const std::string& f : listed.value)
        lineless += f.size() == kGuidLength + 1 + in.cacheExt.size() && f[kGuidLength] == '.' &&
                    equalsNoCaseAscii(std::string_view(f).substr(kGuidLength + 1), in.cacheExt) &&
                    !named.count(upperAscii(std::string_view(f).substr(0, kGuidLength)));
    if (lineless == 0) return {};
    const bool one = lineless == 1;
    return std::to_string(lineless) +
           (one ? " file in the cache has" : " files in the cache have") +
           " no line in CACHE.INI (the game may have dropped " + (one ? "it" : "them") +
           "); Check packages (quorvel-cli check --restore) puts " +
           (one ? "its line" : "their lines") + " back.";
}

}  // namespace

void RunLog::line(const std::string& text) {
    if (file) (void)file->write(text + "\r\n");
}

void RunLog::close() {
    if (file) {
        const Status closed = file->close();
        if (!closed.ok() && failure.empty()) failure = closed.text;
    }
    file.reset();
}

std::string RunLog::statusLine() const {
    if (!created) return path + " could not be created (" + failure + ")";
    if (!failure.empty()) return path + " could not be written completely (" + failure + ")";
    if (shared) return "This run's lines were added to " + path + ", which another run writes too.";
    return path + " was created.";
}

namespace {

constexpr std::string_view kJournalSuffix = ".journal", kSideSuffix = ".log";

std::string usingLine(const std::string& cacheDir) {
    return "{{ Using " + cacheDir + " as the CACHE directory }}";
}

}  // namespace

std::string sideLogOf(const std::string& journalPath) {
    if (!journalPath.ends_with(kJournalSuffix)) return {};
    return journalPath.substr(0, journalPath.size() - kJournalSuffix.size()) +
           std::string(kSideSuffix);
}

RunLog StartRunLog(const std::string& cacheDir, const std::string& logPath, FileSystem& fs,
                   const std::string& sidePath) {
    RunLog log;
    log.path = logPath;
    // The user's data folder may not exist yet; a failure here shows in openSharedLog's reason.
    (void)makeFolders(fs, parentFolder(log.path));
    bool alone = true;
    Result<std::unique_ptr<OutFile>> created = fs.openSharedLog(log.path, sidePath, alone);
    if (created.ok()) {
        log.shared = !alone;
        log.file = std::make_unique<BufferedOutFile>(std::move(created.value));
        log.created = true;
    } else {
        log.failure = created.status.text;
    }
    log.line(usingLine(cacheDir));
    log.line("");
    // The header reaches the side file at once: a run killed before its first chunk still
    // leaves a block that starts as every run's does.
    if (log.file) (void)log.file->sync();
    return log;
}

void addLeftoverLogs(RunLog& log, FileSystem& fs, const std::string& journalFolder,
                     const std::string& cacheDir, const std::string& ownJournal) {
    if (!log.created || fs.changesNothing()) return;
    const std::string cache = resolvedFolder(fs, cacheDir);
    const Result<std::vector<FileInfo>> listed =
        fs.listFiles(journalFolder, "*" + std::string(kSideSuffix));
    std::vector<std::pair<std::uint64_t, JournalRecord>> killed;
    for (const FileInfo& f : listed.value) {
        const std::string stem = f.name.substr(0, f.name.size() - kSideSuffix.size());
        const std::string journal = joinPath(journalFolder, stem) + std::string(kJournalSuffix);
        JournalRecord r;
        if (journal == ownJournal || !readJournalEnds(fs, journal, r) || r.cacheDir != cache)
            continue;
        killed.emplace_back(std::strtoull(stem.c_str(), nullptr, 10), std::move(r));
    }
    std::sort(killed.begin(), killed.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [number, r] : killed) {
        const std::string side = sideLogOf(r.path);
        const Result<std::string> lines = fs.readAll(side);
        if (!lines.ok()) continue;
        std::string block = lines.value;
        if (!block.starts_with("{{ ")) block.insert(0, usingLine(r.cacheDir) + "\r\n\r\n");
        if (!block.ends_with("\r\n")) block += "\r\n";
        block += "Run " + r.id + " was interrupted; its log ends here.\r\n\r\n";
        // One append, as a run's own block: it lands before this run's, which waits for its end.
        if (fs.appendToFile(log.path, block).ok()) (void)fs.removeFile(side);
    }
}

namespace {

// Names each package still in the cache, in the order of the last scan ("... was not moved.");
// true when there was one. `listed`: the cache folder as it is now.
bool reportNotMoved(const FinishRunInput& in, const PublicVariables& pv,
                    const Result<std::vector<std::string>>& listed, RunLog& log, FileSystem& fs,
                    StatusSink& status) {
    // One listing of the cache folder answers for plain names; a lookup per entry cost most of
    // a large run's time, since nearly all of them ask for files the run has just moved.
    // Letter case aside: a cache copied from Windows keeps its files under any case.
    std::unordered_set<std::string_view, NoCaseAsciiHash, NoCaseAsciiEqual> present;
    if (listed.ok()) present.insert(listed.value.begin(), listed.value.end());
    const auto stillInCache = [&](const std::string& name) {
        const bool plainName =
            !name.empty() && name[0] != '.' && nextSeparator(name) == std::string::npos;
        if (listed.ok() && plainName) return present.count(name) > 0;
        return fs.isFile(joinPath(in.cacheDir, name));
    };
    bool notMovedListed = false;
    for (std::size_t k = 0; k < pv.EntryCount(); ++k) {
        if (in.notReached && in.notReached->count(pv.CacheFileNames[k])) continue;
        if (!stillInCache(pv.CacheFileNames[k])) continue;
        notMovedListed = true;
        std::string text = pv.CacheFileNames[k] + " {" + pv.RealNames[k] + "} was not moved";
        if (in.stayReasons)
            if (const auto why = in.stayReasons->find(pv.CacheFileNames[k]);
                why != in.stayReasons->end())
                text += ": it is " + why->second;
        text += ".";
        log.line(text);
        status.addLine(text);
    }
    return notMovedListed;
}

}  // namespace

FinishOutcome FinishRun(const FinishRunInput& in, PublicVariables& pv, RunLog& log, FileSystem& fs,
                        StatusSink& status) {
    const Result<std::vector<std::string>> listed = plainFileNames(fs, in.cacheDir);
    const bool notMovedListed = reportNotMoved(in, pv, listed, log, fs, status);
    // The entry table has told all it can; its room goes before the index is read again.
    ClearCacheEntries(pv);

    // The index is replaced before anything claims that it was.
    const IndexReplacement replaced =
        replaceCacheIndex(fs, in.cacheDir, in.oldIndex, newIndexText(in.keptLines), true,
                          listed.ok() ? &listed.value : nullptr);
    const std::vector<std::string> report = replaced.report(in.cacheDir);
    for (const std::string& line : replaced.carriedReport()) {
        log.line(line);
        status.addLine(line);
    }
    if (const std::string note = linelessNote(listed, in, replaced); !note.empty()) {
        log.line(note);
        status.addLine(note);
    }

    // The note explains the "was not moved" lines; a stop is said once, at the end. An index
    // that could not be written is no matter of selection: what it means is said instead.
    const std::vector<std::string> stopped = stoppedReport(in);
    std::vector<std::string> unwritten;
    if (!replaced.index.ok())
        unwritten = {
            "CACHE.INI still names the packages this run moved: the next run removes "
            "those lines, or undo puts the packages back."};
    for (const std::string& line : report) log.line(line);
    for (const std::string& line : unwritten) log.line(line);
    log.line("");
    if (unwritten.empty() && (notMovedListed || stopped.empty())) {
        log.line("NOTE - files not being moved is due to either the file");
        log.line("       not being selected or they already exist.");
        log.line("");
    }
    for (const std::string& line : stopped) log.line(line);
    if (!stopped.empty()) log.line("");
    // Closed before it is reported: a log the disk cut short does not say it was created.
    log.close();
    status.addLine(log.statusLine());
    status.addLine(report.front());

    for (std::size_t i = 1; i < report.size(); ++i) status.addLine(report[i]);
    for (const std::string& line : unwritten) status.addLine(line);
    status.addLine("");
    if (unwritten.empty() && (notMovedListed || stopped.empty())) {
        status.addLine(kStatusNoteLine);
        status.addLine("");
    }
    for (const std::string& line : stopped) status.addLine(line);
    if (!stopped.empty()) status.addLine("");
    status.addLine(std::string(102, '~'));
    status.addLine("");
    return {replaced.index.ok() && replaced.notKept.empty(), log.written()};
}

}  // namespace qv
