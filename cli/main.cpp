#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "media/media.h"
#include "platform/filesystem.h"
#include "platform/line_writer.h"
#include "platform/paths.h"
#include "platform/system.h"
#include "platform/trace.h"
#include "settings/registry_store.h"

namespace {

// The trace on standard error, one line at a time, never in the run log. trace::line has escaped
// the line's names already.
void traceToStderr(qv::trace::Category c, const std::string& line) {
    qv::LineWriter err(std::cerr);
    err.line(qv::Fixed{qv::trace::nameOf(c)}, ": ", qv::Fixed{line});
    err.flush();
}

}  // namespace

// quorvel-cli: the terminal front end; everything but the wiring lives in qv_cli.
int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");  // dates in the user's own format
    // A reader that went away (`quorvel-cli run | head -1`) ends the output, never the work: a
    // failed write to standard output only stops further output, and the exit status says so.
    qv::keepGoingWhenOutputCloses();
    std::vector<std::string> words(argv + 1, argv + argc);
    // The trace: the windows' QT_LOGGING_RULES categories, or -v (before the command) for all.
    qv::trace::setSink(traceToStderr);
    if (const char* rules = std::getenv("QT_LOGGING_RULES")) qv::trace::applyRules(rules);
    while (!words.empty() && (words.front() == "-v" || words.front() == "--verbose")) {
        qv::trace::enableAll(true);
        words.erase(words.begin());
    }
    qv::cli::Environment env{
        qv::programFolder(),           qv::defaultRegistryPath(), std::cout, std::cerr, std::cin,
        qv::standardInputIsTerminal(), qv::realFileSystem(),      true};
    const auto modules = qv::media::moduleInfoReader();
    const auto png = qv::media::pngEncoder();
    env.modules = modules.get(), env.png = png.get();
    return qv::cli::runMain(words, env);
}
