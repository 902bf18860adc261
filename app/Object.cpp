#include "Object.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "DocumentValues.h"
#include "GameScene.h"
#include "KuAnimatedSprite.h"
#include "KuLog.h"
#include "KuNumber.h"

namespace {

bool isZero(KuPoint p) {
    return p.x == 0 && p.y == 0;
}

bool hasFrames(const KuDictionary* d) {
    KuObject* frames = d->objectForKey(KUSTR_frames);
    return isArray(frames) && static_cast<KuArray<KuObject*>*>(frames)->count() > 0;
}

// An animation counts when it has frames of its own, or, written in layers, when one of its
// layers has frames: dropping the layered form would lose animations on every save.
bool animationHasFrames(const KuObject* entry) {
    if (!isDictionary(entry)) return false;
    const KuDictionary* animation = static_cast<const KuDictionary*>(entry);
    if (hasFrames(animation)) return true;
    KuObject* layers = animation->objectForKey(KUSTR_layers);
    if (!isArray(layers)) return false;
    for (KuObject* layer : *static_cast<KuArray<KuObject*>*>(layers))
        if (isDictionary(layer) && hasFrames(static_cast<KuDictionary*>(layer))) return true;
    return false;
}

void setDirection(KuDictionary* d, KuString* key, int direction) {
    d->addKeyString(key, KuString::stringWithString(ObjectDirectionWord(direction)));
}

}  // namespace

const char* ObjectDirectionWord(int direction) {
    switch (direction) {
    case kObjectDirRight:
        return "DIR_RIGHT";
    case kObjectDirLeft:
        return "DIR_LEFT";
    case kObjectDirBack:
        return "DIR_BACK";
    default:
        return "DIR_FRONT";
    }
}

int ObjectDirectionFromValue(const KuObject* value, int fallback) {
    if (!value) return fallback;
    if (value->kindCode() == kKuTypeNumber) return value->intValue();
    if (!value->isString()) return fallback;
    const KuString* text = static_cast<const KuString*>(value);
    static const std::pair<const char*, int> words[] = {{"DIR_RIGHT", kObjectDirRight},
                                                        {"DIR_LEFT", kObjectDirLeft},
                                                        {"DIR_FRONT", kObjectDirFront},
                                                        {"DIR_BACK", kObjectDirBack}};
    for (const auto& w : words)
        if (KuStreq(text, w.first)) return w.second;
    return text->intValue();
}

// >>object

KuArray<Object*>* Object::_masterObjectArray = nullptr;
int Object::_nextObjectID = 300000;

Object::Object() : KuRenderNode(kKuTypeRenderNodeFlag) {}

Object::~Object() {
    KuRelease(image);
    KuRelease(name);
    KuRelease(sheetName);
    KuRelease(dictionary);
}

Object* Object::newWithDictionary(KuDictionary* dict, KuString* sheet) {
    Object* object = new Object();
    object->load(dict);
    KuSetRetained(object->sheetName, sheet);
    return object;
}

void Object::normaliseHotspot() {
    if (hotspotMin.x > hotspotMax.x) std::swap(hotspotMin.x, hotspotMax.x);
    if (hotspotMin.y > hotspotMax.y) std::swap(hotspotMin.y, hotspotMax.y);
    hotspotMin = truncated(hotspotMin);
    hotspotMax = truncated(hotspotMax);
}

void Object::zSort(int value) {
    sortKey = value;
    if (image) image->sortKey = value;
}

void Object::load(KuDictionary* dict) {
    KuSetRetained(dictionary, dict);
    if (objectID == 0) objectID = _nextObjectID++;
    KuDictionary* d = dictionary ? dictionary : KuDictionary::dictionary();

    KuSetRetained(name, d->stringForKey(KUSTR_name));
    pos = truncated(d->pointForKey(KUSTR_pos, KuPoint{0, 0}));
    layer = d->intForKey(KUSTR_layer, 0);
    usedir = ObjectDirectionFromValue(d->objectForKey(KUSTR_usedir), 0);
    zSort(d->intForKey(KUSTR_zsort, wholeNumber(pos.y)));
    KuRect hotspot = d->rectForKey(KUSTR_hotspot, KuRect{});
    hotspotMin = hotspot.first;
    hotspotMax = hotspot.second;
    usepos = truncated(d->pointForKey(KUSTR_usepos, KuPoint{0, 0}));
    usepos2 = truncated(d->pointForKey(KUSTR_usepos2, KuPoint{0, 0}));
    hasUsepos2 = !isZero(usepos2);
    usedir2 = ObjectDirectionFromValue(d->objectForKey(KUSTR_usedir2), 0);
    prop = d->intForKey(KUSTR_prop, 0) != 0;
    spot = d->intForKey(KUSTR_spot, 0) != 0;
    trigger = d->intForKey(KUSTR_trigger, 0) != 0;

    if (!prop && !spot) {
        if (isZero(hotspotMin) && isZero(hotspotMax)) {
            hotspotMin = KuPoint{-10, -10};
            hotspotMax = KuPoint{10, 10};
        }
        if (isZero(usepos)) usepos = KuPoint{0, -30};
    }
    normaliseHotspot();

    // Placed by its hotspot alone: the hotspot's middle becomes the position.
    if (isZero(pos) && !d->containsKey(KUSTR_animations)) {
        KuPoint c{hotspotMin.x + (hotspotMax.x - hotspotMin.x) / 2,
                  hotspotMin.y + (hotspotMax.y - hotspotMin.y) / 2};
        pos = c;
        hotspotMin = KuPoint{hotspotMin.x - c.x, hotspotMin.y - c.y};
        hotspotMax = KuPoint{hotspotMax.x - c.x, hotspotMax.y - c.y};
        usepos = KuPoint{usepos.x - c.x, usepos.y - c.y};
        normaliseHotspot();
    }
}

KuDictionary* Object::save() {
    if (!dictionary) return nullptr;
    KuDictionary* d = dictionary;
    normaliseHotspot();
    usepos = truncated(usepos);
    pos = truncated(pos);

    if (name) d->addKeyString(KUSTR_name, name);

    if (spot) {
        pos = KuPoint{pos.x + usepos.x, pos.y + usepos.y};
        usepos = KuPoint{0, 0};
        d->removeObjectForKey(KUSTR_hotspot);
        d->removeObjectForKey(KUSTR_usepos);
        d->removeObjectForKey(KUSTR_zsort);
        setDirection(d, KUSTR_usedir, usedir);
    } else if (prop) {
        d->removeObjectForKey(KUSTR_hotspot);
        d->removeObjectForKey(KUSTR_usepos);
        d->removeObjectForKey(KUSTR_usedir);
        d->addKeyInt(KUSTR_zsort, zSort());
    } else {
        d->addKeyRect(KUSTR_hotspot, KuRect{hotspotMin, hotspotMax});
        d->addKeyPoint(KUSTR_usepos, usepos);
        setDirection(d, KUSTR_usedir, usedir);
        if (hasUsepos2) {
            d->addKeyPoint(KUSTR_usepos2, usepos2);
            setDirection(d, KUSTR_usedir2, usedir2);
        } else {
            d->removeObjectForKey(KUSTR_usepos2);
            d->removeObjectForKey(KUSTR_usedir2);
        }
        d->addKeyInt(KUSTR_zsort, zSort());
    }

    if (layer != 0)
        d->addKeyInt(KUSTR_layer, layer);
    else
        d->removeObjectForKey(KUSTR_layer);
    d->addKeyPoint(KUSTR_pos, pos);

    const std::pair<KuString*, bool> flags[] = {
        {KUSTR_spot, spot}, {KUSTR_prop, prop}, {KUSTR_trigger, trigger}};
    for (const auto& flag : flags) {
        if (flag.second)
            d->addKeyInt(flag.first, 1);
        else
            d->removeObjectForKey(flag.first);
    }

    if (d->containsKey(KUSTR_animations)) {
        bool keep = false;
        KuObject* animations = d->objectForKey(KUSTR_animations);
        if (isArray(animations))
            for (KuObject* entry : *static_cast<KuArray<KuObject*>*>(animations))
                if ((keep = animationHasFrames(entry))) break;
        if (!keep) d->removeObjectForKey(KUSTR_animations);
    }
    return d;
}

KuDictionary* Object::saveUndo() {
    KuDictionary* d = KuDictionary::dictionary();
    if (name) d->addKeyString(KUSTR_name, name);
    setDirection(d, KUSTR_usedir, usedir);
    d->addKeyPoint(KUSTR_usepos, usepos);
    d->addKeyPoint(KUSTR_pos, pos);
    d->addKeyInt(KUSTR_zsort, zSort());
    d->addKeyRect(KUSTR_hotspot, KuRect{hotspotMin, hotspotMax});
    d->addKeyInt(KUSTR_spot, spot ? 1 : 0);
    d->addKeyInt(KUSTR_prop, prop ? 1 : 0);
    return d;
}

void Object::restoreUndo(KuDictionary* d) {
    if (!d) return;
    KuObject* savedName = d->objectForKey(KUSTR_name);
    KuSetRetained(name, savedName && savedName->isString() ? static_cast<KuString*>(savedName) : nullptr);
    pos = d->pointForKey(KUSTR_pos, KuPoint{0, 0});
    usedir = ObjectDirectionFromValue(d->objectForKey(KUSTR_usedir), 0);
    zSort(d->intForKey(KUSTR_zsort, wholeNumber(pos.y)));
    KuRect hotspot = d->rectForKey(KUSTR_hotspot, KuRect{});
    hotspotMin = hotspot.first;
    hotspotMax = hotspot.second;
    usepos = d->pointForKey(KUSTR_usepos, KuPoint{0, 0});
    prop = d->intForKey(KUSTR_prop, 0) != 0;
    spot = d->intForKey(KUSTR_spot, 0) != 0;
}

void Object::createImages() {
    KuSetRetained(image, static_cast<KuRenderNode*>(nullptr));
    isAnimated = false;
    KuDictionary* d = dictionary ? dictionary : KuDictionary::dictionary();
    KuObject* animations = d->objectForKey(KUSTR_animations);
    if (isArray(animations)) {
        image = KuAnimatedSprite::newWithAnimationsArray(15, static_cast<KuArray<KuDictionary*>*>(animations),
                                                         sheetName);
        isAnimated = image != nullptr;
    }
    if (KuString* frame = d->stringForKey(KUSTR_image)) {
        KuSetRetained(image, static_cast<KuRenderNode*>(nullptr));
        image = GameScene::newSheetImage(sheetName, frame, true);
        isAnimated = false;
    }
    if (image) {
        image->filterLinear(false);
        image->sortKey = sortKey;
    }
    if (GameScene* scene = gameScene()) scene->addSortedRenderNode(this);
}

int Object::playAnimation(KuString* animation) {
    if (!image) createImages();
    if (!isAnimated || !image) return -1;
    return static_cast<KuAnimatedSprite*>(image)->playAnimation(animation, false, true);
}

void Object::state(int index, bool play) {
    if (!image) createImages();
    if (!isAnimated || !image) return;
    auto* sprite = static_cast<KuAnimatedSprite*>(image);
    stateIndex = index > 0 ? index : 0;
    KuString* animation = sprite->findAnimationNameAt(stateIndex);
    if (!animation) return;
    if (play)
        sprite->playAnimation(animation, false, false);
    else
        sprite->lastFrame(animation, true);
}

void Object::update(float dt) {
    if (image) image->update(dt);
}

void Object::render() {
    if (!image || hidden()) return;
    image->position(pos);
    image->render();
}

KuString* Object::toDebugString() {
    return KuString::stringWithFormat("%@ (%d) {{%g,%g},{%g,%g}}", name, objectID, double(hotspotMin.x),
                                      double(hotspotMin.y), double(hotspotMax.x), double(hotspotMax.y));
}

// >>master objects

KuArray<Object*>* Object::masterObjectArray() {
    if (!_masterObjectArray) _masterObjectArray = KuArray<Object*>::newArray();
    return _masterObjectArray;
}

void Object::addMasterObject(Object* object) {
    if (!object) return;
    // The object itself, not its debug text: the log discards the message, so nothing is built.
    KuLog("Adding master object %@", object);
    masterObjectArray()->addObject(object);
}

void Object::deleteMasterObject(Object* object) {
    masterObjectArray()->removeObject(object);
}

void Object::removeAllMasterObjects() {
    masterObjectArray()->removeAllObjects();
}

Object* Object::findObjectWithKey(KuString* key) {
    for (Object* o : *masterObjectArray()) {
        if (key ? (o->name && KuStreq(o->name, key)) : (!o->name || o->name->length == 0)) return o;
    }
    return nullptr;
}

Object* Object::findObjectWithID(int id) {
    for (Object* o : *masterObjectArray())
        if (o->objectID == id) return o;
    return nullptr;
}

// >>sorted render list

SortedRenderList::SortedRenderList() : list_(new KuList<KuRenderNode*>) {}

SortedRenderList::~SortedRenderList() {
    KuRelease(list_);
}

void SortedRenderList::take(KuRenderNode* node) {
    auto found = where_.find(node);
    if (found == where_.end()) return;
    list_->removeObjectAtIterator(found->second->second, true);
    byKey_.erase(found->second);
    where_.erase(found);
}

void SortedRenderList::updateSortedRenderNode(KuRenderNode* node) {
    if (!node) return;
    auto found = where_.find(node);
    if (found != where_.end() && found->second->first == node->sortKey) {
        // Already after every node of its key and before the first smaller one: taking it out
        // and putting it back would leave it where it is.
        ListNode* next = found->second->second->next;
        if (!next || next->object->sortKey < node->sortKey) return;
    }
    KuRetain(node);  // the list may hold the only other reference
    take(node);
    // Before the first node with a smaller key: after every node of the same key.
    auto before = byKey_.upper_bound(node->sortKey);
    ListNode* beforeNode = before == byKey_.end() ? nullptr : before->second;
    list_->insertObjectBeforeIterator(node, beforeNode);
    ListNode* inserted = beforeNode ? beforeNode->previous : list_->last();
    where_[node] = byKey_.emplace_hint(before, node->sortKey, inserted);
    KuRelease(node);
}

void SortedRenderList::removeRenderNode(KuRenderNode* node) {
    if (node) take(node);
}

void SortedRenderList::removeAll() {
    where_.clear();
    byKey_.clear();
    list_->removeAllObjects();
}
