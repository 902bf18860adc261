// The envelope fuzz target's body, shared by the libFuzzer binary and the corpus replay test.
// Returns an empty text when the input behaved, else a description of the fault.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "KuData.h"
#include "KuDictionary.h"
#include "KuFile.h"

namespace envelope_fuzz {

// The key the seed corpus was sealed with, so that seeds reach past the checksum test.
constexpr unsigned char kFuzzKey[16] = {'T', 'a', 'n', 's', 'y', '-', 'f', 'u',
                                        'z', 'z', '-', 'k', 'e', 'y', '-', '1'};

// Deciphers bytes; an accepted envelope must describe a payload inside the buffer with a matching
// checksum, and that payload must seal and open again unchanged.
inline std::string openAndReseal(const unsigned char* bytes, size_t size, const unsigned char* key) {
    unsigned char* out = nullptr;
    int payload = -1;
    if (!KuCryptoBTEADecrypt(bytes, static_cast<unsigned>(size), out, payload, key)) return "";
    std::string fault;
    if (size % 8 != 0)
        fault = "accepted a length that is not a multiple of 8";
    else if (payload <= 0 || static_cast<size_t>(payload) + 9 > size)
        fault = "payload length outside the buffer";
    else {
        uint32_t sum = 0x06583463;
        for (int i = 0; i < payload; i++)
            sum += out[i];
        uint32_t stored = uint32_t(out[payload]) | uint32_t(out[payload + 1]) << 8 |
                          uint32_t(out[payload + 2]) << 16 | uint32_t(out[payload + 3]) << 24;
        if (stored != sum) fault = "accepted a wrong checksum";
    }
    if (fault.empty()) {
        KuData* sealed = KuCryptoBTEAEncryptData(out, static_cast<unsigned>(payload), key);
        KuData* opened = sealed ? KuCryptoBTEADecryptData(sealed, key) : nullptr;
        if (!opened || opened->length != payload ||
            memcmp(opened->bytes, out, static_cast<size_t>(payload)) != 0)
            fault = "payload did not survive sealing again";
    }
    free(out);
    return fault;
}

inline std::string envelopeTarget(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return "";
    static const unsigned char none = 0;
    const unsigned char* bytes = size ? data : &none;
    // The input as an envelope, under the corpus key and under a key taken from its own first bytes.
    std::string fault = openAndReseal(bytes, size, kFuzzKey);
    if (!fault.empty()) return "corpus key: " + fault;
    if (size >= 16) {
        fault = openAndReseal(bytes + 16, size - 16, bytes);
        if (!fault.empty()) return "own key: " + fault;
    }
    // The input as a payload: the envelope has the documented size and opens to the same bytes.
    unsigned char* out = nullptr;
    int length = 0;
    if (!KuCryptoBTEAEncrypt(bytes, static_cast<unsigned>(size), out, length, kFuzzKey))
        return "could not seal";
    size_t padding = 8 - ((size + 9) % 8);
    if (static_cast<size_t>(length) != size + 9 + padding) {
        free(out);
        return "envelope size";
    }
    KuData* opened = KuCryptoBTEADecryptData(out, static_cast<unsigned>(length), kFuzzKey);
    free(out);
    if (size == 0 && opened) return "opened an empty payload";
    if (size > 0 &&
        (!opened || opened->length != static_cast<int>(size) || memcmp(opened->bytes, data, size) != 0))
        return "payload changed in the round trip";
    // An enciphered dictionary file read from memory: deciphered, then parsed (or refused) cleanly.
    unsigned char* copy = static_cast<unsigned char*>(malloc(size ? size : 1));
    if (size) memcpy(copy, data, size);
    KuDictionary* dict = KuLoadDictionaryFromData(copy, static_cast<int>(size), kFuzzKey);
    if (dict && dict->kindCode() != kKuTypeDictionary) return "dictionary file gave another type";
    return "";
}

}  // namespace envelope_fuzz
