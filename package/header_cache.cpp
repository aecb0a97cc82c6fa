#include "package/header_cache.h"

#include "platform/ascii.h"

namespace qv {

namespace {

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalsNoCaseAscii(text.substr(text.size() - suffix.size()), suffix);
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
    if (!file) return {PackageFault::Unreadable, file.status.text, {}, -1};
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
    if (wholeRead_ && r.ok()) wholeRead_(path, noun, *file.value, reader_);
    HeaderFacts facts{r.fault, r.reason, {}, r.ok() ? r.header.version : -1};
    facts.guid = r.header.guid;
    if (slot != known_.end()) {
        // A failed read says nothing lasting of the file.
        if (r.fault == PackageFault::Unreadable)
            known_.erase(slot);
        else
            slot->second = facts;
    }
    return facts;
}

void HeaderCache::remember(const FileIdentity& id, const HeaderFacts& facts, bool read) {
    if (!read) return;
    ++reads_;
    if (remember_ && id.known() && facts.fault != PackageFault::Unreadable)
        known_.emplace_hint(known_.end(), Key{id.device, id.inode, id.size, id.mtimeNs}, facts);
}

}  // namespace qv
