// The renderer layer's device (point scale, resource version, build numbers, capabilities, the
// factories back ends implement) and the lock/status protocol every GPU resource follows.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "RvRuntime.h"

class RvRenderer;
class RvRenderTarget;
class RvMesh;
class RvShader;
class RvTexture;
class RvIndexBuffer;
class RvVertexBuffer;

// Access modes given when creating textures and buffers.
enum : int {
    kRvAccessDynamic = 1,               // dynamic usage hint; textures that keep their CPU pixels
    kRvAccessReadableRenderTarget = 2,  // no effect on the OpenGL path
    kRvAccessDiscardLocalStorage = 8,   // free the CPU copy after upload
};

struct RvGraphicsCapabilities {
    int maxTextureSamplers = 16;  // at most 16
    int maxTextureSize = 4096;
    bool supportsDiscardLocalStorage = true;
    bool supportsRGB8Textures = false;
    bool supportsBGRA8Textures = false;
    bool supportsNonPOTTextures = true;
    bool supportsPVRTC = false;
    bool supportsScreenTearing = false;
    bool supportsMultisampling = false;
    int maxMultisamples = 0;
};

// A device without a back end holds CPU-side resources only (no renderer, nothing drawn); back ends
// derive from it and make GPU-backed resources.
class RvGraphicsDevice : public KuObject {
public:
    explicit RvGraphicsDevice(const RvGraphicsCapabilities& capabilities);
    const char* typeStr() const override { return "RvGraphicsDevice"; }

    // Factories in table order; every result is owned by the caller.
    virtual RvRenderer* newRenderer(int options, void* threadPool);  // null without a back end
    virtual RvRenderTarget* newRenderTarget();
    virtual RvMesh* newMesh(int primitiveType, RvVertexBuffer* vertices, RvIndexBuffer* indices,
                            RvShader* shader);
    virtual RvShader* newShader();
    virtual RvTexture* newTexture(int accessMode);
    virtual RvIndexBuffer* newIndexBuffer(int accessMode);
    virtual RvVertexBuffer* newVertexBuffer(int accessMode);

    float pointScale = 1.0f;
    std::atomic<uint32_t> resourceVersion{1};
    std::atomic<uint32_t> buildNumber{0};
    RvGraphicsCapabilities capabilities;
};

// Owned device without a back end; null capabilities give the defaults above.
RvGraphicsDevice* RvNewGraphicsDevice(const RvGraphicsCapabilities* capabilities);

void RvGraphicsDeviceSetPointScale(RvGraphicsDevice* device, float scale);  // ≤ FLT_EPSILON gives 1.0
float RvGraphicsDeviceGetPointScale(const RvGraphicsDevice* device);        // 1.0 for null
// Tells every resource its GPU object is gone (lost context): the version moves on, skipping 0.
void RvGraphicsDeviceInvalidateResources(RvGraphicsDevice* device);
uint32_t RvGraphicsDeviceGetResourceVersion(const RvGraphicsDevice* device);
uint32_t RvGraphicsDeviceIncrementBuildNumber(RvGraphicsDevice* device);  // the new value, never 0

int RvGraphicsMaxTextureSamplers(const RvGraphicsDevice* device);
int RvGraphicsMaxTextureSize(const RvGraphicsDevice* device);
bool RvGraphicsSupportsDiscardLocalStorage(const RvGraphicsDevice* device);
bool RvGraphicsSupportsRGB8Textures(const RvGraphicsDevice* device);
bool RvGraphicsSupportsBGRA8Textures(const RvGraphicsDevice* device);
bool RvGraphicsSupportsNonPOTTextures(const RvGraphicsDevice* device);
bool RvGraphicsSupportsPVRTC(const RvGraphicsDevice* device);
bool RvGraphicsSupportsScreenTearing(const RvGraphicsDevice* device);
bool RvGraphicsSupportsMultisampling(const RvGraphicsDevice* device);
int RvGraphicsMaxMultisamples(const RvGraphicsDevice* device);

// Factories dispatching to the device; owned results, null for a null device. Access bit 8 is
// cleared when the device cannot discard local storage.
RvRenderer* RvNewRenderer(RvGraphicsDevice* device, int options, void* threadPool);
RvRenderTarget* RvNewRenderTarget(RvGraphicsDevice* device);
RvMesh* RvNewMesh(RvGraphicsDevice* device, int primitiveType, RvVertexBuffer* vertices,
                  RvIndexBuffer* indices, RvShader* shader);
RvShader* RvNewShader(RvGraphicsDevice* device);
RvTexture* RvNewTexture(RvGraphicsDevice* device, int accessMode);
RvIndexBuffer* RvNewIndexBuffer(RvGraphicsDevice* device, int accessMode);
RvVertexBuffer* RvNewVertexBuffer(RvGraphicsDevice* device, int accessMode);

// >>resources

enum : int { kRvStatusNew = 0, kRvStatusNeedsBuild = 1, kRvStatusBuilt = 2 };
enum : int { kRvLockRead = 0, kRvLockWrite = 1 };

// Base of every GPU resource. The engine edits it inside write lock … unlock (which marks it as
// needing a build); the back end rebuilds it through LockWhenStatus … UnlockWithStatus.
class RvGraphicsResource : public KuObject {
public:
    explicit RvGraphicsResource(RvGraphicsDevice* device);  // retains the device
    ~RvGraphicsResource() override;
    const char* typeStr() const override { return "RvGraphicsResource"; }

    // Read on every use by the back end: kept together near the object's start.
    RvGraphicsDevice* device;
    // 0 until first met by the back end, so a resource is always built on its first use.
    std::atomic<uint32_t> version{0};
    std::atomic<int> status{kRvStatusNew};
    std::atomic<int> lockMode{kRvLockRead};
    std::atomic<bool> locked{false};
    int lockDepth = 0;                    // guarded by mutex
    std::atomic<uint32_t> buildCount{0};  // successful LockWhenStatus calls: GPU rebuilds
    std::recursive_mutex mutex;
};

RvGraphicsDevice* RvGraphicsResourceGetDevice(const RvGraphicsResource* resource);
void RvGraphicsResourceReadLock(RvGraphicsResource* resource);
void RvGraphicsResourceWriteLock(RvGraphicsResource* resource);
void RvGraphicsResourceLock(RvGraphicsResource* resource, int mode);
bool RvGraphicsResourceTryLock(RvGraphicsResource* resource, int mode);
bool RvGraphicsResourceIsLocked(const RvGraphicsResource* resource);
// After a write lock the status becomes "needs build"; the lock mode returns to read when the
// outermost lock is released. Locks nest on one thread.
void RvGraphicsResourceUnlock(RvGraphicsResource* resource);
// False at once when the status differs; otherwise locks, re-checks and returns true holding the
// lock (the caller rebuilds, then calls UnlockWithStatus).
bool RvGraphicsResourceLockWhenStatus(RvGraphicsResource* resource, int status, int mode);
void RvGraphicsResourceUnlockWithStatus(RvGraphicsResource* resource, int status);
// True (and the status set to "needs build") when the device's resource version moved on since the
// resource was last built; the caller forgets its GPU object.
bool RvGraphicsResourceVersionChanged(RvGraphicsResource* resource);
void RvGraphicsResourceUpdateVersion(RvGraphicsResource* resource);
int RvGraphicsResourceGetStatus(const RvGraphicsResource* resource);           // 0 for null
uint32_t RvGraphicsResourceGetBuildCount(const RvGraphicsResource* resource);  // 0 for null

// Scoped write or read lock of a resource (null tolerated).
class RvResourceLock {
public:
    RvResourceLock(RvGraphicsResource* resource, int mode) : resource_(resource) {
        if (resource_) RvGraphicsResourceLock(resource_, mode);
    }
    ~RvResourceLock() {
        if (resource_) RvGraphicsResourceUnlock(resource_);
    }
    RvResourceLock(const RvResourceLock&) = delete;
    RvResourceLock& operator=(const RvResourceLock&) = delete;

private:
    RvGraphicsResource* resource_;
};
