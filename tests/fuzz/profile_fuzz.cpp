// libFuzzer entry point; the body is shared with the regression test.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/profile_body.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qv::fuzz::profileTarget({reinterpret_cast<const char*>(data), size});
    return 0;
}
