// The little object runtime the renderer layer stands on: report callbacks, boxed numbers that
// carry an encoding, byte data, strings, string-keyed dictionaries and name/value enumerations.
// Objects are KuObjects: a `RvNew…` factory returns an owned object (count 1) the caller releases.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "KuObject.h"

// >>reports

// Where the layer's reports go. Each callback gets the formatted text; a null callback discards.
struct RvLogCallbacks {
    void (*log)(const char* text) = nullptr;
    void (*warning)(const char* text) = nullptr;
    void (*error)(const char* text) = nullptr;
};

// Installs the callbacks (copied); null restores the defaults: log discarded, warnings and errors
// printed through KuWarning (errors never end the process from inside the layer).
void RvSetLogCallbacks(const RvLogCallbacks* callbacks);
void RvLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void RvWarning(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void RvError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// >>encodings

// Scalar type codes of number encodings: code in bits 24-31, element count in bits 0-23.
enum RvScalarType : int {
    kRvScalarObject = 3,  // one object reference (a sampler's texture)
    kRvScalarInt8 = 8,
    kRvScalarInt16 = 9,
    kRvScalarInt32 = 11,
    kRvScalarInt64 = 15,
    kRvScalarUInt8 = 16,
    kRvScalarUInt16 = 17,
    kRvScalarUInt32 = 19,
    kRvScalarUInt64 = 23,
    kRvScalarFloat = 24,
    kRvScalarDouble = 25,
};

constexpr uint32_t RvMakeEncoding(int scalarType, int count) {
    return (static_cast<uint32_t>(scalarType) << 24) | (static_cast<uint32_t>(count) & 0xFFFFFF);
}
constexpr int RvEncodingScalarType(uint32_t encoding) {
    return static_cast<int>(encoding >> 24);
}
constexpr int RvEncodingCount(uint32_t encoding) {
    return static_cast<int>(encoding & 0xFFFFFF);
}

constexpr uint32_t kRvEncodingFloat = 0x18000001;
constexpr uint32_t kRvEncodingVec2 = 0x18000002;
constexpr uint32_t kRvEncodingVec3 = 0x18000003;
constexpr uint32_t kRvEncodingVec4 = 0x18000004;
constexpr uint32_t kRvEncodingMat3 = 0x1800000C;  // three columns of four floats
constexpr uint32_t kRvEncodingMat4 = 0x18000010;
constexpr uint32_t kRvEncodingInt = 0xB000001;
constexpr uint32_t kRvEncodingSampler = 0x3000001;

int RvScalarTypeSize(int scalarType);      // bytes of one element; 0 for an unknown code
size_t RvEncodingSize(uint32_t encoding);  // element size × count; 0 for an unknown code
bool RvScalarTypeIsInteger(int scalarType);

// Converts `source` (encoded `sourceEncoding`) into `destination` as `destinationEncoding`, element
// by element; missing source elements become 0. At most `destinationSize` bytes are written.
// False when either scalar type is unknown or the destination is too small.
bool RvConvertEncodedValue(const void* source, uint32_t sourceEncoding, void* destination,
                           uint32_t destinationEncoding, size_t destinationSize);

// >>objects

// A boxed number with an encoding. The bytes can be rewritten in place (no allocation) while the
// encoding stays the same, so one number can be shared by many drawables.
class RvNumber : public KuObject {
public:
    RvNumber(const void* bytes, uint32_t encoding);
    ~RvNumber() override;
    RvNumber(const RvNumber&) = delete;
    RvNumber& operator=(const RvNumber&) = delete;
    const char* typeStr() const override { return "RvNumber"; }
    uint32_t encoding() const { return encoding_; }
    const uint8_t* bytes() const { return bytes_; }
    uint8_t* mutableBytes() { return bytes_; }
    size_t size() const { return size_; }

private:
    // Up to a 4×4 float matrix lives inside the object: one cache line less per value written.
    static constexpr size_t kInlineBytes = 64;
    uint32_t encoding_;
    size_t size_;
    uint8_t* bytes_;
    alignas(8) uint8_t inline_[kInlineBytes];
};

// Owned. Null bytes give zeros; an encoding of unknown scalar type gives an empty number.
RvNumber* RvNewNumber(const void* bytes, uint32_t encoding);
RvNumber* RvNewFloatNumber(const float* values, int count);  // owned
uint32_t RvNumberGetEncoding(const RvNumber* number);        // 0 for null
const void* RvNumberGetBytes(const RvNumber* number);        // null for null
// Copies RvEncodingSize(encoding) bytes in place; false (nothing copied) for null or a different encoding.
bool RvNumberSetBytes(RvNumber* number, const void* bytes, uint32_t encoding);
// Owned copy converted to another encoding (same element count when `count` is 0).
RvNumber* RvNewNumberConverted(const RvNumber* number, int scalarType, int count);

// Byte data: an owned copy, a mutable zeroed block, or a view of caller memory (no copy; the caller
// keeps the memory alive as long as the data object lives).
class RvData : public KuObject {
public:
    const char* typeStr() const override { return "RvData"; }
    const uint8_t* bytes() const { return view_ ? view_ : owned_.data(); }
    uint8_t* mutableBytes() { return mutable_ ? owned_.data() : nullptr; }
    size_t length() const { return view_ ? viewLength_ : owned_.size(); }
    bool isMutable() const { return mutable_; }
    void setLength(size_t length);  // mutable data only; new bytes are zero

private:
    friend RvData* RvNewData(const void*, size_t);
    friend RvData* RvNewDataNoCopy(const void*, size_t);
    friend RvData* RvNewMutableData(size_t);
    friend RvData* RvNewMutableDataCopy(const RvData*);
    RvData() = default;
    std::vector<uint8_t> owned_;
    const uint8_t* view_ = nullptr;
    size_t viewLength_ = 0;
    bool mutable_ = false;
};

RvData* RvNewData(const void* bytes, size_t length);        // owned immutable copy
RvData* RvNewDataNoCopy(const void* bytes, size_t length);  // owned immutable view of caller memory
RvData* RvNewMutableData(size_t length);                    // owned, zero-filled
RvData* RvNewMutableDataCopy(const RvData* data);           // owned; null data gives empty
const void* RvDataGetBytes(const RvData* data);             // null for null
size_t RvDataGetLength(const RvData* data);                 // 0 for null

class RvString : public KuObject {
public:
    explicit RvString(const char* text) : text_(text ? text : "") {}
    const char* typeStr() const override { return "RvString"; }
    const char* c_str() const { return text_.c_str(); }
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

RvString* RvNewString(const char* text);  // owned copy; null gives ""

// String-keyed dictionary of objects, iterated in ascending byte order of its keys. Values are
// retained; setting null removes the key.
class RvDictionary : public KuObject {
public:
    ~RvDictionary() override;
    const char* typeStr() const override { return "RvDictionary"; }
    const std::map<std::string, KuObject*>& entries() const { return entries_; }

private:
    friend void RvDictionarySetValue(RvDictionary*, const char*, KuObject*);
    std::map<std::string, KuObject*> entries_;
};

RvDictionary* RvNewDictionary();  // owned
void RvDictionarySetValue(RvDictionary* dictionary, const char* key, KuObject* value);
KuObject* RvDictionaryGetValue(const RvDictionary* dictionary, const char* key);  // not retained
int RvDictionaryGetCount(const RvDictionary* dictionary);

// >>enumerations

struct RvEnumEntry {
    const char* name;
    int value;
};

// A table from names to values. The empty name stands for the default where the table has one.
struct RvEnum {
    const char* tableName;
    const RvEnumEntry* entries;
    int count;
};

// Value of `name`; null or unknown names give `fallback` (and false from the Find form).
bool RvEnumFindValue(const RvEnum& table, const char* name, int* value);
int RvEnumGetValue(const RvEnum& table, const char* name, int fallback);
// First name listed for `value`, or null.
const char* RvEnumGetName(const RvEnum& table, int value);

extern const RvEnum RvBlendModeEnum;
extern const RvEnum RvColorModeEnum;
extern const RvEnum RvPrimitiveTypeEnum;
extern const RvEnum RvIndexTypeEnum;
extern const RvEnum RvProjectionEnum;
extern const RvEnum RvPrimitiveSemanticEnum;
extern const RvEnum RvVertexTypeEnum;
extern const RvEnum RvPixelTypeEnum;
