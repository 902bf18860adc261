// Render targets (the window's drawable or an off-screen framebuffer with optional textures), their
// orthographic camera and pitches, and the camera interface the renderer reads matrices from.
#pragma once

#include "RvGraphicsDevice.h"
#include "RvMath.h"

// Buffer formats of a render target.
enum : int {
    kRvBufferFormatNone = 0,
    kRvBufferFormatRGBA8 = 1,
    kRvBufferFormatRGBA8Alt = 2,
    kRvBufferFormatDepth24 = 3,
    kRvBufferFormatDepth32 = 4,
    kRvBufferFormatStencil8 = 5,
    kRvBufferFormatDepth24Stencil8 = 6,
    kRvBufferFormatDepth24Stencil8Alt = 7,
};

struct RvViewBounds {
    float x = 0, y = 0, width = 0, height = 0;
};

// What the renderer needs of a camera.
class RvRenderCamera {
public:
    virtual ~RvRenderCamera() = default;
    virtual int projectionKind() const = 0;  // RvProjectionEnum value
    virtual RvMatrix4 projectionMatrix() const = 0;
    virtual RvMatrix4 viewMatrix() const = 0;
    virtual RvViewBounds viewBounds() const = 0;
    virtual void setViewport(const RvViewBounds& bounds) = 0;
};

class RvRenderTarget : public RvGraphicsResource, public RvRenderCamera {
public:
    explicit RvRenderTarget(RvGraphicsDevice* device);
    ~RvRenderTarget() override;
    const char* typeStr() const override { return "RvRenderTarget"; }

    // Camera: orthographic over (0, 0)–(width ÷ scale, height ÷ scale), identity view.
    int projectionKind() const override { return 0; }
    RvMatrix4 projectionMatrix() const override;
    RvMatrix4 viewMatrix() const override;
    RvViewBounds viewBounds() const override;
    void setViewport(const RvViewBounds&) override {}

    // True when every buffer format is none: the window's own drawable.
    bool isScreenTarget() const {
        return colorFormat == kRvBufferFormatNone && depthFormat == kRvBufferFormatNone &&
               stencilFormat == kRvBufferFormatNone;
    }

    int width = 0, height = 0;
    float pointScale = 1.0f;
    int colorFormat = 0, depthFormat = 0, stencilFormat = 0;
    RvTexture* colorTexture = nullptr;  // retained
    RvTexture* depthTexture = nullptr;
    RvTexture* stencilTexture = nullptr;
    int antialiasing = 0;  // 0 to 3
    bool vsync = false;
    bool takeLayoutFromResolveTarget = false;
    bool takeBufferFormatFromResolveTarget = false;
    bool flipVertically = false;  // set by the back end
};

// Stores the size; a scale ≤ FLT_EPSILON becomes the device's point scale; re-lays every attached
// texture (under its write lock) as a render-target texture of the new size.
void RvRenderTargetSetLayout(RvRenderTarget* target, int width, int height, float scale);
// Each attaches (retains) the texture, or detaches with null. An attached texture is laid out to
// the target's size at once, so it is ready to back the framebuffer.
void RvRenderTargetSetColorFormat(RvRenderTarget* target, int format, RvTexture* texture);
void RvRenderTargetSetDepthFormat(RvRenderTarget* target, int format, RvTexture* texture);
void RvRenderTargetSetStencilFormat(RvRenderTarget* target, int format, RvTexture* texture);
void RvRenderTargetSetAntialiasing(RvRenderTarget* target, int level);  // clamped to 0..3
void RvRenderTargetSetVSync(RvRenderTarget* target, bool on);
void RvRenderTargetTakeLayoutFromResolveTarget(RvRenderTarget* target, bool on);
void RvRenderTargetTakeBufferFormatFromResolveTarget(RvRenderTarget* target, bool on);
// Nothing when size and scale are unchanged; else the layout under the target's write lock.
void RvRenderTargetResize(RvRenderTarget* target, int width, int height, float scale);
RvVector2 RvRenderTargetGetSizeInPixels(const RvRenderTarget* target);  // (0, 0) for null
RvVector2 RvRenderTargetGetSizeInPoints(const RvRenderTarget* target);  // pixels ÷ scale
float RvRenderTargetGetPointScale(const RvRenderTarget* target);        // 1.0 for null
RvVector2 RvRenderTargetGetScreenPitch(const RvRenderTarget* target);   // (1, 1) for null
RvVector2 RvRenderTargetGetPixelPitch(const RvRenderTarget* target);
RvVector2 RvRenderTargetGetPointPitch(const RvRenderTarget* target);
// True when drawing into `target` lands in `other`: the same target or the same colour texture.
bool RvRenderTargetWillResolveToRenderTarget(const RvRenderTarget* target, const RvRenderTarget* other);
