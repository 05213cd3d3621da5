// libFuzzer entry for the AVI repair: scripts/fuzz.sh builds and runs it.

#include "fuzz/avi_repair_check.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string broken;
    if (!kv::fuzz::checkAviRepair(data, size, &broken)) {
        std::fprintf(stderr, "broken promise: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
