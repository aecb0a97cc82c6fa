#include <cmath>
#include <libopenmpt/libopenmpt.hpp>
#include <map>
#include <ostream>
#include <streambuf>

#include "media/media.h"
#include "platform/ascii.h"

namespace qv::media {

namespace {

// libopenmpt's log goes nowhere: a module's complaints are not the player's business.
class NullBuffer final : public std::streambuf {
  protected:
    int overflow(int c) override { return c; }
};

// A length past this is a song that never ends (libopenmpt gives infinity, or a number from
// loops counted into the millions): no module a game plays runs for a day.
constexpr double kLongestSong = 24 * 60 * 60;

// Type, title and length need neither the samples (a module may claim gigabytes of them, all
// decoded from a few megabytes) nor plugins: the module is loaded without them, so its memory
// is its patterns' and its time libopenmpt's walk through them, which libopenmpt bounds itself
// (a song too tangled to follow has an infinite length). Nothing is rendered.
class OpenMptReader final : public ModuleInfoReader {
  public:
    std::optional<ModuleInfo> read(std::string_view module) override {
        NullBuffer nothing;
        std::ostream log(&nothing);
        const std::map<std::string, std::string> controls = {{"load.skip_samples", "1"},
                                                             {"load.skip_plugins", "1"}};
        try {
            openmpt::module m(module.data(), module.size(), log, controls);
            ModuleInfo info;
            info.format = upperAscii(m.get_metadata("type"));
            info.title = m.get_metadata("title");
            const double seconds = m.get_duration_seconds();
            info.endless = !std::isfinite(seconds) || seconds < 0 || seconds > kLongestSong;
            info.seconds = info.endless ? 0 : seconds;
            return info;
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
};

}  // namespace

std::unique_ptr<ModuleInfoReader> moduleInfoReader() {
    return std::make_unique<OpenMptReader>();
}

}  // namespace qv::media
