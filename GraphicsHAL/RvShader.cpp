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
    v->parameter->bindTexture(r, dynamic_cast<RvTexture*>(v->value));
}

void RvShaderWriteNumber(RvShaderVariable* v, RvRenderer* r) {
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

RvShaderVariable::~RvShaderVariable() {
    KuRelease(parameter);
    KuRelease(value);
}

RvShaderInstance::~RvShaderInstance() {
    for (auto& entry : variables)
        KuRelease(entry.second);
    KuRelease(shader);
}

RvShaderInstance* RvNewShaderInstance(RvShader* shader) {
    auto* instance = new RvShaderInstance;
    KuSetRetained(instance->shader, shader);
    if (shader && shader->defaultValues) RvShaderInstanceSetValues(instance, shader->defaultValues);
    return instance;
}

// Inserts or updates a variable; takes over the caller's reference to `value` (may be null).
static void storeVariable(RvShaderInstance* instance, const char* name, RvShaderWriteMethod method,
                          KuObject* value, uint32_t encoding) {
    // Fetched before the spin lock: creating a parameter may wait for the shader's lock.
    RvShaderParameter* parameter = RvShaderGetParameter(instance->shader, name);
    SpinLock lock(instance->spin);
    auto it = instance->variables.find(name);
    if (it != instance->variables.end()) {
        RvShaderVariable* v = it->second;
        KuRelease(v->value);
        v->value = value;
        v->encoding = encoding;
        if (v->method != method) {
            // A value of another kind (say a texture after a number) writes through another method.
            v->method = method;
            instance->dirty = kDirtyUpdate | kDirtyWrite;
        }
        return;
    }
    if (!parameter) {
        KuRelease(value);
        return;
    }
    auto* v = new RvShaderVariable;
    KuRetain(parameter);
    v->parameter = parameter;
    v->value = value;
    v->method = method;
    v->encoding = encoding;
    instance->variables.emplace(name, v);
    instance->dirty = kDirtyUpdate | kDirtyWrite;
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
    if (!instance || !name || !bytes || !method || !RvEncodingSize(encoding)) return;
    {
        SpinLock lock(instance->spin);
        auto it = instance->variables.find(name);
        if (it != instance->variables.end()) {
            RvShaderVariable* v = it->second;
            // A stored encoding is only ever set together with a number made here.
            if (v->encoding == encoding && v->method == method && v->value) {
                RvNumberSetBytes(static_cast<RvNumber*>(v->value), bytes, encoding);
                return;
            }
        }
    }
    storeVariable(instance, name, method, RvNewNumber(bytes, encoding), encoding);
}

void RvShaderInstanceSetValues(RvShaderInstance* instance, const RvDictionary* values) {
    if (!instance || !values) return;
    for (auto& entry : values->entries())
        RvShaderInstanceSetValue(instance, entry.first.c_str(), entry.second);
}

KuObject* RvShaderInstanceGetValue(RvShaderInstance* instance, const char* name) {
    if (!instance || !name) return nullptr;
    SpinLock lock(instance->spin);
    auto it = instance->variables.find(name);
    return it == instance->variables.end() ? nullptr : it->second->value;
}

RvDictionary* RvShaderInstanceGetValues(RvShaderInstance* instance) {
    RvDictionary* values = RvNewDictionary();
    if (!instance) return values;
    SpinLock lock(instance->spin);
    for (auto& entry : instance->variables)
        if (entry.second->value) RvDictionarySetValue(values, entry.first.c_str(), entry.second->value);
    return values;
}

RvShaderInstance* RvShaderInstanceCopy(RvShaderInstance* instance) {
    if (!instance) return nullptr;
    auto* copy = new RvShaderInstance;
    KuSetRetained(copy->shader, instance->shader);
    SpinLock lock(instance->spin);
    for (auto& entry : instance->variables) {
        const RvShaderVariable* from = entry.second;
        auto* v = new RvShaderVariable;
        KuSetRetained(v->parameter, from->parameter);
        KuSetRetained(v->value, from->value);
        v->method = from->method;
        // Encoding 0: a later SetNumber on the copy replaces the number instead of writing into
        // the one it shares with the original.
        copy->variables.emplace(entry.first, v);
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
        RvShaderVariable** tail = &instance->updateList;
        for (auto& entry : instance->variables) {
            RvShaderVariable* v = entry.second;
            v->nextUpdate = nullptr;
            int type = v->parameter->type.load();
            if (type == kRvParameterUnknown) unknown = true;
            auto* texture = v->method == RvShaderWriteTexture ? dynamic_cast<RvTexture*>(v->value) : nullptr;
            if (texture) RvTextureUpdate(texture, renderer);
            if (type == kRvParameterTexture && texture) {
                *tail = v;
                tail = &v->nextUpdate;
            }
        }
        *tail = nullptr;
        // Until the program is compiled the parameter types are unknown: rebuild the list next time.
        if (!unknown) instance->dirty &= ~kDirtyUpdate;
        return;
    }
    for (RvShaderVariable* v = instance->updateList; v; v = v->nextUpdate)
        RvTextureUpdate(static_cast<RvTexture*>(v->value), renderer);
}

void RvShaderInstanceWriteParameters(RvShaderInstance* instance, RvRenderer* renderer) {
    if (!instance) return;
    SpinLock lock(instance->spin);
    if (instance->dirty & kDirtyWrite) {
        bool unknown = false;
        RvShaderVariable** tail = &instance->writeList;
        for (auto& entry : instance->variables) {
            RvShaderVariable* v = entry.second;
            v->nextWrite = nullptr;
            int type = v->parameter->type.load();
            if (type == kRvParameterUnknown) unknown = true;
            v->method(v, renderer);
            if (type == kRvParameterConstant || type == kRvParameterTexture) {
                *tail = v;
                tail = &v->nextWrite;
            }
        }
        *tail = nullptr;
        if (!unknown) instance->dirty &= ~kDirtyWrite;
        return;
    }
    // The values live apart from their variables: ask for all of them before the first write needs
    // one, so their cache misses overlap instead of queueing one behind another.
    for (RvShaderVariable* v = instance->writeList; v; v = v->nextWrite) {
        // A number's inline bytes run into the line after its header.
        if (!v->value) continue;
        __builtin_prefetch(v->value);
        __builtin_prefetch(reinterpret_cast<const char*>(v->value) + 64);
    }
    for (RvShaderVariable* v = instance->writeList; v; v = v->nextWrite)
        v->method(v, renderer);
}
