// libFuzzer target: the text reader (and both writers on what it reads).
#include "fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kujson_fuzz::fuzzEntry(kujson_fuzz::textTarget, data, size);
}
