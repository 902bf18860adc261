// Animated sprites: building from dictionaries, files and frame lists; playback, layers, triggers,
// drawing and saving.
//
// Sections: >>lifecycle >>building >>animations files >>playing >>layers >>drawing >>appearance
//           >>memory >>saving
#include "KuAnimatedSprite.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "KuGraphics.h"
#include "KuJson.h"
#include "KuLog.h"
#include "KuPackfileManager.h"

namespace {
KuAnimationTriggerCallback triggerCallback = nullptr;

// Frames an animations file may give one tag; more is taken for a broken file rather than read.
constexpr int kMaxFramesPerTag = 10000;

KuString* stringValue(KuObject* value) {
    return value && value->isString() ? static_cast<KuString*>(value) : nullptr;
}

bool endsWithLoop(KuString* name) {
    static const char kSuffix[] = "_loop";
    const int n = static_cast<int>(sizeof kSuffix) - 1;
    return name && name->length >= n && strcmp(name->c_str() + name->length - n, kSuffix) == 0;
}
}  // namespace

// >>lifecycle

KuAnimatedSprite::KuAnimatedSprite()
    : KuRenderNode(kKuTypeAnimatedSprite), linearFiltering(defaultImageProps.linearMinFilter),
      animations(KuDictionary::newDictionary()), animationOrder(KuArray<KuAnimation*>::newArray()) {}

KuAnimatedSprite::~KuAnimatedSprite() {
    KuRelease(pendingTrigger);
    KuRelease(hiddenLayers);
    KuRelease(animations);
    KuRelease(animationOrder);
    KuRelease(singleImage);
    KuRelease(current);
    KuRelease(sheetName);
}

void KuAnimatedSprite::registerTriggerCallback(KuAnimationTriggerCallback callback) {
    triggerCallback = callback;
}

void KuAnimatedSprite::setPendingTrigger(KuString* trigger) {
    KuSetRetained(pendingTrigger, trigger);
}

// >>building

void KuAnimatedSprite::addAnimation(KuAnimation* animation) {
    if (!animation) return;
    animation->sprite = this;
    for (KuAnimationLayer* layer : *animation->layers)
        layer->sprite = this;
    animations->addKeyObject(animation->name ? animation->name : KUSTR_EMPTY, animation);
    animationOrder->addObject(animation);
}

int KuAnimatedSprite::addAnimationsArray(KuArray<KuDictionary*>* list, KuString* sheet) {
    if (!list || list->kindCode() != kKuTypeArray) return kKuAnimationNotAnArray;
    if (sheet) KuSetRetained(sheetName, sheet);
    for (KuObject* element : *list->as<KuObject*>()) {
        if (!element || element->kindCode() != kKuTypeDictionary) continue;
        auto* animation = new KuAnimation;
        int result =
            animation->initWithDictionary(static_cast<KuDictionary*>(element), sheet, nullptr, false, this);
        if (result == 0) addAnimation(animation);
        KuRelease(animation);
        if (result != 0) return kKuAnimationFailed;
    }
    return 0;
}

KuAnimatedSprite* KuAnimatedSprite::newWithAnimationsArray(float fps, KuArray<KuDictionary*>* list,
                                                           KuString* sheet) {
    auto* sprite = new KuAnimatedSprite;
    sprite->defaultFps = fps;
    if (sprite->addAnimationsArray(list, sheet) != 0) {
        KuRelease(sprite);
        return nullptr;
    }
    return sprite;
}

KuAnimatedSprite* KuAnimatedSprite::newWithAnimationsFile(float fps, KuString* file, KuString* sheet,
                                                          KuString* prefix, bool quiet) {
    auto* sprite = new KuAnimatedSprite;
    sprite->defaultFps = fps;
    if (sprite->addAnimationsFile(file, sheet, prefix, quiet) != 0) {
        KuRelease(sprite);
        return nullptr;
    }
    return sprite;
}

KuAnimatedSprite* KuAnimatedSprite::newWithImages(float fps, KuString* name, KuString* sheet,
                                                  KuArray<KuString*>* frameNames) {
    if (!frameNames) return nullptr;
    auto* images = KuArray<KuImage*>::array();
    for (KuString* reference : *frameNames) {
        KuImage* image = reference ? KuAnimationFrameImage(reference, sheet, true) : nullptr;
        if (!image) return nullptr;
        images->addObject(image);
    }
    KuAnimatedSprite* sprite = newWithImages(fps, name, images);
    if (!sprite) return nullptr;
    if (sheet) KuSetRetained(sprite->sheetName, sheet);
    // The frames keep the references as given ("sheet:frame" included), so that they can be made
    // again after freeImages.
    KuAnimationLayer* layer = sprite->current->layers->objectAtIndex(0);
    for (int i = 0; i < layer->frameCount(); i++)
        KuSetRetained(layer->frames->objectAtIndex(i)->name, frameNames->objectAtIndex(i));
    return sprite;
}

KuAnimatedSprite* KuAnimatedSprite::newWithImages(float fps, KuString* name, KuArray<KuImage*>* images) {
    if (!images) return nullptr;
    auto* sprite = new KuAnimatedSprite;
    sprite->defaultFps = fps;
    auto* animation = new KuAnimation;
    KuSetRetained(animation->name, name ? name : KuString::stringWithString("anim"));
    auto* layer = new KuAnimationLayer;
    KuSetRetained(layer->name, KuString::stringWithString("layer"));
    layer->fps = fps;
    for (KuImage* image : *images) {
        auto* frame = new KuAnimationFrame;
        KuSetRetained(frame->image, image);
        KuSetRetained(frame->name, image->frameName);
        layer->frames->addObject(frame, true);
    }
    animation->addLayer(layer);
    KuRelease(layer);
    sprite->addAnimation(animation);
    KuRelease(animation);
    sprite->playAnimation(animation->name, true, false);
    return sprite;
}

KuAnimatedSprite* KuAnimatedSprite::newWithImage(KuImage* image) {
    if (!image) return nullptr;
    auto* sprite = new KuAnimatedSprite;
    KuSetRetained(sprite->singleImage, image);
    return sprite;
}

// >>animations files

int KuAnimatedSprite::addAnimationsFile(KuString* file, KuString* sheet, KuString* prefix, bool quiet) {
    KuData* data = file ? KuPackfileManager::dataFromFilename(file) : nullptr;
    if (!data) {
        KuError("Animations file %@ can't be found.", file);
        return kKuAnimationFailed;
    }
    KuObject* root = quickParseKuJson(data, nullptr);
    if (!root) {
        KuError("Animations file %@ is not valid.", file);
        return kKuAnimationFailed;
    }
    return addAnimationsFromObject(root, sheet, prefix, quiet);
}

int KuAnimatedSprite::addAnimationsFromObject(KuObject* root, KuString* sheet, KuString* prefix, bool quiet) {
    if (!root || root->kindCode() != kKuTypeDictionary) return kKuAnimationFailed;
    auto* dict = static_cast<KuDictionary*>(root);
    KuString* useSheet = sheet ? sheet : stringValue(dict->objectForKey(KUSTR_sheet));
    if (useSheet) KuSetRetained(sheetName, useSheet);
    if (dict->containsKey("aseanims") || dict->containsKey(KUSTR_frames)) {
        sourceKind = kKuAnimationsFromTags;
        return addTaggedAnimations(dict, useSheet, prefix);
    }
    KuDictionary* layered = dict->dictionaryForKey("aselayeranims");
    if (layered) {
        sourceKind = kKuAnimationsFromLayerTags;
        return addLayerTaggedAnimations(layered, useSheet, prefix);
    }
    KuArray<KuObject*>* list = dict->arrayForKey("animations");
    if (!list) return kKuAnimationFailed;
    sourceKind = kKuAnimationsFromDictionaries;
    for (KuObject* element : *list) {
        if (!element || element->kindCode() != kKuTypeDictionary) continue;
        auto* animation = new KuAnimation;
        int result =
            animation->initWithDictionary(static_cast<KuDictionary*>(element), useSheet, prefix, quiet, this);
        if (result == 0) {
            addAnimation(animation);
            animationCount++;
        }
        KuRelease(animation);
        if (result != 0) return kKuAnimationFailed;
    }
    return 0;
}

namespace {

struct Tag {
    KuString* name;
    int frames;
};

// A tag's name and frame count; false (with a warning) for a tag that cannot be read.
bool readTag(KuObject* element, Tag* tag) {
    if (!element || element->kindCode() != kKuTypeDictionary) return false;
    auto* dict = static_cast<KuDictionary*>(element);
    tag->name = stringValue(dict->objectForKey(KUSTR_name));
    const long long from = dict->intForKey(KUSTR_from, 0), to = dict->intForKey(KUSTR_to, 0);
    const long long count = to - from + 1;
    if (!tag->name) return false;
    if (count > kMaxFramesPerTag) {
        KuWarning("Animation tag %@ spans %lld frames; at most %d are read.", tag->name, count,
                  kMaxFramesPerTag);
        return false;
    }
    tag->frames = count > 0 ? static_cast<int>(count) : 0;
    return true;
}

// One frame per number 1 ... count of the names "<base>_<n>", looked up quietly: a missing frame
// stays in the layer without an image, holding its time.
KuAnimationLayer* newNumberedLayer(KuString* layerName, KuString* base, int count, KuString* sheet,
                                   bool loop) {
    auto* layer = new KuAnimationLayer;
    KuSetRetained(layer->name, layerName);
    layer->loop = loop;
    for (int n = 1; n <= count; n++) {
        auto* frame = new KuAnimationFrame;
        KuString* reference = KuString::stringWithFormat("%@_%d", base, n);
        KuSetRetained(frame->name, reference);
        KuSetRetained(frame->image, KuAnimationFrameImage(reference, sheet, true));
        layer->frames->addObject(frame, true);
    }
    return layer;
}

}  // namespace

int KuAnimatedSprite::addTaggedAnimations(KuDictionary* root, KuString* sheet, KuString* prefix) {
    KuArray<KuObject*>* tags = root->arrayForKey("aseanims");
    if (!tags) {
        KuDictionary* meta = root->dictionaryForKey(KUSTR_meta);
        tags = meta ? meta->arrayForKey("frameTags") : nullptr;
    }
    if (!tags) return kKuAnimationFailed;
    for (KuObject* element : *tags) {
        Tag tag{};
        if (!readTag(element, &tag)) return kKuAnimationFailed;
        auto* animation = new KuAnimation;
        KuSetRetained(animation->name, tag.name);
        const bool loop = endsWithLoop(tag.name);
        animation->looping = loop;
        KuString* base = KuString::stringWithFormat("%@_%@", prefix, tag.name);
        KuAnimationLayer* layer = newNumberedLayer(nullptr, base, tag.frames, sheet, loop);
        animation->addLayer(layer);
        KuRelease(layer);
        addAnimation(animation);
        KuRelease(animation);
        animationCount++;
    }
    return 0;
}

int KuAnimatedSprite::addLayerTaggedAnimations(KuDictionary* layered, KuString* sheet, KuString* prefix) {
    KuArray<KuObject*>* layerList = layered->arrayForKey("layers");
    KuArray<KuObject*>* tags = layered->arrayForKey("frameTags");
    if (!layerList || !tags) return kKuAnimationFailed;
    for (KuObject* element : *tags) {
        Tag tag{};
        if (!readTag(element, &tag)) return kKuAnimationFailed;
        auto* animation = new KuAnimation;
        KuSetRetained(animation->name, tag.name);
        const bool loop = endsWithLoop(tag.name);
        animation->looping = loop;
        for (KuObject* entry : *layerList) {
            if (!entry || entry->kindCode() != kKuTypeDictionary) continue;
            auto* layerDict = static_cast<KuDictionary*>(entry);
            if (!layerDict->containsKey(KUSTR_group)) continue;
            KuString* layerName = stringValue(layerDict->objectForKey(KUSTR_name));
            if (!layerName) {
                KuRelease(animation);
                KuError("Animations file layer of group %@ has no name.",
                        layerDict->stringForKey(KUSTR_group));
                return kKuAnimationFailed;
            }
            KuString* base = KuString::stringWithFormat("%@_%@_%@", prefix, layerName, tag.name);
            KuAnimationLayer* layer = newNumberedLayer(layerName, base, tag.frames, sheet, loop);
            animation->addLayer(layer);
            KuRelease(layer);
        }
        addAnimation(animation);
        KuRelease(animation);
        animationCount++;
    }
    return 0;
}

// >>playing

KuAnimation* KuAnimatedSprite::animationNamed(KuString* name) const {
    if (!name) return nullptr;
    KuObject* found = animations->objectForKey(name);
    return found ? static_cast<KuAnimation*>(found) : nullptr;
}

void KuAnimatedSprite::startLayers(KuAnimation* animation, bool loop, bool forceLoop) {
    for (KuAnimationLayer* layer : *animation->layers) {
        const float rate = layer->fps != 0 ? layer->fps : animation->fps != 0 ? animation->fps : defaultFps;
        layer->start(rate, forceLoop || loop);
    }
}

int KuAnimatedSprite::playAnimation(KuString* name, bool loop, bool warn) {
    if (animations->count() == 0) {
        KuWarning("Animation dict missing for anim %@.", name);
        return -1;
    }
    KuRelease(current);
    current = nullptr;
    KuAnimation* animation = animationNamed(name);
    if (!animation) {
        if (warn) KuWarning("Animation %@ not found.", name);
        return -1;
    }
    KuRetain(animation);
    current = animation;
    applyHiddenLayers();
    startLayers(animation, loop, false);
    paused = false;
    return 0;
}

void KuAnimatedSprite::play() {
    if (current) startLayers(current, true, true);
    paused = false;
}

bool KuAnimatedSprite::isPlaying() const {
    if (!current) return false;
    for (KuAnimationLayer* layer : *current->layers)
        if (!layer->finished) return true;
    return false;
}

void KuAnimatedSprite::forceFrame(KuString* layerName, int frame) {
    if (!current) return;
    for (KuAnimationLayer* layer : *current->layers)
        if (!layerName || KuStreq(layer->name, layerName)) layer->forceFrame(frame);
}

void KuAnimatedSprite::stepFrame(int n) {
    if (!current) return;
    for (KuAnimationLayer* layer : *current->layers)
        layer->stepFrame(n);
}

void KuAnimatedSprite::firstFrame(KuString* name, bool warn) {
    if (name) playAnimation(name, false, warn);
    if (current)
        for (KuAnimationLayer* layer : *current->layers)
            layer->forcedFrame = layer->frameCount() > 0 ? 0 : -1;
    paused = true;
}

void KuAnimatedSprite::lastFrame(KuString* name, bool warn) {
    if (name) playAnimation(name, false, warn);
    if (current)
        for (KuAnimationLayer* layer : *current->layers)
            layer->forcedFrame = std::min(layer->frameCount() - 1, 99999);
    paused = true;
}

bool KuAnimatedSprite::hasAnimation(KuString* name) const {
    return animationNamed(name) != nullptr;
}

KuString* KuAnimatedSprite::findAnimationNameAt(int index) const {
    KuAnimation* animation = animationOrder->objectAtIndex(index);
    return animation ? animation->name : nullptr;
}

int KuAnimatedSprite::layerCount() const {
    return current ? current->layers->count() : 0;
}

int KuAnimatedSprite::animationFlags(KuString* name) const {
    KuAnimation* animation = name ? animationNamed(name) : current;
    return animation ? animation->flags : 0;
}

bool KuAnimatedSprite::isAnimationLooping(KuString* name) const {
    KuAnimation* animation = name ? animationNamed(name) : current;
    return animation && animation->looping;
}

// >>layers

void KuAnimatedSprite::showLayer(KuString* name, bool show, bool remember) {
    if (sourceKind == kKuAnimationsFromTags) return;
    if (remember) {
        if (!hiddenLayers) hiddenLayers = KuDictionary::newDictionary();
        auto rememberName = [&](KuString* layerName) {
            if (!layerName) return;
            if (show)
                hiddenLayers->removeObjectForKey(layerName);
            else
                hiddenLayers->addKeyInt(layerName, 1);
        };
        if (name)
            rememberName(name);
        else if (current)
            for (KuAnimationLayer* layer : *current->layers)
                rememberName(layer->name);
    }
    if (!current) return;
    for (KuAnimationLayer* layer : *current->layers)
        if (!name || KuStreq(layer->name, name)) layer->hidden = !show;
}

void KuAnimatedSprite::showLayer(int flagMask, bool show) {
    if (!current) return;
    for (KuAnimationLayer* layer : *current->layers)
        if (layer->flags & flagMask) layer->hidden = !show;
}

void KuAnimatedSprite::applyHiddenLayers() {
    if (sourceKind == kKuAnimationsFromTags || !hiddenLayers || !current) return;
    for (KuAnimationLayer* layer : *current->layers)
        layer->hidden = layer->name && hiddenLayers->containsKey(layer->name);
}

// >>drawing

void KuAnimatedSprite::update(float dt) {
    if (pendingTrigger) {
        // Taken off first: the callback may set a new trigger or release the sprite's owner.
        KuString* trigger = pendingTrigger;
        pendingTrigger = nullptr;
        if (triggerCallback) triggerCallback(referenceObject, trigger);
        KuRelease(trigger);
    }
    if (paused || !current) return;
    for (KuAnimationLayer* layer : *current->layers)
        layer->update(dt);
}

void KuAnimatedSprite::render() {
    renderAt(_position);
}

void KuAnimatedSprite::renderAt(KuPoint p) {
    if (_hidden) return;
    KuMatrixPush();
    auto placed = [this](KuPoint at) {
        KuMatrixApply(KuMatrixTranslation(at.x, at.y));
        if (_xScale != 1 || _yScale != 1) KuMatrixApply(KuMatrixScale(_xScale, _yScale));
        if (_rotation != 0) KuMatrixApply(KuMatrixRotation(_rotation));
    };
    if (singleImage) {
        placed(p);
        KuGraphicsRenderer* renderer = KuGraphics::SharedObject()->renderer;
        const bool clipped = clipW != -1 && clipH != -1 && renderer;
        if (clipped) {
            KuViewportRect rect;
            rect.x = static_cast<int>(std::fmax(std::fmin(clipX, 1e9f), -1e9f));
            rect.y = static_cast<int>(std::fmax(std::fmin(clipY, 1e9f), -1e9f));
            rect.width = static_cast<int>(std::fmax(std::fmin(clipW, 1e9f), 0.0f));
            rect.height = static_cast<int>(std::fmax(std::fmin(clipH, 1e9f), 0.0f));
            renderer->setScissor(true, rect);
        }
        singleImage->render();
        if (clipped) renderer->setScissor(false);
    } else if (current) {
        placed(KuPoint{p.x + current->offset.x, p.y + current->offset.y});
        for (KuAnimationLayer* layer : *current->layers)
            layer->render();
    }
    renderChildren();
    KuMatrixPop();
}

// >>appearance

namespace {
template <typename F>
void eachFrameImage(KuArray<KuAnimation*>* order, KuImage* single, F f) {
    for (KuAnimation* animation : *order)
        for (KuAnimationLayer* layer : *animation->layers)
            for (KuAnimationFrame* frame : *layer->frames)
                if (frame->image) f(frame->image);
    if (single) f(single);
}
}  // namespace

void KuAnimatedSprite::color(KuColor c) {
    tint = c;
    _color = c;
    eachFrameImage(animationOrder, singleImage, [c](KuImage* image) { image->color(c); });
}

void KuAnimatedSprite::alpha(float a) {
    tint.alpha = a;
    _color.alpha = a;
    eachFrameImage(animationOrder, singleImage, [a](KuImage* image) { image->alpha(a); });
}

void KuAnimatedSprite::filterLinear(bool on) {
    linearFiltering = on;
    // Frames of one sheet share its atlas: one setting serves every frame cut from it.
    KuTexture2D* done = nullptr;
    eachFrameImage(animationOrder, nullptr, [on, &done](KuImage* image) {
        if (image->texture && image->texture == done && !image->renders) return;
        done = image->texture;
        image->filterLinear(on);
    });
}

void KuAnimatedSprite::shaderProgram(KuShader* program) {
    shader = program;
    eachFrameImage(animationOrder, nullptr, [program](KuImage* image) { image->shaderProgram(program); });
}

// >>memory

void KuAnimatedSprite::freeImages() {
    for (KuAnimation* animation : *animationOrder)
        for (KuAnimationLayer* layer : *animation->layers)
            for (KuAnimationFrame* frame : *layer->frames)
                if (frame->name) frame->freeImage();
    imagesFreed = true;
}

void KuAnimatedSprite::reloadImages() {
    if (!imagesFreed) return;
    for (KuAnimation* animation : *animationOrder)
        for (KuAnimationLayer* layer : *animation->layers)
            for (KuAnimationFrame* frame : *layer->frames)
                if (frame->reloadImage(sheetName)) {
                    frame->image->filterLinear(linearFiltering);
                    if (shader) frame->image->shaderProgram(shader);
                }
    imagesFreed = false;
}

// >>saving

KuDictionary* KuAnimatedSprite::saveAsDict() const {
    KuDictionary* dict = KuDictionary::dictionary();
    auto* written = KuArray<KuObject*>::array();
    for (int i = 0; i < animations->count(); i++)
        written->addObject(static_cast<KuAnimation*>(animations->valueAtIndex(i))->saveAsDict());
    dict->addKeyObject(KUSTR_animations, written);
    if (sheetName) dict->addKeyString(KUSTR_sheet, sheetName);
    return dict;
}
