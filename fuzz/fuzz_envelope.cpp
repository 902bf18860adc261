// libFuzzer target: the enciphered envelope (decipher, checksum and padding tests, sealing again,
// and enciphered dictionary data).
#include "envelope_target.h"
#include "fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return kujson_fuzz::fuzzEntry(envelope_fuzz::envelopeTarget, data, size);
}
