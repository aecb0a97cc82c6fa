#pragma once

#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/commands.h"

namespace qv::cli {

// A package file info shows, and the name it goes by.
struct NamedPackage {
    std::string path, name;
};

// info's output for the packages a name found (several when a .u and a .utx share it): the
// facts of each, then, with --picture, the picture of the first that has one as PNG, into the
// file named or, for "-", standard output (the facts then go to standard error).
int showPackages(const std::vector<NamedPackage>& packages, const Arguments& a, Environment& env);

}  // namespace qv::cli
