#pragma once

#include <string>

namespace qv {

// Plays a sound file through the desktop's event-sound service (libcanberra, the freedesktop
// way), which mixes it with the other programs' sounds and honours the user's sound settings.
// Without that service, or when it refuses, the caller falls back to the system beep.
class EventSound final {
  public:
    EventSound() = default;
    ~EventSound();
    EventSound(const EventSound&) = delete;
    EventSound& operator=(const EventSound&) = delete;

    // Starts `file` without waiting for it; false when it could not be started.
    bool play(const std::string& file, const std::string& description);

  private:
    void* context_ = nullptr;  // ca_context, made on the first play
};

}  // namespace qv
