// Shaders (sources, default values, named parameters configured by the back end when it compiles),
// shader variables and the per-drawable shader instances that hold and write parameter values.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "RvGraphicsDevice.h"

class RvRenderer;

// Parameter types.
enum : int {
    kRvParameterUnknown = 0,   // not yet seen in a compiled program
    kRvParameterStream = 1,    // vertex attribute
    kRvParameterConstant = 2,  // uniform
    kRvParameterTexture = 3,   // sampler
    kRvParameterInvalid = 4,   // the program does not have it, or its type is unsupported
};

// A named input of a shader program. Created on demand (RvShaderGetParameter) and configured by
// the back end when the program is compiled; the type and encoding are read across threads.
class RvShaderParameter : public KuObject {
public:
    explicit RvShaderParameter(const char* name) : name(name ? name : "") {}
    const char* typeStr() const override { return "RvShaderParameter"; }

    // The back end's operations; without a back end there is nothing to write.
    virtual void invalidate();  // type becomes invalid
    virtual void writeConstant(RvRenderer*, const void* /*bytes*/, uint32_t /*encoding*/, int /*count*/) {}
    virtual void bindTexture(RvRenderer*, RvTexture*) {}

    const std::string name;
    std::atomic<int> type{kRvParameterUnknown};
    std::atomic<uint32_t> encoding{0};
};

class RvShader : public RvGraphicsResource {
public:
    explicit RvShader(RvGraphicsDevice* device) : RvGraphicsResource(device) {}
    ~RvShader() override;
    const char* typeStr() const override { return "RvShader"; }
    // The back end's parameter class (`RvNewShaderParameter`); owned result.
    virtual RvShaderParameter* newParameter(const char* name) { return new RvShaderParameter(name); }

    std::string vertexSource, fragmentSource;
    bool hasVertexSource = false, hasFragmentSource = false;
    bool sourcesChanged = false;
    RvDictionary* defaultValues = nullptr;                 // retained
    std::map<std::string, RvShaderParameter*> parameters;  // owned; guarded by the resource mutex
    bool parametersAdded = false;
    int colorMode = 1;  // Enabled
    int blendMode = 1;  // Opaque
    float depthBias[2] = {0, 0};
    std::atomic<uint32_t> buildNumber{0};
};

// Copies the source and marks the sources changed unless the same text is given again; null clears.
void RvShaderSetVertexShaderSource(RvShader* shader, const char* source);
void RvShaderSetFragmentShaderSource(RvShader* shader, const char* source);
void RvShaderSetColorMode(RvShader* shader, int mode);
int RvShaderGetColorMode(const RvShader* shader);  // 1 for null
void RvShaderSetBlendMode(RvShader* shader, int mode);
int RvShaderGetBlendMode(const RvShader* shader);  // 1 for null
void RvShaderSetDepthBias(RvShader* shader, float constant, float slope);
void RvShaderGetDepthBias(const RvShader* shader, float* constant, float* slope);
void RvShaderSetDefaultValues(RvShader* shader, RvDictionary* values);  // retained
RvDictionary* RvShaderGetDefaultValues(const RvShader* shader);         // not retained
// The parameter of that name, created (type unknown) when absent; the shader owns it. Null for a
// null shader or name. A new parameter marks the shader for a rebuild so the next compile sees it.
RvShaderParameter* RvShaderGetParameter(RvShader* shader, const char* name);
// For the back end while it holds the shader's lock: get or create without touching the status.
RvShaderParameter* RvShaderGetParameterLocked(RvShader* shader, const char* name);
void RvShaderEnumerateParameters(RvShader* shader, void (*function)(RvShaderParameter*, void*),
                                 void* context);
void RvShaderInvalidateAllParameters(RvShader* shader);
void RvShaderInvalidateUnknownParameters(RvShader* shader);
uint32_t RvShaderGetBuildNumber(const RvShader* shader);

// >>variables and instances

struct RvShaderVariable;
using RvShaderWriteMethod = void (*)(RvShaderVariable* variable, RvRenderer* renderer);

// Write methods: hand a value to its parameter's operations.
void RvShaderWriteTexture(RvShaderVariable* variable, RvRenderer* renderer);
void RvShaderWriteNumber(RvShaderVariable* variable, RvRenderer* renderer);
// The method of a symbolic constant ("$ProjectionMatrix", …, "$AlphaID"), or null.
RvShaderWriteMethod RvShaderWriteMethodForSymbol(const char* symbol);

// One named value of a shader instance, held inside the instance's table. Owned by the instance,
// which releases `parameter` and `value`.
struct RvShaderVariable {
    // Numbers up to a 4×4 float matrix set through RvShaderInstanceSetNumber live here, beside the
    // rest of the variable, so writing them touches no further object.
    static constexpr size_t kInlineBytes = 64;

    RvShaderParameter* parameter = nullptr;  // retained
    // Retained: a texture, a shared number, a number made here, or null for symbols. With
    // `inlined`, a box of the inline bytes made on request and kept equal to them.
    KuObject* value = nullptr;
    RvShaderWriteMethod method = nullptr;
    uint32_t encoding = 0;  // of a number set through RvShaderInstanceSetNumber; 0 otherwise
    bool inlined = false;   // that number's bytes are `bytes`
    bool textured = false;  // `value` is a texture
    bool updates = false;   // on the update walk (a texture the program samples)
    bool writes = false;    // on the write walk (a known constant or texture)
    alignas(8) uint8_t bytes[kInlineBytes] = {};
};

// Variables by name (their parameter's), kept sorted in one contiguous block: an instance holds a
// handful of values and is searched every time the engine sets one, so a flat table beats a tree
// of scattered nodes, and a draw's writes walk one block. The first few live inside the table (in
// the instance), the names are the parameters', which every instance of the shader shares.
// Inserting moves the variables: pointers to them last until then.
class RvVariableTable {
public:
    static constexpr size_t kInlineCount = 4;

    RvVariableTable() = default;
    ~RvVariableTable() {
        if (data_ != inline_) delete[] data_;
    }
    RvVariableTable(const RvVariableTable&) = delete;
    RvVariableTable& operator=(const RvVariableTable&) = delete;

    RvShaderVariable* begin() { return data_; }
    RvShaderVariable* end() { return data_ + size_; }
    const RvShaderVariable* begin() const { return data_; }
    const RvShaderVariable* end() const { return data_ + size_; }
    size_t size() const { return size_; }
    // Asks for the first variables ahead of the search (no load of the table itself).
    void prefetch() const {
        __builtin_prefetch(inline_);
        __builtin_prefetch(reinterpret_cast<const char*>(inline_) + 128);
    }
    RvShaderVariable* at(const char* name) {
        // Lengths first: most names differ in length, and the bytes compare without a strlen each.
        size_t length = strlen(name);
        for (RvShaderVariable& v : *this) {
            const std::string& own = v.parameter->name;
            if (own.size() == length && memcmp(own.data(), name, length) == 0) return &v;
        }
        return nullptr;
    }
    // `variable` has its parameter.
    RvShaderVariable* emplace(const RvShaderVariable& variable) {
        size_t index = 0;
        while (index < size_ && data_[index].parameter->name < variable.parameter->name)
            index++;
        if (size_ == capacity_) {
            auto* bigger = new RvShaderVariable[capacity_ * 2];
            std::copy(data_, data_ + size_, bigger);
            if (data_ != inline_) delete[] data_;
            data_ = bigger;
            capacity_ *= 2;
        }
        std::copy_backward(data_ + index, data_ + size_, data_ + size_ + 1);
        data_[index] = variable;
        size_++;
        return data_ + index;
    }

private:
    // Before the variables: read together with the instance's lock.
    RvShaderVariable* data_ = inline_;
    size_t size_ = 0;
    size_t capacity_ = kInlineCount;
    RvShaderVariable inline_[kInlineCount];
};

class RvShaderInstance : public KuObject {
public:
    ~RvShaderInstance() override;
    const char* typeStr() const override { return "RvShaderInstance"; }

    std::atomic_flag spin = ATOMIC_FLAG_INIT;
    int dirty = 0;               // bit 0: update flags stale, bit 1: write flags stale
    RvShader* shader = nullptr;  // retained
    RvVariableTable variables;   // owned variables
};

// Owned instance holding the shader's default values.
RvShaderInstance* RvNewShaderInstance(RvShader* shader);
// A texture, a number (doubles become floats, other integers int32) or a symbolic-constant string;
// null and other objects are ignored, so the previous value stays.
void RvShaderInstanceSetValue(RvShaderInstance* instance, const char* name, KuObject* value);
// Sets a number from bytes; with the same encoding as before the existing number is rewritten in
// place (no allocation).
void RvShaderInstanceSetNumber(RvShaderInstance* instance, const char* name, RvShaderWriteMethod method,
                               const void* bytes, uint32_t encoding);
void RvShaderInstanceSetValues(RvShaderInstance* instance, const RvDictionary* values);
// Not retained. A number set through RvShaderInstanceSetNumber is boxed on the first request, and
// later in-place sets reach that box.
KuObject* RvShaderInstanceGetValue(RvShaderInstance* instance, const char* name);
RvDictionary* RvShaderInstanceGetValues(RvShaderInstance* instance);  // owned
RvShaderInstance* RvShaderInstanceCopy(RvShaderInstance* instance);   // owned
RvShader* RvShaderInstanceGetShader(const RvShaderInstance* instance);
// Per-frame update of texture values; after the first complete pass walks a prebuilt list.
void RvShaderInstanceUpdate(RvShaderInstance* instance, RvRenderer* renderer);
// Writes every constant and texture to its parameter; after the first complete pass walks a prebuilt list.
void RvShaderInstanceWriteParameters(RvShaderInstance* instance, RvRenderer* renderer);
