// The renderer layer's OpenGL 3.2 core back end: the device (its own context for resource work),
// the renderer (its own context sharing objects with the device's, the vertex-array cache and
// every command's execution) and the GPU-backed resource classes. Contexts come from SDL.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "RvBuffers.h"
#include "RvMesh.h"
#include "RvRenderTarget.h"
#include "RvRenderer.h"
#include "RvShader.h"
#include "RvTexture.h"

struct SDL_Window;

// >>device

class RvOpenGLGraphicsDevice : public RvGraphicsDevice {
public:
    RvOpenGLGraphicsDevice();
    ~RvOpenGLGraphicsDevice() override;
    const char* typeStr() const override { return "RvOpenGLGraphicsDevice"; }

    RvRenderer* newRenderer(int options, void* threadPool) override;
    RvRenderTarget* newRenderTarget() override;
    RvMesh* newMesh(int primitiveType, RvVertexBuffer* vertices, RvIndexBuffer* indices,
                    RvShader* shader) override;
    RvShader* newShader() override;
    RvTexture* newTexture(int accessMode) override;
    RvIndexBuffer* newIndexBuffer(int accessMode) override;
    RvVertexBuffer* newVertexBuffer(int accessMode) override;

    std::recursive_mutex contextMutex;
    int lockDepth = 0;
    SDL_Window* previousWindow = nullptr;
    void* previousContext = nullptr;
    SDL_Window* window = nullptr;  // hidden; carries the device's context
    void* context = nullptr;
    int glVersion = 0x3200;
    bool ownsVideoSubsystem = false;

    // GPU objects of finalised resources wait here for a renderer's next execution, so they are
    // deleted in the context that drew with them (framebuffers are not even shared), never from
    // this context while a renderer may still use them.
    struct PendingDeletion {
        uint32_t rendererSerial;  // 0: any renderer of the share group
        int kind;
        uint32_t name;
    };
    std::mutex pendingMutex;
    std::vector<PendingDeletion> pendingDeletions;
    int liveRenderers = 0;  // guarded by pendingMutex
};

// Owned device, or null when OpenGL 3.2 core is not available (no video, no context).
RvGraphicsDevice* RvNewOpenGLGraphicsDevice();
// Recursive; the outermost lock makes the context current (remembering the previous one), the
// outermost unlock restores it.
void RvOpenGLGraphicsDeviceLock(RvGraphicsDevice* device);
void RvOpenGLGraphicsDeviceUnlock(RvGraphicsDevice* device);
// "OpenGL Version: …", "  GLSL Version: …" and, when asked, the extension list.
std::string RvGetOpenGLInformation(RvGraphicsDevice* device, bool withExtensions);

// The buffer sizes a window surface asks for.
struct RvOpenGLPixelFormat {
    int colorBits = 0, depthBits = 0, stencilBits = 0;
    int samples = 0;  // multisampling for antialiasing levels 1-3
};

// False with "CGLError %d %s" in *error when the device is not an OpenGL device.
bool RvOpenGLRendererCreatePixelFormat(RvGraphicsDevice* device, int colorFormat, int depthFormat,
                                       int stencilFormat, int antialiasing, RvOpenGLPixelFormat* out,
                                       std::string* error);
// Sets the SDL attributes a window must be created with to carry the format.
void RvOpenGLPixelFormatApply(const RvOpenGLPixelFormat& format);
// Gives the renderer a context on `window` (made after RvOpenGLPixelFormatApply) sharing the
// device's objects; the previous context is released. The window's target then draws into the
// window's drawable. Null with "CGLError %d %s" in *error on failure.
void* RvOpenGLRendererCreateOpenGLContext(RvRenderer* renderer, const RvOpenGLPixelFormat& format,
                                          SDL_Window* window, std::string* error);

// >>renderer

// A vertex-array object made for one (shader build, vertex-buffer build) in one renderer's context.
// Reference counted atomically: meshes hold it on the executing thread, the cache collects it.
struct RvOpenGLVertexArray {
    std::atomic<int> references{1};
    uint32_t rendererSerial = 0;
    uint32_t shaderBuild = 0, bufferBuild = 0;
    uint32_t name = 0;          // 0 once deleted by its cache
    uint32_t elementBuild = 0;  // build number of the element buffer bound in it (0: none)
    // Attributes the program reads that the buffer lacks: their constant value is context state,
    // so it is set again whenever the array is bound.
    std::vector<std::pair<uint32_t, bool>> constantAttributes;  // (location, reads as white)
};

void RvOpenGLVertexArrayRetain(RvOpenGLVertexArray* array);
void RvOpenGLVertexArrayRelease(RvOpenGLVertexArray* array);

class RvOpenGLRenderer : public RvRenderer {
public:
    RvOpenGLRenderer(RvOpenGLGraphicsDevice* device, int options);
    ~RvOpenGLRenderer() override;
    const char* typeStr() const override { return "RvOpenGLRenderer"; }
    bool valid() const { return context != nullptr; }
    void invalidateCaches() override;

    std::recursive_mutex contextMutex;
    int lockDepth = 0;
    SDL_Window* previousWindow = nullptr;
    void* previousContext = nullptr;
    SDL_Window* window = nullptr;  // where the context draws: its own hidden window or the app's
    bool ownsWindow = false;
    void* context = nullptr;
    uint32_t serial;
    // Owner tag of the vertex arrays noted in meshes: new whenever the cached arrays are deleted.
    uint32_t arrayTag;
    std::unordered_map<uint64_t, RvOpenGLVertexArray*> vertexArrays;  // the cache; one reference each
    uint32_t collectedReleases = 0;   // vertex-array releases seen by the last collection
    int defaultFramebuffer = 0;       // bound when execution began
    uint32_t currentProgram = 0;      // during execution
    bool framebufferComplete = true;  // clears and draws into an incomplete framebuffer are skipped
    // During execution: the buffer being run, and whether the meshes it has yet to bind were built.
    RvCommandBuffer* executing = nullptr;
    bool builtAhead = false;

protected:
    void recordBindRenderTarget(RvRenderTarget* target) override;
    void recordPresent(RvRenderTarget* target) override;
    void recordClear(int clearFlags, const KuColor& color, float depth, int stencil) override;
    void recordViewport(const RvRect& rect) override;
    void recordScissorRect(const RvRect& rect) override;
    void recordEnable(RvCapability capability, int value) override;
    void recordCullMode(int mode) override;
    void recordColorMode(int mode) override;
    void recordDepthMask(bool write) override;
    void recordDepthCompare(int compare) override;
    void recordStencil(int front, int back) override;
    void recordBlendMode(int mode) override;
    void recordReadPixels(RvTexture* texture) override;
    void executeBuffer(RvCommandBuffer* buffer) override;
    void readPixelsNow(RvTexture* texture) override;
};

void RvOpenGLRendererLock(RvRenderer* renderer);
void RvOpenGLRendererUnlock(RvRenderer* renderer);
// Runs a completed buffer: context locked, default framebuffer noted, unused vertex arrays
// collected, records run, bindings reset.
void RvOpenGLRendererExecuteRenderBuffer(RvRenderer* renderer, RvCommandBuffer* buffer);
// Name of a recorded command's kind ("Clear", "BindMesh", …), or null for a foreign function.
const char* RvOpenGLCommandName(RvCommandFunction function);

// >>resources

class RvOpenGLRenderTarget : public RvRenderTarget {
public:
    explicit RvOpenGLRenderTarget(RvGraphicsDevice* device);
    ~RvOpenGLRenderTarget() override;
    uint32_t framebuffer = 0;
    uint32_t framebufferOwner = 0;          // serial of the renderer whose context made it
    uint32_t renderbuffers[3] = {0, 0, 0};  // colour, depth, stencil
    bool complete = false;                  // framebuffer status at the last build
};

class RvOpenGLShaderParameter;
using RvOpenGLUniformWriter = void (*)(const RvOpenGLShaderParameter* parameter, const void* bytes,
                                       int count);

class RvOpenGLShaderParameter : public RvShaderParameter {
public:
    explicit RvOpenGLShaderParameter(const char* name) : RvShaderParameter(name) {}
    void invalidate() override;
    void writeConstant(RvRenderer* renderer, const void* bytes, uint32_t encoding, int count) override;
    void bindTexture(RvRenderer* renderer, RvTexture* texture) override;

    uint32_t glType = 0;
    int arraySize = 1;
    std::atomic<int> location{-1};
    std::atomic<int> textureUnit{0};
    RvOpenGLUniformWriter writer = nullptr;
};

class RvOpenGLShader : public RvShader {
public:
    explicit RvOpenGLShader(RvGraphicsDevice* device) : RvShader(device) {}
    ~RvOpenGLShader() override;
    RvShaderParameter* newParameter(const char* name) override { return new RvOpenGLShaderParameter(name); }
    uint32_t program = 0;
};

class RvOpenGLTexture : public RvTexture {
public:
    RvOpenGLTexture(RvGraphicsDevice* device, int accessMode) : RvTexture(device, accessMode) {}
    ~RvOpenGLTexture() override;
    uint32_t name = 0;
};

class RvOpenGLVertexBuffer : public RvVertexBuffer {
public:
    RvOpenGLVertexBuffer(RvGraphicsDevice* device, int accessMode) : RvVertexBuffer(device, accessMode) {}
    ~RvOpenGLVertexBuffer() override;
    uint32_t name = 0;
    uint32_t buildNumber = 0;
    uint32_t uploads = 0;  // region uploads made, for checking that shared data goes up once
};

class RvOpenGLIndexBuffer : public RvIndexBuffer {
public:
    RvOpenGLIndexBuffer(RvGraphicsDevice* device, int accessMode) : RvIndexBuffer(device, accessMode) {}
    ~RvOpenGLIndexBuffer() override;
    uint32_t name = 0;
    uint32_t buildNumber = 0;
};

class RvOpenGLMesh : public RvMesh {
public:
    explicit RvOpenGLMesh(RvGraphicsDevice* device) : RvMesh(device) {}
    ~RvOpenGLMesh() override;
    RvMesh* newEmptyMesh() override { return new RvOpenGLMesh(device); }
    RvMeshInstance* newInstance() override;
    RvOpenGLVertexArray* vertexArray = nullptr;  // the one it last used; one reference
};

class RvOpenGLMeshInstance : public RvMeshInstance {
public:
    // Nothing for an empty mesh; else bind the mesh, write the shader values, draw the submeshes
    // whose bit is set in the mask.
    void draw(RvRenderer* renderer) override;
};

// >>recording functions (each appends to the renderer's recording buffer)
void RvOpenGLRenderTargetBind(RvRenderTarget* target, RvRenderer* renderer);
void RvOpenGLRenderTargetPresent(RvRenderTarget* target, RvRenderer* renderer);
void RvOpenGLShaderBind(RvShader* shader, RvRenderer* renderer);
bool RvOpenGLMeshBind(RvMesh* mesh, RvRenderer* renderer);  // false (and an error) for a prototype
void RvOpenGLMeshDraw(RvMesh* mesh, RvRenderer* renderer, uint32_t submeshMask);
void RvOpenGLVertexBufferDraw(RvVertexBuffer* buffer, RvRenderer* renderer, int primitiveType, int first,
                              int count);
void RvOpenGLIndexBufferDraw(RvIndexBuffer* buffer, RvRenderer* renderer, int primitiveType, int first,
                             int count);
void RvOpenGLTextureBind(RvShaderParameter* parameter, RvRenderer* renderer, RvTexture* texture);
void RvOpenGLShaderParameterWriteConstant(RvShaderParameter* parameter, RvRenderer* renderer,
                                          const void* bytes, uint32_t encoding, int count);
void RvOpenGLTextureReadPixels(RvTexture* texture, RvRenderer* renderer);

// >>build functions (run during execution, renderer context current)
uint32_t RvOpenGLShaderCompile(RvShader* shader);              // the shader's build number
uint32_t RvOpenGLVertexBufferCompile(RvVertexBuffer* buffer);  // the buffer's build number
void RvOpenGLIndexBufferCompile(RvIndexBuffer* buffer);
void RvOpenGLTextureCompileForRenderTargetStorage(RvTexture* texture, uint32_t internalFormat,
                                                  uint32_t format, uint32_t type, uint32_t attachment);
