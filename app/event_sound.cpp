#include "app/event_sound.h"

#ifdef QV_HAVE_CANBERRA
#include <canberra.h>
#endif

namespace qv {

#ifdef QV_HAVE_CANBERRA

EventSound::~EventSound() {
    if (context_) ca_context_destroy(static_cast<ca_context*>(context_));
}

bool EventSound::play(const std::string& file, const std::string& description) {
    if (!context_) {
        ca_context* c = nullptr;
        if (ca_context_create(&c) != CA_SUCCESS) return false;
        context_ = c;
    }
    auto* c = static_cast<ca_context*>(context_);
    // Played again while playing: the earlier click stops, as one chime per click is enough.
    ca_context_cancel(c, 1);
    return ca_context_play(c, 1, CA_PROP_MEDIA_FILENAME, file.c_str(), CA_PROP_EVENT_DESCRIPTION,
                           description.c_str(), CA_PROP_CANBERRA_CACHE_CONTROL, "never",
                           nullptr) == CA_SUCCESS;
}

#else

EventSound::~EventSound() = default;

bool EventSound::play(const std::string&, const std::string&) {
    return false;
}

#endif

}  // namespace qv
