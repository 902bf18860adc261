// Sections: >>lifecycle >>frame protocol >>state calls >>camera >>free functions
#include "RvRenderer.h"

#include <chrono>
#include <cmath>
#include <utility>

#include "RvTexture.h"

// >>lifecycle

RvRenderer::RvRenderer(RvGraphicsDevice* d, int o)
    : device(d), options(o), recording(new RvCommandBuffer), execution(new RvCommandBuffer) {
    KuRetain(device);
    RvRendererSetCamera(this, nullptr);
}

RvRenderer::~RvRenderer() {
    // A renderer dropped in the middle of recording still owns the recording mutex.
    if (inFrame.load()) recordingMutex.unlock();
    KuRelease(frameTarget);
    delete recording;
    delete execution;
    KuRelease(device);
}

// >>frame protocol

bool RvRenderer::beginFrame(RvRenderTarget* target) {
    int expected = 0;
    if (!inFrame.compare_exchange_strong(expected, 1)) return false;
    recordingMutex.lock();
    recording->reset();
    cache = RvStateCache{};
    RvRendererSetCamera(this, nullptr);
    KuSetRetained(frameTarget, target);
    return true;
}

void RvRenderer::waitForIdleFrame(std::unique_lock<std::mutex>& lock) {
    int timeoutMs = (options >> kRvRendererTimeoutShift) & kRvRendererTimeoutMask;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (frameState_ != kRvFrameIdle) {
        if (timeoutMs == 0) {
            frameCondition.wait(lock);
            continue;
        }
        if (frameCondition.wait_until(lock, deadline) != std::cv_status::timeout) continue;
        if (frameState_ == kRvFrameReady) {
            // Nobody presented the previous frame in time: drop it, the new frame replaces it.
            frameState_ = kRvFrameIdle;
            statistics.framesDropped++;
            return;
        }
        // A frame already being executed is never dropped: its buffer is in use.
        timeoutMs = 0;
    }
}

void RvRenderer::endFrame() {
    if (!inFrame.load()) return;
    present(frameTarget);
    KuRelease(frameTarget);
    frameTarget = nullptr;
    std::unique_lock<std::mutex> lock(frameMutex);
    waitForIdleFrame(lock);
    std::swap(recording, execution);
    statistics.framesRecorded++;
    inFrame = 0;
    recordingMutex.unlock();
    if (options & kRvRendererDeferred) {
        frameState_ = kRvFrameReady;
    } else {
        executeBuffer(execution);
        statistics.framesExecuted++;
    }
}

bool RvRenderer::beginPass(RvRenderTarget* target, int clearFlags, const KuColor& color, int stencil,
                           float depth) {
    if (!inFrame.load()) return false;
    bindRenderTarget(target);
    RvRect whole{0, 0, target ? target->width : 0, target ? target->height : 0};
    setViewport(whole);
    setScissor(false, whole);
    clearFlags &= kRvClearColor | kRvClearDepth | kRvClearStencil;
    if (clearFlags) {
        // Clears obey the write masks: open the ones this clear needs.
        if (clearFlags & kRvClearDepth) setDepthTest(kRvDepthTestWrite, kRvCompareAlways);
        if (clearFlags & kRvClearColor) setColorMode(kRvColorEnabled);
        recordClear(clearFlags, color, depth, stencil);
    }
    screenPitch = RvRenderTargetGetScreenPitch(target);
    pixelPitch = RvRenderTargetGetPixelPitch(target);
    pointPitch = RvRenderTargetGetPointPitch(target);
    return true;
}

void RvRenderer::endPass() {}

bool RvRenderer::renderFrame() {
    std::unique_lock<std::mutex> lock(frameMutex);
    bool ran = false;
    if ((options & kRvRendererDeferred) && frameState_ == kRvFrameReady) {
        frameState_ = kRvFrameExecuting;
        executeBuffer(execution);
        frameState_ = kRvFrameIdle;
        statistics.framesExecuted++;
        ran = true;
    }
    frameCondition.notify_all();
    return ran;
}

void RvRenderer::waitForLastFrame() {
    std::unique_lock<std::mutex> lock(frameMutex);
    waitForIdleFrame(lock);
}

int RvRenderer::frameState() {
    std::lock_guard<std::mutex> lock(frameMutex);
    return frameState_;
}

void RvRenderer::copyStatistics(RvRendererStatistics* out) {
    std::lock_guard<std::mutex> lock(frameMutex);
    *out = statistics;
}

void RvRenderer::readPixels(RvTexture* texture) {
    if (!texture) return;
    if (inFrame.load()) {
        recording->retain(texture);
        recordReadPixels(texture);
    } else {
        readPixelsNow(texture);
    }
}

// >>state calls

void RvRenderer::setViewport(const RvRect& rect) {
    if (inFrame.load()) recordViewport(rect);
}

void RvRenderer::setScissor(bool enable, const RvRect& rect) {
    if (!inFrame.load()) return;
    recordScissorRect(rect);
    int value = enable ? 1 : 2;
    if (cache.scissorEnable == value) return;
    cache.scissorEnable = value;
    recordEnable(kRvCapabilityScissorTest, value);
}

void RvRenderer::setCullMode(int mode) {
    if (!inFrame.load() || cache.cullMode == mode) return;
    cache.cullMode = mode;
    bool on = mode == kRvCullBack || mode == kRvCullFront;
    recordEnable(kRvCapabilityCullFace, on ? 1 : 2);
    if (on) recordCullMode(mode);
}

void RvRenderer::setDepthClip(int mode) {
    if (!inFrame.load() || cache.depthClip == mode) return;
    cache.depthClip = mode;
    recordEnable(kRvCapabilityDepthClamp, mode == kRvDepthClamp ? 1 : 2);
}

void RvRenderer::setDepthTest(int mode, int compare) {
    if (!inFrame.load()) return;
    int enable = mode >= kRvDepthTestNoWrite ? 1 : 2;
    if (cache.depthTestEnable != enable) {
        cache.depthTestEnable = enable;
        recordEnable(kRvCapabilityDepthTest, enable);
    }
    if (enable == 1) {
        int write = mode == kRvDepthTestWrite ? 1 : 2;
        if (cache.depthWrite != write) {
            cache.depthWrite = write;
            recordDepthMask(write == 1);
        }
    }
    if (cache.depthCompare != compare) {
        cache.depthCompare = compare;
        recordDepthCompare(compare);
    }
}

void RvRenderer::setStencilTest(int front, int back) {
    if (!inFrame.load() || (cache.stencilFront == front && cache.stencilBack == back)) return;
    cache.stencilFront = front;
    cache.stencilBack = back;
    recordStencil(front, back);
}

void RvRenderer::setBlendMode(int mode) {
    if (!inFrame.load() || cache.blendMode == mode) return;
    cache.blendMode = mode;
    recordBlendMode(mode);
}

void RvRenderer::setColorMode(int mode) {
    if (!inFrame.load() || cache.colorMode == mode) return;
    cache.colorMode = mode;
    recordColorMode(mode);
}

void RvRenderer::bindRenderTarget(RvRenderTarget* target) {
    if (!inFrame.load()) return;
    if (cache.renderTarget == target && target) return;
    cache.renderTarget = target;
    // Building a target's texture storage goes through unit 0.
    cache.textures[0] = nullptr;
    recording->retain(target);
    recordBindRenderTarget(target);
}

void RvRenderer::present(RvRenderTarget* target) {
    if (!inFrame.load()) return;
    recording->retain(target);
    recordPresent(target);
}

// >>camera

void RvRendererSetCamera(RvRenderer* r, const RvRenderCamera* camera) {
    if (!r) return;
    r->projection = camera ? camera->projectionMatrix() : RvMatrix4Identity();
    r->view = camera ? camera->viewMatrix() : RvMatrix4Identity();
    RvMatrix4Invert(r->view, &r->inverseView);
    r->viewProjection = RvMatrix4Multiply(r->projection, r->view);
    RvMatrix4FrustumPlanes(r->viewProjection, r->frustum);
    const float* iv = r->inverseView.m;
    r->viewPosition = {iv[12], iv[13], iv[14]};
    RvVector3 d{-iv[8], -iv[9], -iv[10]};
    float len = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    r->viewDirection = len > 0 ? RvVector3{d.x / len, d.y / len, d.z / len} : d;
}

// >>free functions

bool RvRendererBeginFrame(RvRenderer* r, RvRenderTarget* target) {
    return r && r->beginFrame(target);
}
void RvRendererEndFrame(RvRenderer* r) {
    if (r) r->endFrame();
}
bool RvRendererBeginPass(RvRenderer* r, RvRenderTarget* target, int clearFlags, const KuColor& color,
                         int stencil, float depth) {
    return r && r->beginPass(target, clearFlags, color, stencil, depth);
}
void RvRendererEndPass(RvRenderer* r) {
    if (r) r->endPass();
}
bool RvRendererRenderFrame(RvRenderer* r) {
    return r && r->renderFrame();
}
void RvRendererWaitForLastFrame(RvRenderer* r) {
    if (r) r->waitForLastFrame();
}
void RvRendererInvalidateCaches(RvRenderer* r) {
    if (r) r->invalidateCaches();
}
void RvRendererReadPixels(RvRenderer* r, RvTexture* texture) {
    if (r) r->readPixels(texture);
}
void RvRendererSetViewport(RvRenderer* r, const RvRect& rect) {
    if (r) r->setViewport(rect);
}
void RvRendererSetScissor(RvRenderer* r, bool enable, const RvRect& rect) {
    if (r) r->setScissor(enable, rect);
}
void RvRendererSetCullMode(RvRenderer* r, int mode) {
    if (r) r->setCullMode(mode);
}
void RvRendererSetDepthClip(RvRenderer* r, int mode) {
    if (r) r->setDepthClip(mode);
}
void RvRendererSetDepthTest(RvRenderer* r, int mode, int compare) {
    if (r) r->setDepthTest(mode, compare);
}
void RvRendererSetStencilTest(RvRenderer* r, int front, int back) {
    if (r) r->setStencilTest(front, back);
}
void RvRendererSetBlendMode(RvRenderer* r, int mode) {
    if (r) r->setBlendMode(mode);
}
void RvRendererSetColorMode(RvRenderer* r, int mode) {
    if (r) r->setColorMode(mode);
}

RvGraphicsDevice* RvRendererGetDevice(const RvRenderer* r) {
    return r ? r->device : nullptr;
}
int RvRendererGetOptions(const RvRenderer* r) {
    return r ? r->options : 0;
}
RvMatrix4 RvRendererGetProjectionMatrix(const RvRenderer* r) {
    return r ? r->projection : RvMatrix4Identity();
}
RvMatrix4 RvRendererGetViewMatrix(const RvRenderer* r) {
    return r ? r->view : RvMatrix4Identity();
}
RvMatrix4 RvRendererGetInverseViewMatrix(const RvRenderer* r) {
    return r ? r->inverseView : RvMatrix4Identity();
}
RvMatrix4 RvRendererGetViewProjectionMatrix(const RvRenderer* r) {
    return r ? r->viewProjection : RvMatrix4Identity();
}
void RvRendererGetFrustum(const RvRenderer* r, RvVector4 planes[6]) {
    for (int i = 0; i < 6; i++)
        planes[i] = r ? r->frustum[i] : RvVector4{};
}
RvVector3 RvRendererGetViewPosition(const RvRenderer* r) {
    return r ? r->viewPosition : RvVector3{};
}
RvVector3 RvRendererGetViewDirection(const RvRenderer* r) {
    return r ? r->viewDirection : RvVector3{};
}
RvVector2 RvRendererGetScreenPitch(const RvRenderer* r) {
    return r ? r->screenPitch : RvVector2{1, 1};
}
RvVector2 RvRendererGetScreenPixelPitch(const RvRenderer* r) {
    return r ? r->pixelPitch : RvVector2{1, 1};
}
RvVector2 RvRendererGetScreenPointPitch(const RvRenderer* r) {
    return r ? r->pointPitch : RvVector2{1, 1};
}

int RvRendererGetNextRenderID(RvRenderer* r) {
    if (!r) return 11;
    r->renderID = (r->renderID + 11) % 256;
    if (r->renderID == 0) r->renderID = 11;
    return r->renderID;
}

void RvRendererGetStatistics(RvRenderer* r, RvRendererStatistics* out) {
    if (!out) return;
    *out = RvRendererStatistics{};
    if (r) r->copyStatistics(out);
}

const RvCommandBuffer* RvRendererGetRecordingBuffer(const RvRenderer* r) {
    return r ? r->recording : nullptr;
}
int RvRendererGetFrameState(RvRenderer* r) {
    return r ? r->frameState() : kRvFrameIdle;
}

void RvVideoBlank(RvRenderer* r, RvRenderTarget* target, const KuColor& color) {
    if (!RvRendererBeginFrame(r, target)) return;
    if (RvRendererBeginPass(r, target, kRvClearColor | kRvClearDepth | kRvClearStencil, color, 0, 1.0f))
        RvRendererEndPass(r);
    RvRendererEndFrame(r);
}
