#include "settings/folder_listing.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/paths.h"
#include "settings/registry_text.h"

namespace qv {

namespace {

// Files only a copy of the game holds, by the folder they are in: its settings, its programs
// (Windows and Linux), its main code package.
constexpr const char* kSystemFiles[] = {"UnrealTournament.ini", "UnrealTournament.exe", "ut-bin",
                                        "ut-bin-x86", "Botpack.u"};
constexpr const char* kSystem64Files[] = {
    "UnrealTournament.ini", "UnrealTournament.exe", "ut-bin",
    "ut-bin-amd64",         "ut-bin-arm64",         "UnrealTournament"};
// The programs of the game's Linux builds.
constexpr const char* kNativePrograms[] = {"System/ut-bin",         "System/ut-bin-x86",
                                           "System64/ut-bin",       "System64/ut-bin-amd64",
                                           "System64/ut-bin-arm64", "System64/UnrealTournament"};

}  // namespace

const std::vector<FolderListings::Entry>* FolderListings::entries(const std::string& folder) {
    if (auto it = listed_.find(folder); it != listed_.end()) return &it->second;
    if (unlistable_.count(folder)) return nullptr;
    std::vector<Entry> found;
    Status s = fs_.forEachEntry(folder, [&](std::string_view name, EntryKind kind) {
        found.push_back({std::string(name), kind});
    });
    if (s.code == ENOSYS) {  // a file system without kinded listings: folders, then files
        found.clear();
        Result<std::vector<std::string>> dirs = fs_.listFolders(folder);
        Result<std::vector<FileInfo>> files = fs_.listFiles(folder, "*.*");
        s = dirs ? files.status : dirs.status;
        if (s) {
            for (std::string& d : dirs.value) found.push_back({std::move(d), EntryKind::Folder});
            for (FileInfo& f : files.value) found.push_back({std::move(f.name), EntryKind::File});
        }
    }
    if (!s) {
        unlistable_.emplace(folder, std::move(s));
        return nullptr;
    }
    std::sort(found.begin(), found.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return &listed_.emplace(folder, std::move(found)).first->second;
}

const Status* FolderListings::listingFailure(const std::string& folder) const {
    const auto it = unlistable_.find(folder);
    return it == unlistable_.end() ? nullptr : &it->second;
}

// A link counts as what it leads to.
bool FolderListings::isKind(const std::string& path, EntryKind kind, bool wantFolder) {
    if (kind == EntryKind::Link) return wantFolder ? fs_.isFolder(path) : fs_.isFile(path);
    return kind == (wantFolder ? EntryKind::Folder : EntryKind::File);
}

const FolderListings::Entry* FolderListings::find(const std::string& folder,
                                                  const std::string& name, bool wantFolder) {
    const std::vector<Entry>* list = entries(folder);
    if (!list) return nullptr;
    const auto exact =
        std::lower_bound(list->begin(), list->end(), name,
                         [](const Entry& e, const std::string& n) { return e.name < n; });
    if (exact != list->end() && exact->name == name &&
        isKind(joinPath(folder, name), exact->kind, wantFolder))
        return &*exact;
    for (const Entry& e : *list)
        if (sameNameNoCase(e.name, name) && isKind(joinPath(folder, e.name), e.kind, wantFolder))
            return &e;
    return nullptr;
}

std::string FolderListings::resolveNoCase(const std::string& base, const std::string& rest) {
    std::string path = base;
    std::size_t start = 0;
    while (start < rest.size()) {
        std::size_t end = nextSeparator(rest, start);
        if (end == std::string::npos) end = rest.size();
        const std::string part = rest.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            path = parentPath(path);
            continue;
        }
        const bool last = nextNonSeparator(rest, end) == std::string::npos;
        const Entry* hit = find(path, part, true);
        if (!hit && last) hit = find(path, part, false);
        if (!hit) {
            if (!last || !fs_.exists(joinPath(path, part))) return {};
            path = joinPath(path, part);  // something that is neither: the caller tells what it is
            continue;
        }
        path = joinPath(path, hit->name);
    }
    return path;
}

bool FolderListings::holdsFileNoCase(const std::string& base, const std::string& rest) {
    const std::string path = resolveNoCase(base, rest);
    return !path.empty() && fs_.isFile(path);
}

bool FolderListings::holdsEntry(const std::string& folder, const std::string& name) {
    const std::vector<Entry>* list = entries(folder);
    return list &&
           std::any_of(list->begin(), list->end(), [&](const Entry& e) { return e.name == name; });
}

bool FolderListings::holdsFile(const std::string& folder, const std::string& name) {
    const std::vector<Entry>* list = entries(folder);
    if (!list) return false;
    return std::any_of(list->begin(), list->end(), [&](const Entry& e) {
        return e.name == name && isKind(joinPath(folder, name), e.kind, false);
    });
}

std::vector<std::string> FolderListings::folders(const std::string& folder) {
    std::vector<std::string> names;
    if (const std::vector<Entry>* list = entries(folder))
        for (const Entry& e : *list)
            if (e.name.front() != '.' && isKind(joinPath(folder, e.name), e.kind, true))
                names.push_back(e.name);
    return names;
}

std::vector<std::string> FolderListings::filesEndingIn(const std::string& folder,
                                                       const std::string& suffix) {
    std::vector<std::string> names;
    if (const std::vector<Entry>* list = entries(folder))
        for (const Entry& e : *list)
            if (e.name.front() != '.' && e.name.size() > suffix.size() &&
                equalsNoCaseAscii(std::string_view(e.name).substr(e.name.size() - suffix.size()),
                                  suffix) &&
                isKind(joinPath(folder, e.name), e.kind, false))
                names.push_back(e.name);
    return names;
}

bool FolderListings::holdsGameFiles(const std::string& folder) {
    if (folder.empty()) return false;
    const std::vector<Entry>* list = entries(folder);
    if (!list) return false;
    // Every spelling of System and System64 there, each listed once.
    for (const Entry& sub : *list) {
        const bool is32 = sameNameNoCase(sub.name, "System");
        if (!is32 && !sameNameNoCase(sub.name, "System64")) continue;
        const std::string dir = joinPath(folder, sub.name);
        if (!isKind(dir, sub.kind, true)) continue;
        const auto holds = [&](const char* file) { return find(dir, file, false) != nullptr; };
        if (is32 ? std::any_of(std::begin(kSystemFiles), std::end(kSystemFiles), holds)
                 : std::any_of(std::begin(kSystem64Files), std::end(kSystem64Files), holds))
            return true;
    }
    return false;
}

bool FolderListings::holdsNativeProgram(const std::string& folder, bool* lokiOnly) {
    bool any = false, other = false;
    for (const char* program : kNativePrograms) {
        if (!holdsFileNoCase(folder, program)) continue;
        any = true;
        other = other || std::string_view(program) != "System/ut-bin";
    }
    if (lokiOnly) *lokiOnly = any && !other;
    return any;
}

}  // namespace qv
