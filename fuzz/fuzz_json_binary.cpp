// libFuzzer target: the binary reader, and the binary round trip of what it reads.
#include "fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kujson_fuzz::fuzzEntry(kujson_fuzz::binaryTarget, data, size);
}
