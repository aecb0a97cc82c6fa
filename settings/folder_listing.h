#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/filesystem.h"

namespace qv {

// Folder listings read once each and kept, so that names are matched in memory, in any letter
// case, instead of being looked up on the disk one spelling at a time. For one search over a
// home folder; a folder changed meanwhile is not listed again.
class FolderListings final {
  public:
    explicit FolderListings(FileSystem& fs) : fs_(fs) {}
    FolderListings(const FolderListings&) = delete;
    FolderListings& operator=(const FolderListings&) = delete;

    struct Entry {
        std::string name;
        EntryKind kind = EntryKind::Other;
    };
    // The entries of `folder`, hidden ones included; nullptr when it cannot be listed.
    const std::vector<Entry>* entries(const std::string& folder);
    // Why entries(folder) gave nullptr (ENOENT when nothing is there); nullptr when it did not.
    const Status* listingFailure(const std::string& folder) const;

    // `rest` ("System/UnrealTournament.ini", its parts between the system's separators, '/' on
    // every system) below `base`, each component spelled as on the disk: the exact spelling where
    // it is there, else one that differs only in letter case.
    // "" when a component is not there. Only the last component may be something other than a
    // folder.
    std::string resolveNoCase(const std::string& base, const std::string& rest);
    // Whether resolveNoCase finds a plain file (or a link to one).
    bool holdsFileNoCase(const std::string& base, const std::string& rest);
    // Whether `folder` holds anything named `name` exactly (a file, a FIFO, a broken link...).
    bool holdsEntry(const std::string& folder, const std::string& name);
    // Whether `folder` holds a plain file named `name` exactly.
    bool holdsFile(const std::string& folder, const std::string& name);

    // The folders in `folder`, links to folders included, hidden ones not, sorted.
    std::vector<std::string> folders(const std::string& folder);
    // The plain files in `folder` whose name ends in `suffix` (any case), hidden ones not.
    std::vector<std::string> filesEndingIn(const std::string& folder, const std::string& suffix);

    // Whether `folder` holds one of the files only a copy of the game holds, in any case.
    bool holdsGameFiles(const std::string& folder);
    // Whether it holds a program of the game's Linux builds; `lokiOnly` is set when that is
    // only System/ut-bin, the program of the builds that keep their files in ~/.loki/ut.
    bool holdsNativeProgram(const std::string& folder, bool* lokiOnly = nullptr);

  private:
    bool isKind(const std::string& path, EntryKind kind, bool wantFolder);
    const Entry* find(const std::string& folder, const std::string& name, bool wantFolder);

    FileSystem& fs_;
    std::map<std::string, std::vector<Entry>> listed_;
    std::map<std::string, Status> unlistable_;
};

}  // namespace qv
