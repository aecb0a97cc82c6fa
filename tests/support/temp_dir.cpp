#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/paths.h"

namespace fs = std::filesystem;

namespace qv::test {

TempDir::TempDir(const std::string& base) {
    const char* t = std::getenv("TMPDIR");
    const std::string in = base.empty() ? std::string(t && *t ? t : "/tmp") : base;
    path_ = makeScratchFolder(in, "quorvel-test-");
    if (path_.empty()) throw std::runtime_error("no temporary folder could be made in " + in);
}

TempDir::~TempDir() {
    std::error_code ec;
    // Make read-only folders removable again before removing the tree.
    for (auto it = fs::recursive_directory_iterator(path_, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void writeFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(out.good()) << "cannot write " << path;
    out << data;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void makeDirs(const std::string& path) {
    fs::create_directories(path);
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::vector<std::string> listNames(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string guidOf(unsigned n) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08XA5D3C1%018X", n * 2246822519u, n);
    return std::string(buf, 32);
}

}  // namespace qv::test
