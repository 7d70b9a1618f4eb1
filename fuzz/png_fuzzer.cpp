// libFuzzer target: arbitrary bytes through both PNG decoders (for a texture, and as is).
#include <sanitizer/common_interface_defs.h>

#include <cstdlib>

#include "fuzz/fuzz_drivers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const char* problem = fuzzdrive::decodePngBothWays(data, size)) {
        __sanitizer_report_error_summary(problem);
        std::abort();
    }
    return 0;
}
