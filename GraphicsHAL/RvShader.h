// Shaders (sources, default values, named parameters configured by the back end when it compiles),
// shader variables and the per-drawable shader instances that hold and write parameter values.
#pragma once

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

class RvShaderVariable;
using RvShaderWriteMethod = void (*)(RvShaderVariable* variable, RvRenderer* renderer);

// Write methods: hand a value to its parameter's operations.
void RvShaderWriteTexture(RvShaderVariable* variable, RvRenderer* renderer);
void RvShaderWriteNumber(RvShaderVariable* variable, RvRenderer* renderer);
// The method of a symbolic constant ("$ProjectionMatrix", …, "$AlphaID"), or null.
RvShaderWriteMethod RvShaderWriteMethodForSymbol(const char* symbol);

class RvShaderVariable : public KuObject {
public:
    ~RvShaderVariable() override;
    const char* typeStr() const override { return "RvShaderVariable"; }

    RvShaderParameter* parameter = nullptr;  // retained
    KuObject* value = nullptr;               // retained: a texture, a number, or null for symbols
    RvShaderWriteMethod method = nullptr;
    uint32_t encoding = 0;  // of a number set through RvShaderInstanceSetNumber; 0 otherwise
    RvShaderVariable* nextUpdate = nullptr;
    RvShaderVariable* nextWrite = nullptr;
};

// Name → variable, kept sorted in one contiguous block: an instance holds a handful of values and
// is searched every time the engine sets one, so a flat table beats a tree of scattered nodes.
class RvVariableTable {
public:
    struct Entry {
        std::string first;
        RvShaderVariable* second;
    };
    using iterator = std::vector<Entry>::iterator;
    using const_iterator = std::vector<Entry>::const_iterator;

    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    size_t size() const { return entries_.size(); }
    iterator find(const char* name) {
        // Lengths first: most names differ in length, and the bytes compare without a strlen each.
        size_t length = strlen(name);
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->first.size() == length && memcmp(it->first.data(), name, length) == 0) return it;
        return entries_.end();
    }
    RvShaderVariable* at(const char* name) {
        auto it = find(name);
        return it == entries_.end() ? nullptr : it->second;
    }
    void emplace(const std::string& name, RvShaderVariable* variable) {
        auto it = entries_.begin();
        while (it != entries_.end() && it->first < name)
            ++it;
        entries_.insert(it, Entry{name, variable});
    }

private:
    std::vector<Entry> entries_;
};

class RvShaderInstance : public KuObject {
public:
    ~RvShaderInstance() override;
    const char* typeStr() const override { return "RvShaderInstance"; }

    std::atomic_flag spin = ATOMIC_FLAG_INIT;
    int dirty = 0;               // bit 0: update list stale, bit 1: write list stale
    RvShader* shader = nullptr;  // retained
    RvVariableTable variables;   // owned variables
    RvShaderVariable* updateList = nullptr;
    RvShaderVariable* writeList = nullptr;
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
KuObject* RvShaderInstanceGetValue(RvShaderInstance* instance, const char* name);  // not retained
RvDictionary* RvShaderInstanceGetValues(RvShaderInstance* instance);               // owned
RvShaderInstance* RvShaderInstanceCopy(RvShaderInstance* instance);                // owned
RvShader* RvShaderInstanceGetShader(const RvShaderInstance* instance);
// Per-frame update of texture values; after the first complete pass walks a prebuilt list.
void RvShaderInstanceUpdate(RvShaderInstance* instance, RvRenderer* renderer);
// Writes every constant and texture to its parameter; after the first complete pass walks a prebuilt list.
void RvShaderInstanceWriteParameters(RvShaderInstance* instance, RvRenderer* renderer);
