// Sections: >>shader >>parameters >>write methods >>instances
#include "RvShader.h"

#include <cstring>

#include "RvRenderer.h"
#include "RvTexture.h"

// >>shader

RvShader::~RvShader() {
    KuRelease(defaultValues);
    for (auto& entry : parameters)
        KuRelease(entry.second);
}

static void setSource(RvShader* shader, std::string* text, bool* has, const char* source) {
    if (!shader) return;
    if (source ? (*has && *text == source) : !*has) return;  // the same text again
    *has = source != nullptr;
    text->assign(source ? source : "");
    shader->sourcesChanged = true;
}

void RvShaderSetVertexShaderSource(RvShader* s, const char* source) {
    if (s) setSource(s, &s->vertexSource, &s->hasVertexSource, source);
}
void RvShaderSetFragmentShaderSource(RvShader* s, const char* source) {
    if (s) setSource(s, &s->fragmentSource, &s->hasFragmentSource, source);
}
void RvShaderSetColorMode(RvShader* s, int mode) {
    if (s) s->colorMode = mode;
}
int RvShaderGetColorMode(const RvShader* s) {
    return s ? s->colorMode : 1;
}
void RvShaderSetBlendMode(RvShader* s, int mode) {
    if (s) s->blendMode = mode;
}
int RvShaderGetBlendMode(const RvShader* s) {
    return s ? s->blendMode : 1;
}
void RvShaderSetDepthBias(RvShader* s, float constant, float slope) {
    if (!s) return;
    s->depthBias[0] = constant;
    s->depthBias[1] = slope;
}
void RvShaderGetDepthBias(const RvShader* s, float* constant, float* slope) {
    if (constant) *constant = s ? s->depthBias[0] : 0;
    if (slope) *slope = s ? s->depthBias[1] : 0;
}
void RvShaderSetDefaultValues(RvShader* s, RvDictionary* values) {
    if (s) KuSetRetained(s->defaultValues, values);
}
RvDictionary* RvShaderGetDefaultValues(const RvShader* s) {
    return s ? s->defaultValues : nullptr;
}
uint32_t RvShaderGetBuildNumber(const RvShader* s) {
    return s ? s->buildNumber.load() : 0;
}

// >>parameters

void RvShaderParameter::invalidate() {
    type = kRvParameterInvalid;
}

RvShaderParameter* RvShaderGetParameterLocked(RvShader* s, const char* name) {
    if (!s || !name) return nullptr;
    auto it = s->parameters.find(name);
    if (it != s->parameters.end()) return it->second;
    RvShaderParameter* parameter = s->newParameter(name);
    s->parameters.emplace(name, parameter);
    s->parametersAdded = true;
    return parameter;
}

RvShaderParameter* RvShaderGetParameter(RvShader* s, const char* name) {
    if (!s || !name) return nullptr;
    RvGraphicsResourceReadLock(s);
    auto it = s->parameters.find(name);
    if (it != s->parameters.end()) {
        RvShaderParameter* found = it->second;
        RvGraphicsResourceUnlock(s);
        return found;
    }
    RvShaderParameter* parameter = RvShaderGetParameterLocked(s, name);
    // The next compile must configure (or invalidate) the new parameter.
    RvGraphicsResourceUnlockWithStatus(s, kRvStatusNeedsBuild);
    return parameter;
}

void RvShaderEnumerateParameters(RvShader* s, void (*function)(RvShaderParameter*, void*), void* context) {
    if (!s || !function) return;
    RvResourceLock lock(s, kRvLockRead);
    for (auto& entry : s->parameters)
        function(entry.second, context);
}

void RvShaderInvalidateAllParameters(RvShader* s) {
    if (!s) return;
    RvResourceLock lock(s, kRvLockRead);
    for (auto& entry : s->parameters)
        entry.second->invalidate();
}

void RvShaderInvalidateUnknownParameters(RvShader* s) {
    if (!s) return;
    RvResourceLock lock(s, kRvLockRead);
    for (auto& entry : s->parameters)
        if (entry.second->type.load() == kRvParameterUnknown) entry.second->invalidate();
}

// >>write methods

void RvShaderWriteTexture(RvShaderVariable* v, RvRenderer* r) {
    v->parameter->bindTexture(r, v->textured ? static_cast<RvTexture*>(v->value) : nullptr);
}

void RvShaderWriteNumber(RvShaderVariable* v, RvRenderer* r) {
    if (v->inlined) {
        v->parameter->writeConstant(r, v->bytes, v->encoding, 1);
        return;
    }
    auto* number = static_cast<RvNumber*>(v->value);
    if (number) v->parameter->writeConstant(r, number->bytes(), number->encoding(), 1);
}

static void writeProjection(RvShaderVariable* v, RvRenderer* r) {
    v->parameter->writeConstant(r, r->projection.m, kRvEncodingMat4, 1);
}
static void writeView(RvShaderVariable* v, RvRenderer* r) {
    v->parameter->writeConstant(r, r->view.m, kRvEncodingMat4, 1);
}
static void writeInverseView(RvShaderVariable* v, RvRenderer* r) {
    v->parameter->writeConstant(r, r->inverseView.m, kRvEncodingMat4, 1);
}
static void writeViewProjection(RvShaderVariable* v, RvRenderer* r) {
    v->parameter->writeConstant(r, r->viewProjection.m, kRvEncodingMat4, 1);
}
static void writeViewPosition(RvShaderVariable* v, RvRenderer* r) {
    float p[3] = {r->viewPosition.x, r->viewPosition.y, r->viewPosition.z};
    v->parameter->writeConstant(r, p, kRvEncodingVec3, 1);
}
static void writeViewDirection(RvShaderVariable* v, RvRenderer* r) {
    float d[3] = {r->viewDirection.x, r->viewDirection.y, r->viewDirection.z};
    v->parameter->writeConstant(r, d, kRvEncodingVec3, 1);
}
static void writeScreenPitch(RvShaderVariable* v, RvRenderer* r) {
    float p[2] = {r->screenPitch.x, r->screenPitch.y};
    v->parameter->writeConstant(r, p, kRvEncodingVec2, 1);
}
static void writeScreenPixelPitch(RvShaderVariable* v, RvRenderer* r) {
    float p[2] = {r->pixelPitch.x, r->pixelPitch.y};
    v->parameter->writeConstant(r, p, kRvEncodingVec2, 1);
}
static void writeScreenPointPitch(RvShaderVariable* v, RvRenderer* r) {
    float p[2] = {r->pointPitch.x, r->pointPitch.y};
    v->parameter->writeConstant(r, p, kRvEncodingVec2, 1);
}
static void writeAlphaID(RvShaderVariable* v, RvRenderer* r) {
    float id = static_cast<float>(RvRendererGetNextRenderID(r) % 256) / 255.0f;
    v->parameter->writeConstant(r, &id, kRvEncodingFloat, 1);
}

namespace {
struct SymbolMethod {
    const char* symbol;
    RvShaderWriteMethod method;
};
const SymbolMethod kSymbols[] = {
    {"$ProjectionMatrix", writeProjection},       {"$ViewMatrix", writeView},
    {"$InverseViewMatrix", writeInverseView},     {"$ViewProjectionMatrix", writeViewProjection},
    {"$ViewPosition", writeViewPosition},         {"$ViewDirection", writeViewDirection},
    {"$ScreenPitch", writeScreenPitch},           {"$ScreenPixelPitch", writeScreenPixelPitch},
    {"$ScreenPointPitch", writeScreenPointPitch}, {"$AlphaID", writeAlphaID},
};
}  // namespace

RvShaderWriteMethod RvShaderWriteMethodForSymbol(const char* symbol) {
    if (!symbol) return nullptr;
    for (const SymbolMethod& s : kSymbols)
        if (strcmp(s.symbol, symbol) == 0) return s.method;
    return nullptr;
}

// >>instances

namespace {
class SpinLock {
public:
    explicit SpinLock(std::atomic_flag& flag) : flag_(flag) {
        while (flag_.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~SpinLock() { flag_.clear(std::memory_order_release); }

private:
    std::atomic_flag& flag_;
};

constexpr int kDirtyUpdate = 1, kDirtyWrite = 2;
}  // namespace

RvShaderInstance::~RvShaderInstance() {
    for (RvShaderVariable& v : variables) {
        KuRelease(v.parameter);
        KuRelease(v.value);
    }
    KuRelease(shader);
}

RvShaderInstance* RvNewShaderInstance(RvShader* shader) {
    auto* instance = new RvShaderInstance;
    KuSetRetained(instance->shader, shader);
    if (shader && shader->defaultValues) RvShaderInstanceSetValues(instance, shader->defaultValues);
    return instance;
}

// Inserts or updates a variable; takes over the caller's reference to `value` (may be null). With
// `bytes` the value is an inline number of `encoding` (`value` then null).
static void storeVariable(RvShaderInstance* instance, const char* name, RvShaderWriteMethod method,
                          KuObject* value, uint32_t encoding, const void* bytes = nullptr) {
    // Fetched before the spin lock: creating a parameter may wait for the shader's lock.
    RvShaderParameter* parameter = RvShaderGetParameter(instance->shader, name);
    SpinLock lock(instance->spin);
    RvShaderVariable* v = instance->variables.at(name);
    if (!v) {
        if (!parameter) {
            KuRelease(value);
            return;
        }
        RvShaderVariable made;
        KuRetain(parameter);
        made.parameter = parameter;
        made.method = method;
        v = instance->variables.emplace(made);
        instance->dirty = kDirtyUpdate | kDirtyWrite;
    }
    KuRelease(v->value);
    v->value = value;
    v->textured = dynamic_cast<RvTexture*>(value) != nullptr;
    v->encoding = encoding;
    v->inlined = bytes != nullptr;
    if (bytes) memcpy(v->bytes, bytes, RvEncodingSize(encoding));
    if (v->method != method) {
        // A value of another kind (say a texture after a number) writes through another method.
        v->method = method;
        instance->dirty = kDirtyUpdate | kDirtyWrite;
    }
}

void RvShaderInstanceSetValue(RvShaderInstance* instance, const char* name, KuObject* value) {
    if (!instance || !name || !value) return;
    if (auto* texture = dynamic_cast<RvTexture*>(value)) {
        KuRetain(texture);
        storeVariable(instance, name, RvShaderWriteTexture, texture, 0);
        return;
    }
    if (auto* number = dynamic_cast<RvNumber*>(value)) {
        int type = RvEncodingScalarType(number->encoding());
        RvNumber* stored = number;
        if (type == kRvScalarDouble)
            stored = RvNewNumberConverted(number, kRvScalarFloat, 0);
        else if (RvScalarTypeIsInteger(type) && type != kRvScalarInt32)
            stored = RvNewNumberConverted(number, kRvScalarInt32, 0);
        else
            KuRetain(stored);  // shared: a later in-place change reaches every holder
        storeVariable(instance, name, RvShaderWriteNumber, stored, 0);
        return;
    }
    if (auto* string = dynamic_cast<RvString*>(value)) {
        RvShaderWriteMethod method = RvShaderWriteMethodForSymbol(string->c_str());
        if (!method) {
            RvWarning("RvShaderInstance: Unrecognized symbolic shader constant %s = '%s'", name,
                      string->c_str());
            return;
        }
        storeVariable(instance, name, method, nullptr, 0);
    }
}

void RvShaderInstanceSetNumber(RvShaderInstance* instance, const char* name, RvShaderWriteMethod method,
                               const void* bytes, uint32_t encoding) {
    size_t size = RvEncodingSize(encoding);
    if (!instance || !name || !bytes || !method || !size) return;
    {
        instance->variables.prefetch();
        SpinLock lock(instance->spin);
        RvShaderVariable* v = instance->variables.at(name);
        // A stored encoding is only ever set together with a number made here.
        if (v && v->encoding == encoding && v->method == method) {
            if (v->inlined) memcpy(v->bytes, bytes, size);
            if (v->value) RvNumberSetBytes(static_cast<RvNumber*>(v->value), bytes, encoding);
            if (v->inlined || v->value) return;
        }
    }
    if (size <= RvShaderVariable::kInlineBytes)
        storeVariable(instance, name, method, nullptr, encoding, bytes);
    else
        storeVariable(instance, name, method, RvNewNumber(bytes, encoding), encoding);
}

void RvShaderInstanceSetValues(RvShaderInstance* instance, const RvDictionary* values) {
    if (!instance || !values) return;
    for (auto& entry : values->entries())
        RvShaderInstanceSetValue(instance, entry.first.c_str(), entry.second);
}

// The object standing for a variable's value: an inline number gets its box (spin lock held).
static KuObject* boxedValue(RvShaderVariable* v) {
    if (v->inlined && !v->value) v->value = RvNewNumber(v->bytes, v->encoding);
    return v->value;
}

KuObject* RvShaderInstanceGetValue(RvShaderInstance* instance, const char* name) {
    if (!instance || !name) return nullptr;
    SpinLock lock(instance->spin);
    RvShaderVariable* v = instance->variables.at(name);
    return v ? boxedValue(v) : nullptr;
}

RvDictionary* RvShaderInstanceGetValues(RvShaderInstance* instance) {
    RvDictionary* values = RvNewDictionary();
    if (!instance) return values;
    SpinLock lock(instance->spin);
    for (RvShaderVariable& v : instance->variables)
        if (KuObject* value = boxedValue(&v)) RvDictionarySetValue(values, v.parameter->name.c_str(), value);
    return values;
}

RvShaderInstance* RvShaderInstanceCopy(RvShaderInstance* instance) {
    if (!instance) return nullptr;
    auto* copy = new RvShaderInstance;
    KuSetRetained(copy->shader, instance->shader);
    SpinLock lock(instance->spin);
    for (RvShaderVariable& entry : instance->variables) {
        RvShaderVariable* from = &entry;
        RvShaderVariable v;
        KuSetRetained(v.parameter, from->parameter);
        // The copy shares the original's number, boxed when inline, so the original's later
        // in-place sets reach it.
        KuSetRetained(v.value, boxedValue(from));
        v.textured = from->textured;
        v.method = from->method;
        // Encoding 0: a later SetNumber on the copy replaces the number instead of writing into
        // the one it shares with the original.
        copy->variables.emplace(v);
    }
    copy->dirty = kDirtyUpdate | kDirtyWrite;
    return copy;
}

RvShader* RvShaderInstanceGetShader(const RvShaderInstance* instance) {
    return instance ? instance->shader : nullptr;
}

void RvShaderInstanceUpdate(RvShaderInstance* instance, RvRenderer* renderer) {
    if (!instance) return;
    SpinLock lock(instance->spin);
    if (instance->dirty & kDirtyUpdate) {
        bool unknown = false;
        for (RvShaderVariable& entry : instance->variables) {
            RvShaderVariable* v = &entry;
            int type = v->parameter->type.load();
            if (type == kRvParameterUnknown) unknown = true;
            auto* texture = v->method == RvShaderWriteTexture && v->textured
                                ? static_cast<RvTexture*>(v->value)
                                : nullptr;
            if (texture) RvTextureUpdate(texture, renderer);
            v->updates = type == kRvParameterTexture && texture;
        }
        // Until the program is compiled the parameter types are unknown: walk in full next time.
        if (!unknown) instance->dirty &= ~kDirtyUpdate;
        return;
    }
    for (RvShaderVariable& v : instance->variables)
        if (v.updates) RvTextureUpdate(static_cast<RvTexture*>(v.value), renderer);
}

void RvShaderInstanceWriteParameters(RvShaderInstance* instance, RvRenderer* renderer) {
    if (!instance) return;
    SpinLock lock(instance->spin);
    if (instance->dirty & kDirtyWrite) {
        bool unknown = false;
        for (RvShaderVariable& entry : instance->variables) {
            RvShaderVariable* v = &entry;
            int type = v->parameter->type.load();
            if (type == kRvParameterUnknown) unknown = true;
            v->method(v, renderer);
            v->writes = type == kRvParameterConstant || type == kRvParameterTexture;
        }
        if (!unknown) instance->dirty &= ~kDirtyWrite;
        return;
    }
    for (RvShaderVariable& v : instance->variables)
        if (v.writes) v.method(&v, renderer);
}
