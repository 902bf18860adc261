// KuData: a growable byte buffer with a read cursor; Base85 and Base64 decoding, Base64 encoding
// and gzip compression over zlib. KuPointer: one raw pointer boxed as an object.
#pragma once

#include <cstdint>

#include "KuObject.h"

class KuString;

class KuData : public KuObject {
public:
    uint8_t* bytes = nullptr;  // malloc'd; null while empty
    int32_t length = 0;        // bytes in use
    int32_t capacity = 0;      // bytes allocated
    int32_t position = 0;      // read cursor of the binary document reader
    bool borrowed = false;     // buffer not freed by the object (never set by the engine itself)

    KuData() : KuObject(kKuTypeData) {}
    ~KuData() override;

    // A null source or n <= 0 gives empty data.
    static KuData* dataWithBytes(const void* src, int n);  // autoreleased copy
    static KuData* newWithBytes(const void* src, int n);   // owned copy
    // Autoreleased; takes over a malloc'd buffer of n bytes, freed with the data.
    static KuData* dataWithBytesNoCopy(void* heapBuffer, int n);

    // Replace the content with the decoded bytes and reset the cursor. Malformed input is not
    // reported: it decodes to whatever its characters give. Null text gives empty data.
    // Base85: groups of five characters, first character least significant, digit = code - 35
    // below the backslash and code - 36 above it; (length + 4) / 5 * 4 bytes, a short final
    // group read only as far as the text goes.
    void initWithBase85EncodedString(const char* text);
    void initWithBase85EncodedString(const KuString* text);
    // Standard alphabet; other bytes are skipped; decoding ends at the first "=".
    void initWithBase64EncodedString(const KuString* text);
    KuString* base64EncodedString() const;  // standard alphabet with "=" padding; autoreleased

    KuData* gzipDeflate() const;  // gzip container, default level; autoreleased; null for empty data
    KuData* gzipInflate() const;  // gzip or zlib header; autoreleased; null for empty or undecodable data

    // Both keep the content when memory cannot be had (appendBytes then appends nothing).
    void appendBytes(const void* src, int n);  // src may point into this buffer
    void setLength(int n);                     // grows zero-filled, or shrinks; negative gives 0

    const char* typeStr() const override { return "KuData"; }

private:
    bool reserve(int64_t n);  // capacity for n bytes; false when it cannot be had
    void replaceBuffer(uint8_t* buffer, int32_t n);
};

// One raw pointer, not owned.
class KuPointer : public KuObject {
public:
    void* pointer = nullptr;
    explicit KuPointer(void* p = nullptr) : KuObject(kKuTypeObject), pointer(p) {}
    static KuPointer* pointerWithVoid(void* p);  // autoreleased
    const char* typeStr() const override { return "KuPointer"; }
};
