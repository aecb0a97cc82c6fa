#pragma once

// quorvel-cli run in-process on a test game, as the CLI tests run it.
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "tests/support/game.h"

namespace qv::test {

using Words = std::vector<std::string>;

// Runs `words` on `g` with `out` as standard output; `said` gets what went to standard error.
inline int cli(Game& g, const Words& words, std::ostream& out, std::string* said = nullptr) {
    std::ostringstream err;
    std::istringstream in;
    cli::Environment env{g.programFolder, g.tmp / "registry.reg", out, err, in, false, g.posix};
    const int status = cli::runMain(words, env);
    if (said) *said = err.str();
    return status;
}

}  // namespace qv::test
