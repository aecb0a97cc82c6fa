// libFuzzer entry point of one target; QV_FUZZ_BODY names its body in bodies.h.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        qv::fuzz::QV_FUZZ_BODY({reinterpret_cast<const char*>(data), size});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "property broken: %s\n", e.what());
        std::abort();
    }
    return 0;
}
