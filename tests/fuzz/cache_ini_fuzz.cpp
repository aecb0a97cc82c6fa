// libFuzzer entry point; the body is shared with the regression test.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/cache_ini_body.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qv::fuzz::cacheIniTarget({reinterpret_cast<const char*>(data), size});
    return 0;
}
