#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qv {

// A running copy of the game that uses one of the folders looked for.
struct GameProcess {
    std::string
        name;  // the program: "ut-bin-amd64", or the .exe Wine runs ("UnrealTournament.exe")
    int pid = 0;
};

struct RunningGames {
    std::vector<GameProcess> found;
    // Not root: other users' programs could not be looked at.
    bool othersUnseen = false;
    bool running() const { return !found.empty(); }
};

// Where the system shows its running processes, one folder each: the kernel's /proc on Linux.
std::string processTableRoot();

// Looks through `procRoot` (processTableRoot(); tests pass a tree of their own) for a running
// copy of the game tied to one of `folders` (the game folder, the cache folder). The game is
// known by its program: the native ut-bin*, UnrealTournament and ucc-bin*, or a Wine or Proton
// process whose command line names UnrealTournament.exe or UCC.exe. It is tied to a folder by
// its executable, working folder, command line (a Windows path mapped through the Wine prefix's
// drives as Wine maps it, each part in the letter case it has on the disk) or the files it has
// open or mapped (a Windows program's .exe and DLLs are mapped). A shell or editor working in the
// folder is not the game, and neither is this process (`selfPid`). As root every process is looked
// at; otherwise those of `uid`.
RunningGames findRunningGame(const std::vector<std::string>& folders,
                             const std::string& procRoot = processTableRoot(), int selfPid = -1,
                             int uid = -1);

// What the search reads of one process, each asked for only when needed.
class ProcessLook {
  public:
    virtual ~ProcessLook() = default;
    virtual std::string executable() = 0;  // "" when it cannot be read
    virtual std::vector<std::string> arguments() = 0;
    virtual std::vector<std::string> environment() = 0;
    virtual std::string workingFolder() = 0;
    // Whether `test` holds for one of the files the process has open or mapped (stops at the
    // first).
    virtual bool anyOpenFile(const std::function<bool(const std::string&)>& test) = 0;
};

// `folders` as the search compares them: each without a trailing separator, and its real path.
std::vector<std::string> foldersToCompare(const std::vector<std::string>& folders);

// The game's program name when `process` is a copy of the game tied to one of `folders` (as
// foldersToCompare gives them), by the rules findRunningGame tells; "" otherwise.
std::string gameProgramOf(ProcessLook& process, const std::vector<std::string>& folders);
// The same, with the reasoning in a few words in `why` (for the trace).
std::string gameProgramOf(ProcessLook& process, const std::vector<std::string>& folders,
                          std::string& why);

// "ut-bin-amd64 (process 4242) is using <folder>": one text for every process found.
std::string gameRunningText(const RunningGames& search);

}  // namespace qv
