// libFuzzer target: parse, write and parse again: the two trees must be equal.
#include "fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kujson_fuzz::fuzzEntry(kujson_fuzz::roundTripTarget, data, size);
}
