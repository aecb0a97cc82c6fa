#pragma once

#include <string>

#include "platform/result.h"

namespace qv {

class FileSystem;

constexpr const char* kSettingsFileName = "Quorvel.ini";
constexpr const char* kNeverMoveFileName = "QuorvelDontMove.ini";
constexpr const char* kRunLogName = "Quorvel.log";
// Shipped beside the programs by an installed copy (the package, a system-wide install).
constexpr const char* kInstalledMarkerName = "quorvel.installed";

// Where Quorvel's own files are. A private copy (a build folder, a copy in the home folder)
// keeps all of them beside the program. An installed copy, whoever runs it, root included,
// never writes its own folder: the files it writes live in the user's folders, and the copies
// shipped beside the program are read until the user has copies of his own. A private copy in
// a folder the user cannot write is treated as installed.
struct ProgramFiles {
    std::string settingsFile;          // Quorvel.ini to read: the user's copy, else the shipped one
    std::string userSettingsFile;      // the user's own Quorvel.ini, the one to edit
    std::string neverMoveFile;         // QuorvelDontMove.ini to read
    std::string userNeverMoveFile;     // QuorvelDontMove.ini to write
    std::string runLog;                // Quorvel.log
    std::string shippedSettingsFile;   // beside the program
    std::string shippedNeverMoveFile;  // beside the program
    bool inProgramFolder = true;       // every file lives beside the program
};

// What the choice rests on.
struct ProgramFolderFacts {
    std::string programFolder;
    bool installed = false;  // the installed-copy marker stands beside the program
    bool writable = true;    // the user may create and replace files there
    std::string dataHome;    // $XDG_DATA_HOME: the run log and the never-move list go below it
    std::string configHome;  // $XDG_CONFIG_HOME: the user's own Quorvel.ini goes below it
};

// The one place that decides these paths. The user's copies are looked for through `fs`.
ProgramFiles programFiles(const ProgramFolderFacts& facts, FileSystem& fs);

// The same for the running user: the marker, the program folder's write access and the XDG
// folders.
ProgramFiles programFiles(const std::string& programFolder, FileSystem& fs);

// Readies a user's copy for writing or editing: creates its folder and, when the user has no
// copy yet, copies the shipped file there. Nothing to do when both are one file; a missing
// shipped file leaves the user's copy to be created by its first write.
Status makeUserCopy(const std::string& shipped, const std::string& user, FileSystem& fs);

// The folder part of a path ("." for a bare name, "/" for a name in the root).
std::string parentFolder(const std::string& path);

// Creates `folder` and every missing folder above it.
Status makeFolders(FileSystem& fs, const std::string& folder);

}  // namespace qv
