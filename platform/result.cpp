#include "platform/result.h"

#include <cstring>

namespace qv {

Status Status::fromErrno(int err) {
    // errno 0 after a failed call must still read as a failure, never as success.
    if (err == 0) return failure("Unknown error");
    return {err, std::strerror(err)};
}

}  // namespace qv
