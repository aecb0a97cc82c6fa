#pragma once

#include <cstring>
#include <initializer_list>
#include <iostream>

// The command line of a generator: --help (or -h) prints `usage` and ends with 0; any other word
// starting with '-' is refused with 2, so an option never becomes a file name ("--" ends the
// options). Returns -1 and sets `first` to the first other word's index when the tool goes on.
inline int toolArguments(int argc, char** argv, const char* usage, int& first) {
    first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--") == 0) {
        first = 2;
        return -1;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << usage;
            return 0;
        }
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::cerr << argv[0] << ": unknown option '" << argv[i] << "'\n" << usage;
            return 2;
        }
    }
    return -1;
}

// toolArguments, and then the count of the other words: one of `counts`, else `usage` on stderr
// and 2.
inline int toolWords(int argc, char** argv, const char* usage, std::initializer_list<int> counts,
                     int& first) {
    if (int code = toolArguments(argc, argv, usage, first); code >= 0) return code;
    for (int count : counts)
        if (argc - first == count) return -1;
    std::cerr << usage;
    return 2;
}

// For a generator of one file: its FILE argument, else `defaultName`. `code` is set to the exit
// status when the tool must end at once (--help, a bad option), else to -1.
inline const char* outputFileArgument(int argc, char** argv, const char* usage,
                                      const char* defaultName, int& code) {
    int first = 1;
    code = toolArguments(argc, argv, usage, first);
    return argc > first ? argv[first] : defaultName;
}
