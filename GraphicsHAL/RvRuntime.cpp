// Sections: >>reports >>encodings >>objects >>enumerations
#include "RvRuntime.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "KuLog.h"

// >>reports

namespace {
void printWarning(const char* text) {
    KuWarning("%s", text);
}

std::mutex& callbackMutex() {
    static std::mutex m;
    return m;
}

RvLogCallbacks defaultCallbacks() {
    RvLogCallbacks c;
    c.warning = printWarning;
    c.error = printWarning;
    return c;
}

RvLogCallbacks& currentCallbacks() {
    static RvLogCallbacks callbacks = defaultCallbacks();
    return callbacks;
}

enum class Level { Log, Warning, Error };

void report(Level level, const char* fmt, va_list args) {
    void (*sink)(const char*);
    {
        std::lock_guard<std::mutex> lock(callbackMutex());
        const RvLogCallbacks& c = currentCallbacks();
        sink = level == Level::Log ? c.log : level == Level::Warning ? c.warning : c.error;
    }
    if (!sink) return;
    char text[2048];
    vsnprintf(text, sizeof text, fmt, args);  // cut, never overrun
    sink(text);
}
}  // namespace

void RvSetLogCallbacks(const RvLogCallbacks* callbacks) {
    std::lock_guard<std::mutex> lock(callbackMutex());
    currentCallbacks() = callbacks ? *callbacks : defaultCallbacks();
}

void RvLog(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    report(Level::Log, fmt, args);
    va_end(args);
}

void RvWarning(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    report(Level::Warning, fmt, args);
    va_end(args);
}

void RvError(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    report(Level::Error, fmt, args);
    va_end(args);
}

// >>encodings

int RvScalarTypeSize(int scalarType) {
    switch (scalarType) {
    case kRvScalarObject:
        return static_cast<int>(sizeof(void*));
    case kRvScalarInt8:
    case kRvScalarUInt8:
        return 1;
    case kRvScalarInt16:
    case kRvScalarUInt16:
        return 2;
    case kRvScalarInt32:
    case kRvScalarUInt32:
    case kRvScalarFloat:
        return 4;
    case kRvScalarInt64:
    case kRvScalarUInt64:
    case kRvScalarDouble:
        return 8;
    default:
        return 0;
    }
}

size_t RvEncodingSize(uint32_t encoding) {
    return static_cast<size_t>(RvScalarTypeSize(RvEncodingScalarType(encoding))) *
           static_cast<size_t>(RvEncodingCount(encoding));
}

bool RvScalarTypeIsInteger(int t) {
    return t == kRvScalarInt8 || t == kRvScalarInt16 || t == kRvScalarInt32 || t == kRvScalarInt64 ||
           t == kRvScalarUInt8 || t == kRvScalarUInt16 || t == kRvScalarUInt32 || t == kRvScalarUInt64;
}

namespace {
// Element reads and writes through memcpy: the bytes come from unaligned record payloads.
template <typename T>
T loadAs(const uint8_t* p) {
    T v;
    memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void storeAs(uint8_t* p, T v) {
    memcpy(p, &v, sizeof v);
}

// Integers travel as int64 so that no value of a 32-bit type is rounded through a float.
struct Element {
    bool isFloat;
    double f;
    int64_t i;
};

Element loadElement(int type, const uint8_t* p) {
    switch (type) {
    case kRvScalarInt8:
        return {false, 0, loadAs<int8_t>(p)};
    case kRvScalarInt16:
        return {false, 0, loadAs<int16_t>(p)};
    case kRvScalarInt32:
        return {false, 0, loadAs<int32_t>(p)};
    case kRvScalarInt64:
        return {false, 0, loadAs<int64_t>(p)};
    case kRvScalarUInt8:
        return {false, 0, loadAs<uint8_t>(p)};
    case kRvScalarUInt16:
        return {false, 0, loadAs<uint16_t>(p)};
    case kRvScalarUInt32:
        return {false, 0, loadAs<uint32_t>(p)};
    case kRvScalarUInt64:
        return {false, 0, static_cast<int64_t>(loadAs<uint64_t>(p))};
    case kRvScalarFloat:
        return {true, loadAs<float>(p), 0};
    case kRvScalarDouble:
        return {true, loadAs<double>(p), 0};
    default:
        return {false, 0, 0};
    }
}

int64_t elementAsInt(const Element& e) {
    if (!e.isFloat) return e.i;
    if (!(e.f == e.f)) return 0;  // NaN
    if (e.f >= 9.2e18) return INT64_MAX;
    if (e.f <= -9.2e18) return INT64_MIN;
    return static_cast<int64_t>(e.f);
}

double elementAsDouble(const Element& e) {
    return e.isFloat ? e.f : static_cast<double>(e.i);
}

void storeElement(int type, uint8_t* p, const Element& e) {
    switch (type) {
    case kRvScalarInt8:
        storeAs(p, static_cast<int8_t>(elementAsInt(e)));
        break;
    case kRvScalarInt16:
        storeAs(p, static_cast<int16_t>(elementAsInt(e)));
        break;
    case kRvScalarInt32:
        storeAs(p, static_cast<int32_t>(elementAsInt(e)));
        break;
    case kRvScalarInt64:
        storeAs(p, elementAsInt(e));
        break;
    case kRvScalarUInt8:
        storeAs(p, static_cast<uint8_t>(elementAsInt(e)));
        break;
    case kRvScalarUInt16:
        storeAs(p, static_cast<uint16_t>(elementAsInt(e)));
        break;
    case kRvScalarUInt32:
        storeAs(p, static_cast<uint32_t>(elementAsInt(e)));
        break;
    case kRvScalarUInt64:
        storeAs(p, static_cast<uint64_t>(elementAsInt(e)));
        break;
    case kRvScalarFloat:
        storeAs(p, static_cast<float>(elementAsDouble(e)));
        break;
    case kRvScalarDouble:
        storeAs(p, elementAsDouble(e));
        break;
    default:
        break;
    }
}
}  // namespace

bool RvConvertEncodedValue(const void* source, uint32_t sourceEncoding, void* destination,
                           uint32_t destinationEncoding, size_t destinationSize) {
    int st = RvEncodingScalarType(sourceEncoding), dt = RvEncodingScalarType(destinationEncoding);
    int ss = RvScalarTypeSize(st), ds = RvScalarTypeSize(dt);
    if (!ss || !ds || st == kRvScalarObject || dt == kRvScalarObject) return false;
    if (RvEncodingSize(destinationEncoding) > destinationSize) return false;
    int sc = source ? RvEncodingCount(sourceEncoding) : 0, dc = RvEncodingCount(destinationEncoding);
    auto* out = static_cast<uint8_t*>(destination);
    auto* in = static_cast<const uint8_t*>(source);
    for (int i = 0; i < dc; i++) {
        Element e = i < sc ? loadElement(st, in + static_cast<size_t>(i) * ss) : Element{false, 0, 0};
        storeElement(dt, out + static_cast<size_t>(i) * ds, e);
    }
    return true;
}

// >>objects

RvNumber::RvNumber(const void* bytes, uint32_t encoding)
    : encoding_(encoding), size_(RvEncodingSize(encoding)) {
    bytes_ = size_ <= kInlineBytes ? inline_ : new uint8_t[size_];
    if (bytes && size_)
        memcpy(bytes_, bytes, size_);
    else
        memset(bytes_, 0, size_);
}

RvNumber::~RvNumber() {
    if (bytes_ != inline_) delete[] bytes_;
}

RvNumber* RvNewNumber(const void* bytes, uint32_t encoding) {
    return new RvNumber(bytes, encoding);
}
RvNumber* RvNewFloatNumber(const float* values, int count) {
    return new RvNumber(values, RvMakeEncoding(kRvScalarFloat, count));
}
uint32_t RvNumberGetEncoding(const RvNumber* n) {
    return n ? n->encoding() : 0;
}
const void* RvNumberGetBytes(const RvNumber* n) {
    return n ? n->bytes() : nullptr;
}

bool RvNumberSetBytes(RvNumber* n, const void* bytes, uint32_t encoding) {
    if (!n || !bytes || n->encoding() != encoding) return false;
    if (n->size()) memcpy(n->mutableBytes(), bytes, n->size());
    return true;
}

RvNumber* RvNewNumberConverted(const RvNumber* n, int scalarType, int count) {
    if (!n) return nullptr;
    uint32_t encoding = RvMakeEncoding(scalarType, count ? count : RvEncodingCount(n->encoding()));
    auto* out = new RvNumber(nullptr, encoding);
    RvConvertEncodedValue(n->bytes(), n->encoding(), out->mutableBytes(), encoding, out->size());
    return out;
}

void RvData::setLength(size_t length) {
    if (mutable_) owned_.resize(length, 0);
}

RvData* RvNewData(const void* bytes, size_t length) {
    auto* d = new RvData;
    d->owned_.resize(length, 0);
    if (bytes && length) memcpy(d->owned_.data(), bytes, length);
    return d;
}

RvData* RvNewDataNoCopy(const void* bytes, size_t length) {
    auto* d = new RvData;
    d->view_ = static_cast<const uint8_t*>(bytes);
    d->viewLength_ = bytes ? length : 0;
    if (!bytes) d->view_ = nullptr;
    return d;
}

RvData* RvNewMutableData(size_t length) {
    auto* d = new RvData;
    d->owned_.resize(length, 0);
    d->mutable_ = true;
    return d;
}

RvData* RvNewMutableDataCopy(const RvData* source) {
    auto* d = new RvData;
    d->mutable_ = true;
    if (source && source->length()) d->owned_.assign(source->bytes(), source->bytes() + source->length());
    return d;
}

const void* RvDataGetBytes(const RvData* d) {
    return d && d->length() ? d->bytes() : nullptr;
}
size_t RvDataGetLength(const RvData* d) {
    return d ? d->length() : 0;
}

RvString* RvNewString(const char* text) {
    return new RvString(text);
}

RvDictionary::~RvDictionary() {
    for (auto& entry : entries_)
        KuRelease(entry.second);
}

RvDictionary* RvNewDictionary() {
    return new RvDictionary;
}

void RvDictionarySetValue(RvDictionary* d, const char* key, KuObject* value) {
    if (!d || !key) return;
    auto it = d->entries_.find(key);
    if (it == d->entries_.end()) {
        if (!value) return;
        KuRetain(value);
        d->entries_.emplace(key, value);
        return;
    }
    if (!value) {
        KuRelease(it->second);
        d->entries_.erase(it);
        return;
    }
    KuSetRetained(it->second, value);
}

KuObject* RvDictionaryGetValue(const RvDictionary* d, const char* key) {
    if (!d || !key) return nullptr;
    auto it = d->entries().find(key);
    return it == d->entries().end() ? nullptr : it->second;
}

int RvDictionaryGetCount(const RvDictionary* d) {
    return d ? static_cast<int>(d->entries().size()) : 0;
}

// >>enumerations

bool RvEnumFindValue(const RvEnum& table, const char* name, int* value) {
    if (!name) return false;
    for (int i = 0; i < table.count; i++) {
        if (strcmp(table.entries[i].name, name) == 0) {
            if (value) *value = table.entries[i].value;
            return true;
        }
    }
    return false;
}

int RvEnumGetValue(const RvEnum& table, const char* name, int fallback) {
    int value = fallback;
    RvEnumFindValue(table, name, &value);
    return value;
}

const char* RvEnumGetName(const RvEnum& table, int value) {
    // Named entries win over the empty default name that shares their value.
    const char* found = nullptr;
    for (int i = 0; i < table.count; i++) {
        if (table.entries[i].value != value) continue;
        if (table.entries[i].name[0]) return table.entries[i].name;
        if (!found) found = table.entries[i].name;
    }
    return found;
}

#define RV_ENUM(var, label, array)                                                                           \
    const RvEnum var = {label, array, static_cast<int>(sizeof(array) / sizeof(array[0]))}

static const RvEnumEntry kBlendModes[] = {
    {"", 0},
    {"Opaque", 1},
    {"Alpha", 2},
    {"Add", 3},
    {"Multiply", 4},
    {"Subtract", 5},
    {"PremultipliedAlpha", 0x10006},
    {"PremultipliedAdd", 0x10007},
    {"PremultipliedSubtract", 0x10008},
};
RV_ENUM(RvBlendModeEnum, "RvBlendModeEnum", kBlendModes);

static const RvEnumEntry kColorModes[] = {
    {"", 1}, {"Disabled", 4}, {"Enabled", 1}, {"ColorOnly", 2}, {"AlphaOnly", 3},
};
RV_ENUM(RvColorModeEnum, "RvColorModeEnum", kColorModes);

static const RvEnumEntry kPrimitiveTypes[] = {
    {"Points", 1}, {"Lines", 2}, {"LineStrip", 3}, {"Triangles", 4}, {"TriangleStrip", 5},
};
RV_ENUM(RvPrimitiveTypeEnum, "RvPrimitiveTypeEnum", kPrimitiveTypes);

static const RvEnumEntry kIndexTypes[] = {{"Index16", 0x20011}, {"Index32", 0x40013}};
RV_ENUM(RvIndexTypeEnum, "RvIndexTypeEnum", kIndexTypes);

static const RvEnumEntry kProjections[] = {{"Orthographic", 0}, {"Perspective", 1}, {"FOV", 2}};
RV_ENUM(RvProjectionEnum, "RvProjectionEnum", kProjections);

static const RvEnumEntry kSemantics[] = {
    {"position", 1},   {"color", 2},      {"color0", 3},      {"color1", 4},     {"normal", 5},
    {"binormal", 6},   {"tangent", 7},    {"texcoord", 8},    {"texcoord0", 9},  {"texcoord1", 10},
    {"texcoord2", 11}, {"texcoord3", 12}, {"texcoord4", 13},  {"texcoord5", 14}, {"texcoord6", 15},
    {"texcoord7", 16}, {"boneindex", 17}, {"boneweight", 18},
};
RV_ENUM(RvPrimitiveSemanticEnum, "RvPrimitiveSemanticEnum", kSemantics);

static const RvEnumEntry kVertexTypes[] = {
    {"Position2f", 0x01000218}, {"Position3f", 0x01000318},   {"Position4f", 0x01000418},
    {"Normal3f", 0x05000318},   {"Binormal3f", 0x06000318},   {"Tangent3f", 0x07000418},
    {"Tangent4f", 0x07000418},  {"TexCoord1f", 0x08000118},   {"TexCoord2f", 0x08000218},
    {"TexCoord3f", 0x08000318}, {"TexCoord4f", 0x08000418},   {"Color4f", 0x02000418},
    {"Color4ub", 0x02010410},   {"BoneIndex4ub", 0x11000410}, {"BoneWeight4f", 0x12000418},
};
RV_ENUM(RvVertexTypeEnum, "RvVertexTypeEnum", kVertexTypes);

static const RvEnumEntry kPixelTypes[] = {
    {"Unspecified", 0},           {"X8", 0x08101002},           {"RGB8", 0x18300003},
    {"BGR8", 0x18300004},         {"RGBA8", 0x20401005},        {"BGRA8", 0x20401006},
    {"PREMUL_RGBA8", 0x20402005}, {"PREMUL_BGRA8", 0x20402006}, {"PVRTC_RGB2", 0x02310007},
    {"PVRTC_RGBA2", 0x02411008},  {"PVRTC_RGB4", 0x04310009},   {"PVRTC_RGBA4", 0x0441100A},
    {"DXT1", 0x0432000B},         {"DXT2", 0x0842100C},         {"DXT3", 0x0842100D},
    {"DXT4", 0x0842100E},         {"DXT5", 0x0842100F},
};
RV_ENUM(RvPixelTypeEnum, "RvPixelTypeEnum", kPixelTypes);
