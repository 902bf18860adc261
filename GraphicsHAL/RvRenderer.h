// The renderer: the frame protocol (record into one command buffer while the previous frame's buffer
// waits for or runs its execution), the state cache that records a state change only when it
// differs, the camera and pass blocks shaders read, and the render-ID sequence.
//
// Calling order: beginFrame → (beginPass → state calls and draws → endPass)* → endFrame on the
// recording thread; renderFrame from the presentation side at any time; waitForLastFrame and
// readPixels between frames.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "RvCommandBuffer.h"
#include "RvRenderTarget.h"

class RvMesh;
class RvShader;

// Options of a renderer.
enum : int {
    kRvRendererDeferred = 1,  // endFrame queues, renderFrame executes
    kRvRendererRunTasksOnCaller = 1 << 10,
    kRvRendererTimeoutShift = 20,  // bits 20-30: wait limit in ms for the previous frame (0: none)
    kRvRendererTimeoutMask = 0x7FF,
    kRvOpenGLRendererOptions = 0xC800001,  // deferred, 200 ms
};

enum : int { kRvClearColor = 1, kRvClearDepth = 2, kRvClearStencil = 4 };

enum : int {
    kRvBlendDefault = 0,
    kRvBlendOpaque = 1,
    kRvBlendAlpha = 2,
    kRvBlendAdd = 3,
    kRvBlendMultiply = 4,
    kRvBlendSubtract = 5,
    kRvBlendPremultipliedAlpha = 0x10006,
    kRvBlendPremultipliedAdd = 0x10007,
    kRvBlendPremultipliedSubtract = 0x10008,
};

enum : int { kRvColorEnabled = 1, kRvColorOnly = 2, kRvAlphaOnly = 3, kRvColorDisabled = 4 };
enum : int { kRvCullNone = 1, kRvCullBack = 2, kRvCullFront = 3 };
enum : int { kRvDepthClip = 1, kRvDepthClamp = 2 };
enum : int { kRvDepthTestOff = 1, kRvDepthTestNoWrite = 2, kRvDepthTestWrite = 3 };
enum : int {
    kRvCompareNever = 1,
    kRvCompareAlways = 2,
    kRvCompareLess = 3,
    kRvCompareLessEqual = 4,
    kRvCompareGreater = 5,
    kRvCompareGreaterEqual = 6,
    kRvCompareEqual = 7,
    kRvCompareNotEqual = 8,
};
enum : int {
    kRvStencilOff = 1,
    kRvStencilWriteOne = 2,
    kRvStencilWriteZero = 3,
    kRvStencilPassNotZero = 4,
    kRvStencilPassZero = 5,
};

// Frame states of the execution buffer.
enum : int { kRvFrameIdle = 0, kRvFrameReady = 1, kRvFrameExecuting = 2 };

// Capabilities switched by Enable records; values 1 enable, anything else disables.
enum RvCapability : int {
    kRvCapabilityScissorTest = 0,
    kRvCapabilityCullFace,
    kRvCapabilityDepthTest,
    kRvCapabilityDepthClamp,
    kRvCapabilityBlend,
};

struct RvRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Counters of the frame protocol; the layer keeps no per-draw statistics.
struct RvRendererStatistics {
    uint32_t framesRecorded = 0;
    uint32_t framesExecuted = 0;
    uint32_t framesDropped = 0;  // completed frames replaced before they were executed
};

constexpr int kRvMaxTextureUnits = 16;

// What the renderer believes the GPU state to be; 0 (or null) is unknown. Cleared by beginFrame.
struct RvStateCache {
    RvRenderTarget* renderTarget = nullptr;
    RvMesh* mesh = nullptr;
    RvShader* shader = nullptr;
    bool shaderKnown = false;  // a null shader is a real binding (program 0)
    RvTexture* textures[kRvMaxTextureUnits] = {};
    int colorMode = 0;
    int depthClip = 0;
    int depthTestEnable = 0;
    int depthWrite = 0;  // 1 writes, 2 does not
    int depthCompare = 0;
    int stencilFront = 0, stencilBack = 0;
    int scissorEnable = 0;
    int cullMode = 0;
    int blendMode = -1;  // -1: unknown (0 is a real mode: blending off)
};

class RvRenderer : public KuObject {
public:
    RvRenderer(RvGraphicsDevice* device, int options);  // retains the device
    ~RvRenderer() override;
    const char* typeStr() const override { return "RvRenderer"; }

    // >>frame protocol
    bool beginFrame(RvRenderTarget* target);
    void endFrame();
    bool beginPass(RvRenderTarget* target, int clearFlags, const KuColor& color, int stencil, float depth);
    void endPass();
    bool renderFrame();
    void waitForLastFrame();
    virtual void invalidateCaches() {}
    // Inside a frame: records the read-back; between frames: reads back at once.
    void readPixels(RvTexture* texture);

    // >>state calls
    void setViewport(const RvRect& rect);
    void setScissor(bool enable, const RvRect& rect);
    void setCullMode(int mode);
    void setDepthClip(int mode);
    void setDepthTest(int mode, int compare);
    void setStencilTest(int front, int back);
    void setBlendMode(int mode);
    void setColorMode(int mode);
    void bindRenderTarget(RvRenderTarget* target);
    void present(RvRenderTarget* target);

    bool isRecording() const { return inFrame.load() != 0; }
    int frameState();
    void copyStatistics(RvRendererStatistics* out);

    RvGraphicsDevice* device;
    int options;
    RvStateCache cache;
    RvCommandBuffer* recording;  // owned; swapped with `execution` at endFrame
    RvCommandBuffer* execution;

    // Camera block (column-major matrices).
    RvMatrix4 projection, view, inverseView, viewProjection;
    RvVector4 frustum[6];
    RvVector3 viewPosition, viewDirection;
    // Pass block.
    RvVector2 screenPitch{1, 1}, pixelPitch{1, 1}, pointPitch{1, 1};
    int renderID = 0;

protected:
    // Back-end hooks: each appends its record to `recording`.
    virtual void recordBindRenderTarget(RvRenderTarget* target) = 0;
    virtual void recordPresent(RvRenderTarget* target) = 0;
    virtual void recordClear(int clearFlags, const KuColor& color, float depth, int stencil) = 0;
    virtual void recordViewport(const RvRect& rect) = 0;
    virtual void recordScissorRect(const RvRect& rect) = 0;
    virtual void recordEnable(RvCapability capability, int value) = 0;
    virtual void recordCullMode(int mode) = 0;  // face and winding of an enabled cull mode
    virtual void recordColorMode(int mode) = 0;
    virtual void recordDepthMask(bool write) = 0;
    virtual void recordDepthCompare(int compare) = 0;
    virtual void recordStencil(int front, int back) = 0;
    virtual void recordBlendMode(int mode) = 0;  // function and equation of an enabled blend mode
    virtual void recordReadPixels(RvTexture* texture) = 0;
    // Runs a completed buffer with the back end's context; leaves its length 0.
    virtual void executeBuffer(RvCommandBuffer* buffer) = 0;
    // Reads a texture back outside a frame.
    virtual void readPixelsNow(RvTexture* texture) = 0;

private:
    // Waits (frame mutex held through `lock`) until the execution buffer is idle; a ready frame
    // that outlives the time-out is dropped.
    void waitForIdleFrame(std::unique_lock<std::mutex>& lock);

    std::atomic<int> inFrame{0};
    std::mutex recordingMutex;
    std::mutex frameMutex;
    std::condition_variable frameCondition;
    int frameState_ = kRvFrameIdle;   // guarded by frameMutex
    RvRendererStatistics statistics;  // guarded by frameMutex
    RvRenderTarget* frameTarget = nullptr;
};

// >>free functions (null renderers tolerated: false, nothing recorded, identity or zero results)

bool RvRendererBeginFrame(RvRenderer* renderer, RvRenderTarget* target);
void RvRendererEndFrame(RvRenderer* renderer);
bool RvRendererBeginPass(RvRenderer* renderer, RvRenderTarget* target, int clearFlags, const KuColor& color,
                         int stencil, float depth);
void RvRendererEndPass(RvRenderer* renderer);
bool RvRendererRenderFrame(RvRenderer* renderer);
void RvRendererWaitForLastFrame(RvRenderer* renderer);
void RvRendererInvalidateCaches(RvRenderer* renderer);
void RvRendererReadPixels(RvRenderer* renderer, RvTexture* texture);
void RvRendererSetViewport(RvRenderer* renderer, const RvRect& rect);
void RvRendererSetScissor(RvRenderer* renderer, bool enable, const RvRect& rect);
void RvRendererSetCullMode(RvRenderer* renderer, int mode);
void RvRendererSetDepthClip(RvRenderer* renderer, int mode);
void RvRendererSetDepthTest(RvRenderer* renderer, int mode, int compare);
void RvRendererSetStencilTest(RvRenderer* renderer, int front, int back);
void RvRendererSetBlendMode(RvRenderer* renderer, int mode);
void RvRendererSetColorMode(RvRenderer* renderer, int mode);
// With a camera: its projection and view; with null: identity for both. Derives the rest of the
// camera block.
void RvRendererSetCamera(RvRenderer* renderer, const RvRenderCamera* camera);
RvGraphicsDevice* RvRendererGetDevice(const RvRenderer* renderer);
int RvRendererGetOptions(const RvRenderer* renderer);
RvMatrix4 RvRendererGetProjectionMatrix(const RvRenderer* renderer);
RvMatrix4 RvRendererGetViewMatrix(const RvRenderer* renderer);
RvMatrix4 RvRendererGetInverseViewMatrix(const RvRenderer* renderer);
RvMatrix4 RvRendererGetViewProjectionMatrix(const RvRenderer* renderer);
void RvRendererGetFrustum(const RvRenderer* renderer, RvVector4 planes[6]);
RvVector3 RvRendererGetViewPosition(const RvRenderer* renderer);
RvVector3 RvRendererGetViewDirection(const RvRenderer* renderer);
RvVector2 RvRendererGetScreenPitch(const RvRenderer* renderer);
RvVector2 RvRendererGetScreenPixelPitch(const RvRenderer* renderer);
RvVector2 RvRendererGetScreenPointPitch(const RvRenderer* renderer);
// Next value of the sequence 11, 22, … (adds 11 modulo 256, 11 in place of 0).
int RvRendererGetNextRenderID(RvRenderer* renderer);
void RvRendererGetStatistics(RvRenderer* renderer, RvRendererStatistics* out);
const RvCommandBuffer* RvRendererGetRecordingBuffer(const RvRenderer* renderer);
int RvRendererGetFrameState(RvRenderer* renderer);
// A frame on `target` that only clears it to `color` (stencil 0, depth 1.0).
void RvVideoBlank(RvRenderer* renderer, RvRenderTarget* target, const KuColor& color);
