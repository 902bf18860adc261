// KuImage: a render node drawing one textured quad, a whole texture or a rectangle of it (a
// sprite-sheet frame), placed by centring and alignment flags, mirrored by flips, tinted by its
// colour. Textures are shared by name through the texture manager (KuTextureManager.h).
#pragma once

#include "KuData.h"
#include "KuGraphics.h"
#include "KuRenderNode.h"
#include "KuString.h"
#include "KuTextureManager.h"

// Bits of KuImage::align, applied in this order.
enum : unsigned {
    kKuAlignTop = 1u << 31,     // not centred vertically; the origin is the quad's top edge
    kKuAlignRight = 1u << 30,   // not centred horizontally; the origin is the quad's right edge
    kKuAlignCenter = 1u << 29,  // centred on both axes, no alignment
};

// Result of an image set-up whose texture cannot be had.
constexpr int kKuImageNoTexture = -405;

class KuImage : public KuRenderNode {
public:
    KuImage();            // owned (count 1), without a texture: draws nothing until an init succeeds
    ~KuImage() override;  // gives its use of the texture name back to the manager
    const char* typeStr() const override { return "KuImage"; }
    const char* debugLabel() const override;  // the frame name, else the texture name

    // >>factories: new... owned (release it), image... autoreleased; null when no texture results.
    // The image of the texture of that name (loaded through the manager on first use). A null or
    // empty C string is the empty name.
    static KuImage* newWithName(KuString* name);
    static KuImage* newWithName(const char* name);
    static KuImage* imageWithName(KuString* name);
    static KuImage* imageWithName(const char* name);
    // The image of a texture decoded from encoded PNG / JPEG bytes and cached under `name` (whose
    // suffix picks the decoder); a texture already cached under the name is used as it is.
    static KuImage* newWithData(KuData* data, KuString* name);
    static KuImage* imageWithData(KuData* data, KuString* name);
    // A copy using the same texture (counted again under its name) with the other's geometry,
    // transform, flags and colour.
    static KuImage* newWithImage(const KuImage* other);
    static KuImage* imageWithImage(const KuImage* other);
    // An image of a new blank render texture of the size (pixels kept on the CPU side when
    // keepPixels), cached under "RenderTexture-%p" of the image; it is flipped vertically.
    static KuImage* newWithSize(KuPoint size, bool keepPixels);
    static KuImage* imageWithSize(KuPoint size);
    // An image of a texture the caller made; the image retains it but never names it to the manager.
    static KuImage* imageWithTexture(KuTexture2D* texture);

    // Each init returns 0, or kKuImageNoTexture (the image keeps what it had).
    int initWithName(KuString* name);  // switches to another texture name and rebuilds the image
    int initWithImage(const KuImage* other);
    int initWithSize(KuPoint size, bool keepPixels);
    int initWithTexture(KuTexture2D* texture);
    // A new autoreleased, centred image of the rectangle (origin, size) of the same texture, in
    // texture pixels (y down), with this image's rotation, colour and flips; its source size is size.
    KuImage* copyImageFrom(KuPoint origin, KuPoint size);

    // >>render node
    void render() override;
    void renderAt(KuPoint p) override;  // translate, rotate, scale (in that order), draw, children
    void color(KuColor c) override;
    void alpha(float a) override;  // also the children's, when there are any
    KuColor color() override { return _color; }
    float alpha() override { return _color.alpha; }
    void center(bool c) override;  // both axes; clears both alignments
    void center(bool x, bool y) override;
    bool centered() override { return centerX && centerY; }
    void atCentered(KuPoint p, bool c);  // position and both centring flags
    void align(int flags) override;      // the kKuAlign... bits
    void flipVertically(bool f) override;
    void flipHorizontally(bool f) override;
    bool flipVertically() override { return _flipVertically; }
    bool flipHorizontally() override { return _flipHorizontally; }
    void filterLinear(bool on) override;  // both filters of the texture, and every child's
    void filterLinearMinMax(bool min, bool mag);
    void textureScale(float scale);  // the texture's scale; point scale and half sizes follow
    // The quad's rectangle around the origin (flips not applied), times the device scale.
    KuRect imageRect() override;
    KuPoint imageSize() override;  // drawn size in points, times the device scale
    KuPoint sourceSize() override { return sourceSize_; }
    // The texture's pixels as RGBA bytes (autoreleased), or null without a texture or kept pixels.
    KuData* getPixelDataAsRGBA();
    // Recomputes the quad corners and texture coordinates and writes them to the drawable.
    void calculateVertsAndTexCoords();

    // >>state (public for the sprite sheet, the animation layer and the editor)
    KuColor premultipliedColor{1, 1, 1, 1};  // colour with r, g, b times alpha
    bool textureNotManaged = false;          // made on a caller's texture: no name in the manager
    double inverseStorageWidth = 0, inverseStorageHeight = 0;
    KuTexture2D* texture = nullptr;  // retained
    float pointScale = 1;            // 1 / the texture's scale
    bool centerX = true, centerY = true;
    bool alignTop = false, alignRight = false;
    float width = 0, height = 0;      // drawn rectangle in texture pixels
    KuString* textureName = nullptr;  // retained; key in the texture manager
    KuString* frameName = nullptr;    // retained; sprite-sheet frame shown, or null
    KuPoint textureOffset{0, 0};      // top-left pixel of the drawn rectangle (y down)
    float storageWidth = 0, storageHeight = 0;
    KuPoint sourceSize_{0, 0};     // untrimmed canvas in pixels
    KuPoint frameOffset{0, 0};     // drawn rectangle inside the canvas, points, y up
    KuPoint halfSourceSize{0, 0};  // half the canvas in points
    bool premultipliedAlpha = false;
    KuPoint vertices[4] = {};   // corners in node space, mesh order
    KuPoint texCoords[4] = {};  // their texture coordinates

private:
    int setUpWithTexture(KuTexture2D* texture);  // the common set-up once the texture is known
    void createDrawable();
    void releaseTexture();
    void placeQuad(float* xOrigin, float* yOrigin) const;  // steps 1 and 2 of the placement
    KuGraphicsMatrix* modelViewProjVariable = nullptr;     // owned
    KuGraphicsMatrix* textureMatrixVariable = nullptr;     // owned
    KuGraphicsColor* colorVariable = nullptr;              // owned
};

// Half sizes in points under the image defaults' pixel snap (truncated to whole numbers when on).
KuPoint KuImageHalfSize(KuPoint size, float pointScale);
