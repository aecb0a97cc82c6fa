// gen_fuzz_seeds FOLDER: writes the hostile packages (a module bomb, an endless module, titles of
// markup and of Windows-1252 text, a texture of 1,048,576 x 1) into FOLDER as seeds of the
// contents fuzz target. Made by the project's writer: no game file is copied.
#include <fstream>
#include <iostream>

#include "platform/line_writer.h"
#include "platform/paths.h"
#include "tools/hostile_packages.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        qv::LineWriter(std::cerr).line("Usage: gen_fuzz_seeds FOLDER");
        return 2;
    }
    const std::string folder = argv[1];
    for (const auto& [name, bytes] : qv::pkg::hostilePackages()) {
        const std::string path = qv::joinPath(folder, name);
        std::ofstream out(path, std::ios::binary);
        out << bytes;
        if (!out.flush()) {
            qv::LineWriter(std::cerr).line("gen_fuzz_seeds: cannot write ", qv::Name{path});
            return 1;
        }
    }
    return 0;
}
