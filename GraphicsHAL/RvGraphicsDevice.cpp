// Sections: >>device >>factories >>resources
#include "RvGraphicsDevice.h"

#include <cfloat>

#include "RvBuffers.h"
#include "RvMesh.h"
#include "RvRenderTarget.h"
#include "RvRenderer.h"
#include "RvShader.h"
#include "RvTexture.h"

// >>device

RvGraphicsDevice::RvGraphicsDevice(const RvGraphicsCapabilities& caps) : capabilities(caps) {
    if (capabilities.maxTextureSamplers > kRvMaxTextureUnits)
        capabilities.maxTextureSamplers = kRvMaxTextureUnits;
    if (capabilities.maxTextureSamplers < 0) capabilities.maxTextureSamplers = 0;
}

RvRenderer* RvGraphicsDevice::newRenderer(int, void*) {
    return nullptr;
}
RvRenderTarget* RvGraphicsDevice::newRenderTarget() {
    return new RvRenderTarget(this);
}

RvMesh* RvGraphicsDevice::newMesh(int primitiveType, RvVertexBuffer* vertices, RvIndexBuffer* indices,
                                  RvShader* shader) {
    auto* mesh = new RvMesh(this);
    KuSetRetained(mesh->vertexBuffer, vertices);
    KuSetRetained(mesh->indexBuffer, indices);
    KuSetRetained(mesh->shader, shader);
    mesh->submeshes[0].primitiveType = primitiveType;
    return mesh;
}

RvShader* RvGraphicsDevice::newShader() {
    return new RvShader(this);
}
RvTexture* RvGraphicsDevice::newTexture(int accessMode) {
    return new RvTexture(this, accessMode);
}
RvIndexBuffer* RvGraphicsDevice::newIndexBuffer(int accessMode) {
    return new RvIndexBuffer(this, accessMode);
}
RvVertexBuffer* RvGraphicsDevice::newVertexBuffer(int accessMode) {
    return new RvVertexBuffer(this, accessMode);
}

RvGraphicsDevice* RvNewGraphicsDevice(const RvGraphicsCapabilities* caps) {
    return new RvGraphicsDevice(caps ? *caps : RvGraphicsCapabilities{});
}

void RvGraphicsDeviceSetPointScale(RvGraphicsDevice* d, float scale) {
    if (d) d->pointScale = scale > FLT_EPSILON ? scale : 1.0f;
}
float RvGraphicsDeviceGetPointScale(const RvGraphicsDevice* d) {
    return d ? d->pointScale : 1.0f;
}

void RvGraphicsDeviceInvalidateResources(RvGraphicsDevice* d) {
    if (!d) return;
    // Resources start at version 0 ("never built"), so the device's version must never be 0.
    if (d->resourceVersion.fetch_add(1) + 1 == 0) d->resourceVersion.fetch_add(1);
}

uint32_t RvGraphicsDeviceGetResourceVersion(const RvGraphicsDevice* d) {
    return d ? d->resourceVersion.load() : 0;
}

uint32_t RvGraphicsDeviceIncrementBuildNumber(RvGraphicsDevice* d) {
    if (!d) return 0;
    uint32_t n = d->buildNumber.fetch_add(1) + 1;
    while (n == 0)
        n = d->buildNumber.fetch_add(1) + 1;
    return n;
}

int RvGraphicsMaxTextureSamplers(const RvGraphicsDevice* d) {
    return d ? d->capabilities.maxTextureSamplers : 0;
}
int RvGraphicsMaxTextureSize(const RvGraphicsDevice* d) {
    return d ? d->capabilities.maxTextureSize : 0;
}
bool RvGraphicsSupportsDiscardLocalStorage(const RvGraphicsDevice* d) {
    return d && d->capabilities.supportsDiscardLocalStorage;
}
bool RvGraphicsSupportsRGB8Textures(const RvGraphicsDevice* d) {
    return d && d->capabilities.supportsRGB8Textures;
}
bool RvGraphicsSupportsBGRA8Textures(const RvGraphicsDevice* d) {
    return d && d->capabilities.supportsBGRA8Textures;
}
bool RvGraphicsSupportsNonPOTTextures(const RvGraphicsDevice* d) {
    return d && d->capabilities.supportsNonPOTTextures;
}
bool RvGraphicsSupportsPVRTC(const RvGraphicsDevice* d) {
    return d && d->capabilities.supportsPVRTC;
}
bool RvGraphicsSupportsScreenTearing(const RvGraphicsDevice* d) {
    return d && d->capabilities.supportsScreenTearing;
}
bool RvGraphicsSupportsMultisampling(const RvGraphicsDevice* d) {
    return d && d->capabilities.supportsMultisampling;
}
int RvGraphicsMaxMultisamples(const RvGraphicsDevice* d) {
    return d ? d->capabilities.maxMultisamples : 0;
}

// >>factories

static int effectiveAccessMode(const RvGraphicsDevice* d, int accessMode) {
    return d->capabilities.supportsDiscardLocalStorage ? accessMode
                                                       : (accessMode & ~kRvAccessDiscardLocalStorage);
}

RvRenderer* RvNewRenderer(RvGraphicsDevice* d, int options, void* threadPool) {
    return d ? d->newRenderer(options, threadPool) : nullptr;
}
RvRenderTarget* RvNewRenderTarget(RvGraphicsDevice* d) {
    return d ? d->newRenderTarget() : nullptr;
}
RvMesh* RvNewMesh(RvGraphicsDevice* d, int primitiveType, RvVertexBuffer* vertices, RvIndexBuffer* indices,
                  RvShader* shader) {
    return d ? d->newMesh(primitiveType, vertices, indices, shader) : nullptr;
}
RvShader* RvNewShader(RvGraphicsDevice* d) {
    return d ? d->newShader() : nullptr;
}
RvTexture* RvNewTexture(RvGraphicsDevice* d, int accessMode) {
    return d ? d->newTexture(effectiveAccessMode(d, accessMode)) : nullptr;
}
RvIndexBuffer* RvNewIndexBuffer(RvGraphicsDevice* d, int accessMode) {
    return d ? d->newIndexBuffer(effectiveAccessMode(d, accessMode)) : nullptr;
}
RvVertexBuffer* RvNewVertexBuffer(RvGraphicsDevice* d, int accessMode) {
    return d ? d->newVertexBuffer(effectiveAccessMode(d, accessMode)) : nullptr;
}

// >>resources

RvGraphicsResource::RvGraphicsResource(RvGraphicsDevice* d) : device(d) {
    KuRetain(device);
}
RvGraphicsResource::~RvGraphicsResource() {
    KuRelease(device);
}

RvGraphicsDevice* RvGraphicsResourceGetDevice(const RvGraphicsResource* r) {
    return r ? r->device : nullptr;
}

static void enterLock(RvGraphicsResource* r, int mode) {
    // Nested locks keep the strongest mode until the outermost unlock.
    if (r->lockDepth == 0)
        r->lockMode = mode;
    else if (mode == kRvLockWrite)
        r->lockMode = kRvLockWrite;
    r->lockDepth++;
    r->locked = true;
}

static void leaveLock(RvGraphicsResource* r) {
    if (--r->lockDepth <= 0) {
        r->lockDepth = 0;
        r->lockMode = kRvLockRead;
        r->locked = false;
    }
    r->mutex.unlock();
}

void RvGraphicsResourceLock(RvGraphicsResource* r, int mode) {
    if (!r) return;
    r->mutex.lock();
    enterLock(r, mode);
}

void RvGraphicsResourceReadLock(RvGraphicsResource* r) {
    RvGraphicsResourceLock(r, kRvLockRead);
}
void RvGraphicsResourceWriteLock(RvGraphicsResource* r) {
    RvGraphicsResourceLock(r, kRvLockWrite);
}

bool RvGraphicsResourceTryLock(RvGraphicsResource* r, int mode) {
    if (!r || !r->mutex.try_lock()) return false;
    enterLock(r, mode);
    return true;
}

bool RvGraphicsResourceIsLocked(const RvGraphicsResource* r) {
    return r && r->locked.load();
}

void RvGraphicsResourceUnlock(RvGraphicsResource* r) {
    if (!r) return;
    if (r->lockMode == kRvLockWrite) r->status = kRvStatusNeedsBuild;
    leaveLock(r);
}

bool RvGraphicsResourceLockWhenStatus(RvGraphicsResource* r, int status, int mode) {
    if (!r || r->status.load() != status) return false;
    r->mutex.lock();
    if (r->status.load() != status) {
        r->mutex.unlock();
        return false;
    }
    enterLock(r, mode);
    r->buildCount++;
    return true;
}

void RvGraphicsResourceUnlockWithStatus(RvGraphicsResource* r, int status) {
    if (!r) return;
    r->status = status;
    leaveLock(r);
}

bool RvGraphicsResourceVersionChanged(RvGraphicsResource* r) {
    if (!r) return false;
    uint32_t current = r->device->resourceVersion.load();
    if (r->version.load() == current) return false;
    std::lock_guard<std::recursive_mutex> lock(r->mutex);
    r->version = current;
    r->status = kRvStatusNeedsBuild;
    return true;
}

void RvGraphicsResourceUpdateVersion(RvGraphicsResource* r) {
    if (r) r->version = r->device->resourceVersion.load();
}

int RvGraphicsResourceGetStatus(const RvGraphicsResource* r) {
    return r ? r->status.load() : 0;
}
uint32_t RvGraphicsResourceGetBuildCount(const RvGraphicsResource* r) {
    return r ? r->buildCount.load() : 0;
}
