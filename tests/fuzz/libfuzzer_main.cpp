// The libFuzzer entry of one target; FUZZ_TARGET names it (set by the build).
#include "fuzztargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::FUZZ_TARGET(data, size);
}
