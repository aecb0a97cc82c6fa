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
        "Usage: gen_bulk_cache CACHEDIR N [LETTER NAME]\n"
        "Adds N texture packages NAME-00001.utx ... (NAME: Bulk) to the cache in CACHEDIR, their\n"
        "GUIDs starting with LETTER (A), and their lines to its cache.ini.\n";
    int first = 1;
    if (int code = toolWords(argc, argv, usage, {2, 4}, first); code >= 0) return code;
    const int words = argc - first;
    const long n = std::strtol(argv[first + 1], nullptr, 10);
    const std::string letter = words == 4 ? argv[first + 2] : "A",
                      stem = words == 4 ? argv[first + 3] : "Bulk";
    if (n <= 0 || n > 1000000) {
        std::cerr << usage;
        return 2;
    }
    const std::string dir = argv[first];
    std::ofstream index(dir + "/cache.ini", std::ios::binary | std::ios::app);
    for (long i = 1; i <= n && index; ++i) {
        char guid[40], name[96];  // room for the longest number snprintf may print
        std::snprintf(guid, sizeof guid, "%.1s%031lX", letter.c_str(), i);
        std::snprintf(name, sizeof name, "%.60s-%05ld.utx", stem.c_str(), i);
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
