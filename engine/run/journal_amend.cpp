// What is added to a journal after its run: the landings it could not record, found on disk
// later, and the mark of its undo.
#include <algorithm>
#include <cerrno>
#include <ctime>

#include "engine/cache/cache_entry.h"
#include "engine/run/journal_format.h"
#include "engine/run/placement.h"
#include "engine/run/run_journal.h"
#include "package/package_header.h"
#include "platform/ascii.h"
#include "platform/paths.h"

namespace qv {

using journal::landingRecord;

namespace {

// Appends `records` to a closed journal. One a full disk cut inside a record, or a kill left
// ending in zero bytes: they start a line of their own, or the first would be read as part of
// that cut line (and the run undone twice).
Status appendRecords(FileSystem& fs, const std::string& journalPath, const std::string& records) {
    const Result<std::string> text = fs.readAll(journalPath);
    const bool cut = text.ok() && !text.value.empty() && text.value.back() != '\n';
    return fs.appendToFile(journalPath, (cut ? "\n" : "") + records);
}

// The GUID the header of the package at `path` gives, as the game names its cache file; empty
// when the file is no package or cannot be read.
std::string headerGuidOf(FileSystem& fs, const std::string& path) {
    Result<std::unique_ptr<InFile>> file = fs.openForReading(path);
    if (!file.ok()) return {};
    std::string block(kHeaderBlock, '\0');
    const Result<std::size_t> got = file.value->readAt(0, block.data(), block.size());
    if (!got.ok()) return {};
    block.resize(got.value);
    HeaderReading head = parsePackageHeader(block, file.value->identity().size);
    if (head.ok() && head.guidAt != 0) {  // an old package's, in its heritage table
        char guid[16];
        const Result<std::size_t> read = file.value->readAt(head.guidAt, guid, sizeof guid);
        if (!read.ok() || read.value != sizeof guid) return {};
        head.header.guid = guidText(std::string_view(guid, sizeof guid));
    }
    return head.ok() ? std::string(head.header.guid.view()) : std::string();
}

}  // namespace

bool lookForUnrecordedLandings(FileSystem& fs, JournalRecord& r) {
    if (r.kind != "run" || r.finished || r.undone || r.settled) return false;
    r.settled = r.lookedNow = true;
    std::vector<signed char> folderSeen(r.folders.size() + 1, -1);  // -1 not looked at yet
    for (std::size_t k = 0; k < r.entries.size(); ++k) {
        JournalEntry& e = r.entries[k];
        const std::string_view realName =
            std::string_view(e.line).substr(std::min(e.line.size(), kGuidLength + 1));
        if (e.landed || e.line.size() <= kGuidLength + 1 || isUnsafeRealName(realName) ||
            spareCachePath(r, e.line).empty())
            continue;
        const std::string destination = r.destinationOf(e);
        const Result<FileIdentity> d = fs.identityOf(destination);
        if (!d.ok()) {
            // A folder out of reach now (an unmounted disk) may hold it: the look is not done.
            signed char& seen = folderSeen[std::min<std::size_t>(e.folder, r.folders.size())];
            if (seen < 0) seen = fs.isFolder(parentFolder(destination)) ? 1 : 0;
            if (d.status.code != ENOENT || seen == 0) r.settled = false;
            continue;
        }
        // What was there before the run began is not what it moved.
        if (d.value.ctimeNs != 0 && d.value.ctimeNs < r.startedNs) continue;
        const std::string cache = r.cacheFileOf(e);
        bool same = false;
        if (fs.exists(cache)) {  // a copy across file systems, its source not yet removed
            const Result<bool> bytes = fs.sameBytesInOtherFile(cache, destination);
            same = bytes.ok() && bytes.value;
        } else {
            same = equalsNoCaseAscii(headerGuidOf(fs, destination),
                                     std::string_view(e.line).substr(0, kGuidLength));
        }
        if (!same) continue;
        e.landed = true;
        e.identity = d.value;
        r.recovered.push_back(k);
        ++r.moved;
    }
    return true;
}

Status recordLandingsFound(FileSystem& fs, const JournalRecord& r) {
    if (fs.changesNothing() || !r.lookedNow || (r.recovered.empty() && !r.settled))
        return Status::success();
    std::string records, record;
    for (std::size_t k : r.recovered) {
        landingRecord(record, k, r.entries[k].identity);
        records.append(record).append("\n");
    }
    if (r.settled) records.append("K\t").append(std::to_string(r.recovered.size())).append("\n");
    return appendRecords(fs, r.path, records);
}

std::string recoveredLandingLine(const JournalRecord& r, std::size_t entry) {
    return r.destinationOf(r.entries[entry]) + " landed in run " + r.id +
           ", which was cut short before it recorded the move; it counts as moved by that run";
}

Status markUndone(FileSystem& fs, const std::string& journalPath) {
    return appendRecords(fs, journalPath, "U\t" + std::to_string(std::time(nullptr)) + "\n");
}

}  // namespace qv
