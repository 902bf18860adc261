#include "RvRenderTarget.h"

#include <cfloat>

#include "RvTexture.h"

RvRenderTarget::RvRenderTarget(RvGraphicsDevice* d)
    : RvGraphicsResource(d), pointScale(d ? d->pointScale : 1.0f) {}

RvRenderTarget::~RvRenderTarget() {
    KuRelease(colorTexture);
    KuRelease(depthTexture);
    KuRelease(stencilTexture);
}

RvMatrix4 RvRenderTarget::projectionMatrix() const {
    RvVector2 points = RvRenderTargetGetSizeInPoints(this);
    // A zero-sized target still gets a finite matrix.
    return RvMatrix4Ortho(0, points.x > 0 ? points.x : 1, 0, points.y > 0 ? points.y : 1, -65535, 65535);
}

RvMatrix4 RvRenderTarget::viewMatrix() const {
    return RvMatrix4Identity();
}

RvViewBounds RvRenderTarget::viewBounds() const {
    RvVector2 points = RvRenderTargetGetSizeInPoints(this);
    return {0, 0, points.x, points.y};
}

// A render-target texture: the target's size, linear filtering, never padded (the GPU storage is
// exactly the target's size, so image coordinates must span the whole texture).
static void layOutAttachedTexture(RvRenderTarget* target, RvTexture* texture) {
    if (!texture) return;
    RvResourceLock lock(texture, kRvLockWrite);
    RvTextureSetLayout(texture, kRvPixelRGBA8, target->width, target->height,
                       kRvTextureLinearMin | kRvTextureLinearMag | kRvTextureNoPowerOfTwo);
    RvTextureSetFlipVertically(texture, target->flipVertically);
}

void RvRenderTargetSetLayout(RvRenderTarget* t, int width, int height, float scale) {
    if (!t) return;
    t->width = width > 0 ? width : 0;
    t->height = height > 0 ? height : 0;
    t->pointScale = scale > FLT_EPSILON ? scale : t->device->pointScale;
    layOutAttachedTexture(t, t->colorTexture);
    layOutAttachedTexture(t, t->depthTexture);
    if (t->stencilTexture != t->depthTexture) layOutAttachedTexture(t, t->stencilTexture);
}

static void setFormat(RvRenderTarget* t, int* slot, RvTexture** textureSlot, int format, RvTexture* texture) {
    *slot = format;
    KuSetRetained(*textureSlot, texture);
    layOutAttachedTexture(t, texture);
}

void RvRenderTargetSetColorFormat(RvRenderTarget* t, int format, RvTexture* texture) {
    if (t) setFormat(t, &t->colorFormat, &t->colorTexture, format, texture);
}
void RvRenderTargetSetDepthFormat(RvRenderTarget* t, int format, RvTexture* texture) {
    if (t) setFormat(t, &t->depthFormat, &t->depthTexture, format, texture);
}
void RvRenderTargetSetStencilFormat(RvRenderTarget* t, int format, RvTexture* texture) {
    if (t) setFormat(t, &t->stencilFormat, &t->stencilTexture, format, texture);
}

void RvRenderTargetSetAntialiasing(RvRenderTarget* t, int level) {
    if (t) t->antialiasing = level < 0 ? 0 : level > 3 ? 3 : level;
}
void RvRenderTargetSetVSync(RvRenderTarget* t, bool on) {
    if (t) t->vsync = on;
}
void RvRenderTargetTakeLayoutFromResolveTarget(RvRenderTarget* t, bool on) {
    if (t) t->takeLayoutFromResolveTarget = on;
}
void RvRenderTargetTakeBufferFormatFromResolveTarget(RvRenderTarget* t, bool on) {
    if (t) t->takeBufferFormatFromResolveTarget = on;
}

void RvRenderTargetResize(RvRenderTarget* t, int width, int height, float scale) {
    if (!t) return;
    if (t->width == width && t->height == height && t->pointScale == scale) return;
    RvResourceLock lock(t, kRvLockWrite);
    RvRenderTargetSetLayout(t, width, height, scale);
}

RvVector2 RvRenderTargetGetSizeInPixels(const RvRenderTarget* t) {
    if (!t) return {0, 0};
    return {static_cast<float>(t->width), static_cast<float>(t->height)};
}

RvVector2 RvRenderTargetGetSizeInPoints(const RvRenderTarget* t) {
    if (!t) return {0, 0};
    float s = t->pointScale > FLT_EPSILON ? t->pointScale : 1.0f;
    return {t->width / s, t->height / s};
}

float RvRenderTargetGetPointScale(const RvRenderTarget* t) {
    return t ? t->pointScale : 1.0f;
}

RvVector2 RvRenderTargetGetScreenPitch(const RvRenderTarget* t) {
    if (!t || t->width <= 0 || t->height <= 0) return {1, 1};
    float w = static_cast<float>(t->width), h = static_cast<float>(t->height);
    if (h < w) return {1, (w - h) / w};
    return {(h - w) / h, 1};
}

RvVector2 RvRenderTargetGetPixelPitch(const RvRenderTarget* t) {
    if (!t || t->width <= 0 || t->height <= 0) return {1, 1};
    return {1.0f / t->width, 1.0f / t->height};
}

RvVector2 RvRenderTargetGetPointPitch(const RvRenderTarget* t) {
    if (!t || t->width <= 0 || t->height <= 0) return {1, 1};
    return {1.0f / (t->pointScale * t->width), 1.0f / (t->pointScale * t->height)};
}

bool RvRenderTargetWillResolveToRenderTarget(const RvRenderTarget* t, const RvRenderTarget* other) {
    if (!t || !other) return false;
    return t == other || (t->colorTexture && t->colorTexture == other->colorTexture);
}
