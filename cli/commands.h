#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "cli/arguments.h"

namespace qv {
class FileSystem;
}

namespace qv::cli {

// Exit statuses of quorvel-cli.
constexpr int kExitOk = 0;      // all done
constexpr int kExitFailed = 1;  // nothing done: the command failed or changed nothing
constexpr int kExitUsage = 2;   // bad arguments, or no game folder set
constexpr int kExitPartial =
    3;  // done in part: some packages or files, the index or the log failed

// Everything a command reads from outside, so tests can run commands in-process.
struct Environment {
    std::string programFolder;  // the shipped Quorvel.ini and QuorvelDontMove.ini stand here
    std::string registryPath;   // the registry store file
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    bool interactive;  // `in` is a terminal a person can answer on
    FileSystem& fs;
};

// Parses the words after the program name and carries out the command.
int runMain(const std::vector<std::string>& words, Environment& env);

int runCommand(const Arguments& args, Environment& env);

}  // namespace qv::cli
