#pragma once

#include <string>
#include <vector>

namespace qv {

// Shared state of the main program, owned by the main window and passed by reference.
struct PublicVariables {
    // Entry table of the last scan, in index order (entry k of the index is element k-1).
    std::vector<std::string> CacheFileNames;
    std::vector<std::string> RealNames;  // without any "**ERROR**" prefix
    std::size_t EntryCount() const { return CacheFileNames.size(); }

    std::vector<std::string> NeverMoveNames;  // the never-move file's lines in file order

    std::string ProgramFolder;  // the program's folder; programFiles() says where its files are
    std::string GameDir;        // the game's root folder; ends in a separator after start-up
    std::string GameIniPath;
    std::string UserIniPath;
    std::string PurgeDaysText;

    bool FormLoading = false;
    bool MapFixDone = false;
};

// Empties the entry table.
void ClearCacheEntries(PublicVariables& pv);

}  // namespace qv
