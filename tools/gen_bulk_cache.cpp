// gen_bulk_cache CACHEDIR N: adds N small texture packages (Bulk-00001.utx ...) to a download
// cache, each a package whose GUID is its cache file's name, and their lines to cache.ini.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/package_writer.h"
#include "tools/tool_arguments.h"

int main(int argc, char** argv) {
    const char* usage =
        "Usage: gen_bulk_cache CACHEDIR N\n"
        "Adds N texture packages Bulk-00001.utx ... to the cache in CACHEDIR and their lines\n"
        "to its cache.ini.\n";
    int first = 1;
    if (int code = toolArguments(argc, argv, usage, first); code >= 0) return code;
    const long n = argc - first == 2 ? std::strtol(argv[first + 1], nullptr, 10) : 0;
    if (n <= 0 || n > 1000000) {
        std::cerr << usage;
        return 2;
    }
    const std::string dir = argv[first];
    std::ofstream index(dir + "/cache.ini", std::ios::binary | std::ios::app);
    for (long i = 1; i <= n && index; ++i) {
        char guid[40], name[40];
        std::snprintf(guid, sizeof guid, "A%031lX", i);
        std::snprintf(name, sizeof name, "Bulk-%05ld.utx", i);
        qv::pkg::PackageSpec spec;
        spec.guid = guid;
        spec.needs = {"Engine"};
        std::ofstream(dir + "/" + guid + ".uxx", std::ios::binary) << qv::pkg::writePackage(spec);
        index << guid << '=' << name << "\r\n";
    }
    if (!index) {
        std::cerr << "gen_bulk_cache: cannot write " << dir << "/cache.ini\n";
        return 1;
    }
    return 0;
}
