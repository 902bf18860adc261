// Images: set-up on a texture, quad placement and texture coordinates, drawing.
//
// Sections: >>factories >>set-up >>geometry >>appearance >>drawing
#include "KuImage.h"

#include <cmath>

#include "KuLayout.h"
#include "KuLog.h"

KuPoint KuImageHalfSize(KuPoint size, float pointScale) {
    KuPoint half{size.x * 0.5f * pointScale, size.y * 0.5f * pointScale};
    if (defaultImageProps.pixelSnap) {
        half.x = std::trunc(half.x);
        half.y = std::trunc(half.y);
    }
    return half;
}

KuImage::KuImage() : KuRenderNode(kKuTypeImage) {
    centerX = defaultImageProps.centerX;
    centerY = defaultImageProps.centerY;
    _color = defaultImageProps.color;
    premultipliedColor = KuColor{_color.red * _color.alpha, _color.green * _color.alpha,
                                 _color.blue * _color.alpha, _color.alpha};
}

KuImage::~KuImage() {
    releaseTexture();
    KuRelease(frameName);
    frameName = nullptr;
    delete modelViewProjVariable;
    delete textureMatrixVariable;
    delete colorVariable;
}

const char* KuImage::debugLabel() const {
    if (frameName) return frameName->c_str();
    return textureName ? textureName->c_str() : nullptr;
}

void KuImage::releaseTexture() {
    if (textureName && !textureNotManaged) textureManager.releaseTextureWithName(textureName);
    KuRelease(texture);
    texture = nullptr;
    KuRelease(textureName);
    textureName = nullptr;
}

// >>factories

namespace {
KuImage* ownedOrNull(KuImage* image, int result) {
    if (result == 0) return image;
    KuRelease(image);
    return nullptr;
}
}  // namespace

KuImage* KuImage::newWithName(KuString* name) {
    auto* image = new KuImage;
    return ownedOrNull(image, image->initWithName(name ? name : KUSTR_EMPTY));
}

KuImage* KuImage::newWithName(const char* name) {
    return newWithName(name && name[0] ? KuString::stringWithString(name) : KUSTR_EMPTY);
}

KuImage* KuImage::imageWithName(KuString* name) {
    return KuAutorelease(newWithName(name));
}

KuImage* KuImage::imageWithName(const char* name) {
    return KuAutorelease(newWithName(name));
}

KuImage* KuImage::newWithData(KuData* data, KuString* name) {
    if (!name) return nullptr;
    KuTexture2D* texture = textureManager.retainTextureWithNameFromData(name, data);
    if (!texture) return nullptr;
    auto* image = new KuImage;
    KuSetRetained(image->textureName, name);
    return ownedOrNull(image, image->setUpWithTexture(texture));
}

KuImage* KuImage::imageWithData(KuData* data, KuString* name) {
    return KuAutorelease(newWithData(data, name));
}

KuImage* KuImage::newWithImage(const KuImage* other) {
    auto* image = new KuImage;
    return ownedOrNull(image, image->initWithImage(other));
}

KuImage* KuImage::imageWithImage(const KuImage* other) {
    return KuAutorelease(newWithImage(other));
}

KuImage* KuImage::newWithSize(KuPoint size, bool keepPixels) {
    auto* image = new KuImage;
    return ownedOrNull(image, image->initWithSize(size, keepPixels));
}

KuImage* KuImage::imageWithSize(KuPoint size) {
    return KuAutorelease(newWithSize(size, false));
}

KuImage* KuImage::imageWithTexture(KuTexture2D* texture) {
    auto* image = new KuImage;
    return KuAutorelease(ownedOrNull(image, image->initWithTexture(texture)));
}

// >>set-up

int KuImage::initWithName(KuString* name) {
    if (!name) return kKuImageNoTexture;
    // The new name is counted before the old one is given back, so switching to the same name
    // never drops the texture in between.
    KuTexture2D* next = textureManager.retainTextureWithName(name);
    if (!next) return kKuImageNoTexture;
    KuRetain(name);
    releaseTexture();
    textureName = name;
    textureNotManaged = false;
    return setUpWithTexture(next);
}

int KuImage::initWithTexture(KuTexture2D* given) {
    if (!given) return kKuImageNoTexture;
    KuRetain(given);  // held across releaseTexture, which may drop the old one
    releaseTexture();
    textureNotManaged = true;
    int result = setUpWithTexture(given);
    KuRelease(given);
    return result;
}

int KuImage::initWithSize(KuPoint size, bool keepPixels) {
    if (!(size.x >= 1 && size.y >= 1)) return kKuImageNoTexture;
    auto* made = new KuTexture2D;
    if (!made->initWithSize(size, true, keepPixels)) {
        KuRelease(made);
        return kKuImageNoTexture;
    }
    KuString* name = KuString::stringWithFormat("RenderTexture-%p", static_cast<void*>(this));
    releaseTexture();
    KuTexture2D* cached = textureManager.retainTextureWithName(name, made);
    KuRelease(made);  // the manager holds it now
    if (!cached) return kKuImageNoTexture;
    KuSetRetained(textureName, name);
    textureNotManaged = false;
    int result = setUpWithTexture(cached);
    if (result == 0) {
        // Render targets are drawn into upside down relative to loaded images.
        _flipVertically = true;
        calculateVertsAndTexCoords();
    }
    return result;
}

int KuImage::initWithImage(const KuImage* other) {
    if (!other || !other->texture) return kKuImageNoTexture;
    if (other->textureNotManaged || !other->textureName) {
        if (initWithTexture(other->texture) != 0) return kKuImageNoTexture;
    } else if (initWithName(other->textureName) != 0) {
        return kKuImageNoTexture;
    }
    pointScale = other->pointScale;
    width = other->width;
    height = other->height;
    storageWidth = other->storageWidth;
    storageHeight = other->storageHeight;
    inverseStorageWidth = other->inverseStorageWidth;
    inverseStorageHeight = other->inverseStorageHeight;
    textureOffset = other->textureOffset;
    _rotation = other->_rotation;
    _xScale = other->_xScale;
    _yScale = other->_yScale;
    _position = other->_position;
    centerX = other->centerX;
    centerY = other->centerY;
    alignTop = other->alignTop;
    alignRight = other->alignRight;
    _flipHorizontally = other->_flipHorizontally;
    _flipVertically = other->_flipVertically;
    premultipliedAlpha = other->premultipliedAlpha;
    halfSourceSize = other->halfSourceSize;
    frameOffset = other->frameOffset;
    sourceSize_ = other->sourceSize_;
    KuSetRetained(frameName, other->frameName);
    color(other->_color);
    calculateVertsAndTexCoords();
    return 0;
}

int KuImage::setUpWithTexture(KuTexture2D* given) {
    if (!given) return kKuImageNoTexture;
    if (texture != given) KuSetRetained(texture, given);
    const float scale = texture->scale();
    pointScale = scale > 0 ? 1.0f / scale : 1.0f;
    width = static_cast<float>(texture->width());
    height = static_cast<float>(texture->height());
    storageWidth = static_cast<float>(texture->storageWidth());
    storageHeight = static_cast<float>(texture->storageHeight());
    inverseStorageWidth = storageWidth > 0 ? 1.0 / storageWidth : 0.0;
    inverseStorageHeight = storageHeight > 0 ? 1.0 / storageHeight : 0.0;
    textureOffset = KuPoint{0, 0};
    frameOffset = KuPoint{0, 0};
    _rotation = 0;
    centerX = defaultImageProps.centerX;
    centerY = defaultImageProps.centerY;
    alignTop = alignRight = false;
    _flipHorizontally = _flipVertically = false;
    premultipliedAlpha = texture->premultAlpha();
    halfSourceSize = KuImageHalfSize(KuPoint{width, height}, pointScale);
    sourceSize_ = KuPoint{width, height};
    texture->setFilter(defaultImageProps.linearMinFilter, defaultImageProps.linearMagFilter);
    color(defaultImageProps.color);
    // The drawable is made when the image is first drawn: a room makes thousands of frame images
    // (every frame of every animation) and shows only a few of them at a time.
    if (drawable) drawable->setTextureSampler("colorMap", texture);
    calculateVertsAndTexCoords();
    return 0;
}

void KuImage::createDrawable() {
    // Without the built-in programs (nothing initialised the graphics) the image keeps its geometry
    // and simply draws nothing.
    if (!textureShaderProgram) return;
    if (!drawable) {
        drawable = new KuGraphicsDrawable;
        drawable->initWithShader(textureShaderProgram->shader, kKuMeshTriangleStrip);
        modelViewProjVariable = new KuGraphicsMatrix;
        textureMatrixVariable = new KuGraphicsMatrix;
        colorVariable = new KuGraphicsColor;
        modelViewProjVariable->bind("modelViewProj", drawable);
        textureMatrixVariable->bind("textureMatrix", drawable);
        colorVariable->bind("color", drawable);
    }
    drawable->setTextureSampler("colorMap", texture);
}

KuImage* KuImage::copyImageFrom(KuPoint origin, KuPoint size) {
    if (!texture) return nullptr;
    KuImage* copy =
        textureNotManaged || !textureName ? imageWithTexture(texture) : imageWithName(textureName);
    if (!copy) return nullptr;
    copy->textureOffset = origin;
    copy->width = size.x;
    copy->height = size.y;
    copy->halfSourceSize = KuImageHalfSize(size, copy->pointScale);
    copy->sourceSize_ = size;
    copy->_rotation = _rotation;
    copy->color(_color);
    copy->_flipHorizontally = _flipHorizontally;
    copy->_flipVertically = _flipVertically;
    copy->center(true);
    return copy;
}

// >>geometry

void KuImage::placeQuad(float* xOrigin, float* yOrigin) const {
    if (centerX)
        *xOrigin = frameOffset.x - halfSourceSize.x;
    else if (alignRight)
        *xOrigin = frameOffset.x - 2 * halfSourceSize.x;
    else
        *xOrigin = frameOffset.x;
    if (centerY)
        *yOrigin = frameOffset.y - halfSourceSize.y;
    else if (alignTop)
        *yOrigin = frameOffset.y - 2 * halfSourceSize.y;
    else
        *yOrigin = frameOffset.y;
}

void KuImage::calculateVertsAndTexCoords() {
    float x0 = 0, y0 = 0;
    placeQuad(&x0, &y0);
    if (_flipHorizontally) x0 -= frameOffset.x;
    if (_flipVertically) y0 -= frameOffset.y;
    const float x1 = x0 + pointScale * width, y1 = y0 + pointScale * height;
    vertices[0] = KuPoint{x0, y0};
    vertices[1] = KuPoint{x1, y0};
    vertices[2] = KuPoint{x0, y1};
    vertices[3] = KuPoint{x1, y1};

    const float u0 = static_cast<float>(textureOffset.x * inverseStorageWidth);
    const float u1 = static_cast<float>((textureOffset.x + width) * inverseStorageWidth);
    const float t0 = static_cast<float>(textureOffset.y * inverseStorageHeight);
    const float t1 = static_cast<float>((textureOffset.y + height) * inverseStorageHeight);
    // t grows downwards in the texture while y grows upwards on screen: the bottom corners take t1.
    const float left = _flipHorizontally ? u1 : u0, right = _flipHorizontally ? u0 : u1;
    const float bottom = _flipVertically ? t0 : t1, top = _flipVertically ? t1 : t0;
    texCoords[0] = KuPoint{left, bottom};
    texCoords[1] = KuPoint{right, bottom};
    texCoords[2] = KuPoint{left, top};
    texCoords[3] = KuPoint{right, top};

    if (!drawable) return;
    _Quad2f corners;
    _Quad2f unit;
    static const KuPoint kUnit[4] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (int i = 0; i < 4; i++) {
        corners.corners[i] = vertices[i];
        unit.corners[i] = kUnit[i];
    }
    drawable->writeQuads(&corners, &unit, 1, nullptr, 0);
    _Quad2f sampled;
    for (int i = 0; i < 4; i++)
        sampled.corners[i] = texCoords[i];
    textureMatrixVariable->set(sampled);
}

void KuImage::center(bool c) {
    centerX = centerY = c;
    alignTop = alignRight = false;
    calculateVertsAndTexCoords();
}

void KuImage::center(bool x, bool y) {
    centerX = x;
    centerY = y;
    calculateVertsAndTexCoords();
}

void KuImage::atCentered(KuPoint p, bool c) {
    position(p);
    centerX = centerY = c;
    calculateVertsAndTexCoords();
}

void KuImage::align(int flags) {
    const unsigned bits = static_cast<unsigned>(flags);
    if (bits & kKuAlignTop) {
        centerY = false;
        alignTop = true;
    }
    if (bits & kKuAlignRight) {
        centerX = false;
        alignRight = true;
    }
    if (bits & kKuAlignCenter) {
        centerX = centerY = true;
        alignTop = alignRight = false;
    }
    calculateVertsAndTexCoords();
}

void KuImage::flipVertically(bool f) {
    KuRenderNode::flipVertically(f);
    calculateVertsAndTexCoords();
}

void KuImage::flipHorizontally(bool f) {
    KuRenderNode::flipHorizontally(f);
    calculateVertsAndTexCoords();
}

void KuImage::textureScale(float scale) {
    if (!texture) return;
    texture->scale(scale);
    const float s = texture->scale();
    pointScale = s > 0 ? 1.0f / s : 1.0f;
    halfSourceSize = KuImageHalfSize(KuPoint{width, height}, pointScale);
    calculateVertsAndTexCoords();
}

KuRect KuImage::imageRect() {
    float x0 = 0, y0 = 0;
    placeQuad(&x0, &y0);
    const float d = KuDeviceScale();
    return KuRect{{x0 * d, y0 * d}, {(x0 + pointScale * width) * d, (y0 + pointScale * height) * d}};
}

KuPoint KuImage::imageSize() {
    const float d = KuDeviceScale();
    return KuPoint{pointScale * width * d, pointScale * height * d};
}

KuData* KuImage::getPixelDataAsRGBA() {
    return texture ? texture->getPixelDataAsRGBA(nullptr) : nullptr;
}

// >>appearance

void KuImage::color(KuColor c) {
    _color = c;
    premultipliedColor = KuColor{c.red * c.alpha, c.green * c.alpha, c.blue * c.alpha, c.alpha};
}

void KuImage::alpha(float a) {
    if (renderCount() > 0)
        KuRenderNode::alpha(a);
    else
        _color.alpha = a;
    color(_color);
}

void KuImage::filterLinear(bool on) {
    if (texture) texture->setFilter(on, on);
    if (!renders) return;
    for (KuListIterator<KuRenderNode*> it = renders->begin(); it; it = it->next)
        it->object->filterLinear(on);
}

void KuImage::filterLinearMinMax(bool min, bool mag) {
    if (texture) texture->setFilter(min, mag);
}

// >>drawing

void KuImage::render() {
    if (texture && !_hidden) renderAt(_position);
}

void KuImage::renderAt(KuPoint p) {
    if (!texture || _hidden) return;
    KuMatrixPush();
    KuMatrixApply(KuMatrixTranslation(p.x, p.y));
    if (_rotation != 0) KuMatrixApply(KuMatrixRotation(_rotation));
    if (_xScale != 1 || _yScale != 1) KuMatrixApply(KuMatrixScale(_xScale, _yScale));
    if (!drawable && textureShaderProgram) {
        createDrawable();
        calculateVertsAndTexCoords();
    }
    if (drawable) {
        KuMatrix mvp;
        Matrix3DMultiply(projectionMatrix, KuMatrixTop(), mvp);
        modelViewProjVariable->set(mvp);
        colorVariable->set(premultipliedAlpha ? premultipliedColor : _color);
        drawable->update();
        drawable->draw();
    }
    renderChildren();
    KuMatrixPop();
}
