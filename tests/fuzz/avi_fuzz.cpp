// libFuzzer entry point; the body is shared with the regression test.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/avi_body.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qv::fuzz::aviTarget({reinterpret_cast<const char*>(data), size});
    return 0;
}
