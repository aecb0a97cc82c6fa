#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/exit_status.h"

namespace qv {
class FileSystem;
class ModuleInfoReader;
class PngEncoder;
}  // namespace qv

namespace qv::cli {

// Everything a command reads from outside, so tests can run commands in-process.
struct Environment {
    std::string programFolder;  // the shipped Quorvel.ini and QuorvelDontMove.ini stand here
    std::string registryPath;   // the registry store file
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    bool interactive;  // `in` is a terminal a person can answer on
    FileSystem& fs;
    // The first Ctrl+C or SIGTERM during a run, purge or undo stops it after the current package;
    // a second one ends the program. Off for commands run in-process by tests.
    bool stopOnSignals = false;
    // Music's title and length, and PNG pictures (media/ has both; without them info says less
    // and --picture fails).
    ModuleInfoReader* modules = nullptr;
    PngEncoder* png = nullptr;
};

// Parses the words after the program name and carries out the command.
int runMain(const std::vector<std::string>& words, Environment& env);

int runCommand(const Arguments& args, Environment& env);

}  // namespace qv::cli
