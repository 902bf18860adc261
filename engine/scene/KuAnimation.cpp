// Animations, layers and frames: reading and writing the animation dictionary, layer timing and
// drawing.
//
// Sections: >>frame images >>frames >>layers >>layer timing >>animations
#include "KuAnimation.h"

#include <cmath>
#include <cstring>

#include "KuAnimatedSprite.h"
#include "KuLog.h"
#include "KuSpriteSheet.h"

// >>frame images

KuImage* KuAnimationFrameImage(KuString* reference, KuString* sheet, bool quiet) {
    if (!reference) return nullptr;
    const char* text = reference->c_str();
    const char* colon = strchr(text, ':');
    KuString* sheetName = sheet;
    KuString* frameName = reference;
    if (colon) {
        // "sheet:frame"; anything after a second colon is not part of the frame name.
        const char* end = strchr(colon + 1, ':');
        sheetName = KuString::stringWithStringAndLength(text, static_cast<int>(colon - text));
        if (colon == text) sheetName = KUSTR_EMPTY;
        const int frameLength = static_cast<int>((end ? end : text + reference->length) - (colon + 1));
        frameName =
            frameLength > 0 ? KuString::stringWithStringAndLength(colon + 1, frameLength) : KUSTR_EMPTY;
    }
    if (!sheetName) return nullptr;
    KuSpriteSheet* found = KuSpriteSheet::cacheSheetWithName(sheetName);
    return found ? found->copyImageNamed(frameName, quiet) : nullptr;
}

// >>frames

KuAnimationFrame::~KuAnimationFrame() {
    KuRelease(image);
    KuRelease(name);
    KuRelease(trigger);
}

void KuAnimationFrame::freeImage() {
    KuRelease(image);
    image = nullptr;
}

bool KuAnimationFrame::reloadImage(KuString* sheet) {
    if (!image && name) KuSetRetained(image, KuAnimationFrameImage(name, sheet, true));
    return image != nullptr;
}

// >>layers

namespace {
bool nonZero(KuPoint p) {
    return p.x != 0 || p.y != 0;
}

KuString* stringValue(KuObject* value) {
    return value && value->isString() ? static_cast<KuString*>(value) : nullptr;
}
}  // namespace

KuAnimationLayer::KuAnimationLayer()
    : KuObject(kKuTypeObject), frames(KuArray<KuAnimationFrame*>::newArray()) {}

KuAnimationLayer::~KuAnimationLayer() {
    KuRelease(frames);
    KuRelease(name);
}

int KuAnimationLayer::initWithDictionary(KuDictionary* dict, KuString* sheet, KuString* prefix, bool quiet) {
    if (!dict) return kKuAnimationMissingFrames;
    KuSetRetained(name, stringValue(dict->objectForKey(KUSTR_name)));
    flags = dict->intForKey(KUSTR_flags, 0);
    fps = static_cast<float>(dict->intForKey(KUSTR_fps, 0));
    loop = dict->boolForKey(KUSTR_loop, false);
    KuArray<KuObject*>* names = dict->arrayForKey("frames");
    if (!names) return kKuAnimationMissingFrames;
    KuArray<KuObject*>* offsets = dict->arrayForKey("offsets");
    KuArray<KuObject*>* triggers = dict->arrayForKey("triggers");
    frames->removeAllObjects();
    for (KuObject* element : *names) {
        KuString* text = stringValue(element);
        const int kept = frames->count();  // offsets and triggers follow the frames kept so far
        auto* frame = new KuAnimationFrame;
        if (!text || !KuStreq(text, "null")) {
            KuString* reference = text;
            if (reference && prefix && reference->c_str()[0] == '_')
                reference = KuString::stringWithFormat("%@%@", prefix, reference);
            KuImage* image = KuAnimationFrameImage(reference, sheet, quiet);
            if (!image) {
                KuRelease(frame);
                if (quiet) continue;
                if (!text) KuError("Animation frame names must be strings (layer %@).", name);
                return kKuAnimationFailed;
            }
            KuSetRetained(frame->image, image);
            KuSetRetained(frame->name, reference);
        }
        if (offsets && kept < offsets->count())
            frame->offset = offsets->objectAtIndex(kept)->pointValue(KuPoint{0, 0});
        if (triggers && kept < triggers->count())
            KuSetRetained(frame->trigger, stringValue(triggers->objectAtIndex(kept)));
        frames->addObject(frame, true);
    }
    return 0;
}

KuDictionary* KuAnimationLayer::saveAsDict() const {
    KuDictionary* dict = KuDictionary::dictionary();
    if (name) dict->addKeyString(KUSTR_name, name);
    if (flags != 0) dict->addKeyInt(KUSTR_flags, flags);
    if (loop) dict->addKeyInt(KUSTR_loop, 1);
    bool anyOffset = false, anyTrigger = false;
    for (KuAnimationFrame* frame : *frames) {
        anyOffset = anyOffset || nonZero(frame->offset);
        anyTrigger = anyTrigger || frame->trigger;
    }
    auto* names = KuArray<KuObject*>::array();
    auto* offsets = KuArray<KuObject*>::array();
    auto* triggers = KuArray<KuObject*>::array();
    for (KuAnimationFrame* frame : *frames) {
        // An empty frame is a pause of one frame time: it is written back as "null" so that the
        // timing, and the offsets and triggers after it, survive a save.
        names->addObject(frame->name ? frame->name : KUSTR_null);
        offsets->addObject(KuString::stringWithPoint(frame->offset));
        triggers->addObject(frame->trigger ? static_cast<KuObject*>(frame->trigger) : kKuNullObject);
    }
    dict->addKeyObject(KUSTR_frames, names);
    if (anyOffset) dict->addKeyObject(KUSTR_offsets, offsets);
    if (anyTrigger) dict->addKeyObject(KUSTR_triggers, triggers);
    if (fps != 0) dict->addKeyInt(KUSTR_fps, static_cast<int>(std::fmax(std::fmin(fps, 2e9f), -2e9f)));
    return dict;
}

// >>layer timing

void KuAnimationLayer::start(float startRate, bool loopWhilePlaying) {
    rate = startRate;
    if (frames->count() == 0) {
        finished = true;
        return;
    }
    // A rate that is not positive never advances: the layer stays on its first frame.
    duration = rate > 0 ? static_cast<float>(frames->count()) / rate : INFINITY;
    forcedFrame = -1;
    lastDrawnFrame = -1;
    elapsed = 0;
    looping = loopWhilePlaying || loop;
    finished = false;
}

void KuAnimationLayer::playLayer(bool loopWhilePlaying) {
    start(rate, loopWhilePlaying);
}

void KuAnimationLayer::forceFrame(int frame) {
    forcedFrame = std::min(frame, frames->count() - 1);
}

void KuAnimationLayer::stepFrame(int n) {
    const int count = frames->count();
    long long next = forcedFrame == -1 ? n : static_cast<long long>(forcedFrame) + n;
    if (next < 0) next = count - 1;
    if (next >= count) next = 0;
    forcedFrame = static_cast<int32_t>(next);
}

void KuAnimationLayer::update(float dt) {
    if (finished) return;
    elapsed += dt;
    if (!std::isfinite(elapsed)) elapsed = 0;
    if (!(elapsed >= duration)) return;
    if (looping) {
        elapsed = std::fmod(elapsed, duration);
    } else {
        elapsed = duration;
        finished = true;
    }
}

int KuAnimationLayer::currentFrameIndex() const {
    const int count = frames->count();
    if (count == 0) return -1;
    if (forcedFrame != -1) return forcedFrame;
    double at = static_cast<double>(elapsed) / duration * count;
    if (!(at >= 0)) at = 0;
    if (at >= count) return count - 1;
    return static_cast<int>(std::floor(at));
}

void KuAnimationLayer::render() {
    if (hidden) return;
    const int index = currentFrameIndex();
    KuAnimationFrame* frame = frames->objectAtIndex(index);
    if (frame && frame->image && sprite) {
        frame->image->filterLinear(sprite->linearFiltering);
        frame->image->color(sprite->tint);
        frame->image->renderAt(frame->offset);
    }
    if (frame && index != lastDrawnFrame && frame->trigger && forcedFrame == -1 && sprite)
        sprite->setPendingTrigger(frame->trigger);
    lastDrawnFrame = index;
}

// >>animations

KuAnimation::KuAnimation() : KuObject(kKuTypeObject), layers(KuArray<KuAnimationLayer*>::newArray()) {}

KuAnimation::~KuAnimation() {
    KuRelease(layers);
    KuRelease(name);
}

void KuAnimation::addLayer(KuAnimationLayer* layer) {
    if (!layer) return;
    layer->sprite = sprite;
    layers->addObject(layer);
}

int KuAnimation::initWithDictionary(KuDictionary* dict, KuString* sheet, KuString* prefix, bool quiet,
                                    KuAnimatedSprite* owner) {
    if (!dict) return kKuAnimationMissingFrames;
    sprite = owner;
    KuSetRetained(name, stringValue(dict->objectForKey(KUSTR_name)));
    offset = dict->pointForKey(KUSTR_offset, KuPoint{0, 0});
    fps = dict->floatForKey(KUSTR_fps, 0);
    flags = dict->intForKey(KUSTR_flags, 0);
    KuString* useSheet = sheet ? sheet : stringValue(dict->objectForKey(KUSTR_sheet));
    if (!useSheet) return kKuAnimationMissingFrames;
    layers->removeAllObjects();
    KuObject* layerList = dict->objectForKey(KUSTR_layers);
    if (layerList && layerList->kindCode() == kKuTypeArray) {
        for (KuObject* element : *static_cast<KuArray<KuObject*>*>(layerList)) {
            if (!element || element->kindCode() != kKuTypeDictionary) continue;
            auto* layer = new KuAnimationLayer;
            int result =
                layer->initWithDictionary(static_cast<KuDictionary*>(element), useSheet, prefix, quiet);
            if (result == 0) addLayer(layer);
            KuRelease(layer);
            if (result != 0) return result;
        }
        return 0;
    }
    auto* layer = new KuAnimationLayer;
    int result = layer->initWithDictionary(dict, useSheet, prefix, quiet);
    if (result == 0) {
        addLayer(layer);
        looping = layer->loop;
    }
    KuRelease(layer);
    return result;
}

KuDictionary* KuAnimation::saveAsDict() const {
    KuDictionary* dict = KuDictionary::dictionary();
    if (name) dict->addKeyString(KUSTR_name, name);
    if (nonZero(offset)) dict->addKeyObject(KUSTR_offset, KuString::stringWithPoint(offset));
    if (fps != 0) dict->addKeyFloat(KUSTR_fps, fps);
    if (flags != 0) dict->addKeyInt(KUSTR_flags, flags);
    auto* written = KuArray<KuObject*>::array();
    for (KuAnimationLayer* layer : *layers)
        written->addObject(layer->saveAsDict());
    dict->addKeyObject(KUSTR_layers, written);
    return dict;
}
