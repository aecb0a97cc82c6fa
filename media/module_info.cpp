#include <libopenmpt/libopenmpt.hpp>
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

class OpenMptReader final : public ModuleInfoReader {
  public:
    std::optional<ModuleInfo> read(std::string_view module) override {
        NullBuffer nothing;
        std::ostream log(&nothing);
        try {
            openmpt::module m(module.data(), module.size(), log);
            ModuleInfo info;
            info.format = upperAscii(m.get_metadata("type"));
            info.title = m.get_metadata("title");
            info.seconds = m.get_duration_seconds();
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
