// KuData: a byte buffer with a read cursor; Base85/Base64 decoding and gzip over zlib.
#pragma once

#include <cstdint>

#include "KuObject.h"

class KuString;

class KuData : public KuObject {
public:
    uint8_t* bytes = nullptr;
    int32_t length = 0;    // bytes in use
    int32_t capacity = 0;  // bytes allocated
    int32_t position = 0;  // read cursor of the binary document reader
    bool borrowed = false;  // buffer not freed by the object

    KuData() : KuObject(kKuTypeData) {}
    ~KuData() override;

    static KuData* dataWithBytes(const void* src, int n);     // autoreleased copy
    static KuData* dataWithBytesNoCopy(void* heapBuffer, int n);  // autoreleased; takes the malloc'd buffer
    static KuData* newWithBytes(const void* src, int n);      // owned copy

    void initWithBase85EncodedString(const char* text);
    void initWithBase85EncodedString(const KuString* text);
    void initWithBase64EncodedString(const KuString* text);
    KuString* base64EncodedString() const;  // standard alphabet with padding; autoreleased

    KuData* gzipDeflate() const;  // autoreleased; null for empty data
    KuData* gzipInflate() const;  // autoreleased; null for empty or undecodable data

    void appendBytes(const void* src, int n);
    void setLength(int n);  // grows (zero-filled) or shrinks

    const char* typeStr() const override { return "KuData"; }
};

// One raw pointer, not owned.
class KuPointer : public KuObject {
public:
    void* pointer = nullptr;
    explicit KuPointer(void* p = nullptr) : KuObject(kKuTypeObject), pointer(p) {}
    static KuPointer* pointerWithVoid(void* p);  // autoreleased
    const char* typeStr() const override { return "KuPointer"; }
};
