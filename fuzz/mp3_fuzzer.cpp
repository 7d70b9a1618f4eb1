// libFuzzer target: arbitrary bytes as the music track, played offline on a stepped clock and
// decoded directly.
#include <sanitizer/common_interface_defs.h>

#include <cstdlib>

#include "fuzz/fuzz_drivers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* problem = fuzzdrive::playMp3Stream(data, size);
    if (problem == nullptr) problem = fuzzdrive::decodeMp3Directly(data, size);
    if (problem != nullptr) {
        __sanitizer_report_error_summary(problem);
        std::abort();
    }
    return 0;
}
