#include "WalkBox.h"

#include <cmath>

#include "KuGeometry.h"

namespace {

constexpr double kNoDistance = 999999;

// Kind 3, 20 characters: the interface only needs a key no other row has.
KuString* newIdentifier() {
    KuString* id = KuString::stringWithRandomIdentifier(3, 20);
    KuRetain(id);
    return id;
}

void truncatePoints(KuPolygonObject* polygon) {
    if (!polygon) return;
    for (KuPointObject* p : *polygon->points()) {
        // Adding 0 turns -0 into 0, which the document would otherwise show as "-0".
        p->point.x = std::trunc(p->point.x) + 0.0f;
        p->point.y = std::trunc(p->point.y) + 0.0f;
    }
}

double truncatedDistance(KuPoint a, KuPoint b) {
    return std::trunc(std::hypot(double(a.x) - b.x, double(a.y) - b.y));
}

bool sameIgnoringBlanks(const KuString* a, const KuString* b) {
    const char *p = a ? a->c_str() : "", *q = b ? b->c_str() : "";
    for (;;) {
        while (*p == ' ' || *p == '\t')
            p++;
        while (*q == ' ' || *q == '\t')
            q++;
        if (*p != *q) return false;
        if (!*p) return true;
        p++, q++;
    }
}

}  // namespace

// >>walkbox

WalkBox::WalkBox() : KuObject(kKuTypeObject) {
    polygon = new KuPolygonObject();
    identifier = newIdentifier();
}

WalkBox::~WalkBox() {
    KuRelease(polygon);
    KuRelease(dictionary);
    KuRelease(identifier);
}

WalkBox* WalkBox::newWithDictionary(KuDictionary* dict) {
    WalkBox* box = new WalkBox();
    if (dict) {
        KuSetRetained(box->dictionary, dict);
        KuObject* entry = dict->objectForKey(KUSTR_polygon);
        KuString* text = entry && entry->isString() ? static_cast<KuString*>(entry) : nullptr;
        box->polygon->initWithString(text);
        // Text that is not point pairs reads as stray points at the origin; a save would then
        // drop the walkbox, and with it what the designer wrote.
        if (box->polygon->count() < 2)
            box->unreadable = entry && (!text || !sameIgnoringBlanks(text, box->polygon->stringFromPoints()));
        truncatePoints(box->polygon);
    } else {
        box->dictionary = KuDictionary::newDictionary();
    }
    return box;
}

WalkBox* WalkBox::newWithPoints(const KuPoint* points, int count) {
    WalkBox* box = new WalkBox();
    box->dictionary = KuDictionary::newDictionary();
    for (int i = 0; points && i < count; i++)
        box->polygon->addPointToBack(points[i]);
    return box;
}

KuString* WalkBox::name() const {
    if (!dictionary) return nullptr;
    KuObject* value = dictionary->objectForKey(KUSTR_name);
    return value && value->isString() ? static_cast<KuString*>(value) : nullptr;
}

void WalkBox::name(KuString* value) {
    if (!dictionary) dictionary = KuDictionary::newDictionary();
    if (value && value->length > 0)
        dictionary->addKeyString(KUSTR_name, value);
    else
        dictionary->removeObjectForKey(KUSTR_name);
}

KuDictionary* WalkBox::save() {
    if (polygon->count() < 2) return unreadable ? dictionary : nullptr;
    unreadable = false;
    if (!dictionary) dictionary = KuDictionary::newDictionary();
    truncatePoints(polygon);
    dictionary->addKeyString(KUSTR_polygon, polygon->stringFromPoints());
    return dictionary;
}

// >>walkbox set

WalkBoxSet::WalkBoxSet() : list_(new KuList<WalkBox*>) {}

WalkBoxSet::~WalkBoxSet() {
    selected_ = nullptr;
    KuRelease(list_);
}

WalkBox* WalkBoxSet::walkBoxAtIndex(int index) const {
    int i = 0;
    for (auto* n = list_->begin(); n; n = n->next, i++)
        if (i == index) return n->object;
    return nullptr;
}

void WalkBoxSet::edited() {
    if (onEdit_) onEdit_();
}

void WalkBoxSet::removeAll() {
    selected_ = nullptr;
    list_->removeAllObjects();
}

void WalkBoxSet::loadFromArray(KuArray<KuObject*>* array) {
    removeAll();
    if (!array) return;
    for (KuObject* entry : *array) {
        if (!entry || entry->kindCode() != kKuTypeDictionary) continue;
        WalkBox* box = WalkBox::newWithDictionary(static_cast<KuDictionary*>(entry));
        list_->addObject(box);
        KuRelease(box);
    }
    if (!selected_ && list_->begin()) selected_ = list_->begin()->object;
}

KuArray<KuObject*>* WalkBoxSet::saveToArray() {
    KuArray<KuObject*>* out = KuArray<KuObject*>::array();
    for (auto* n = list_->begin(); n; n = n->next)
        out->addObject(n->object->save());  // null (fewer than 2 points) adds nothing
    return out;
}

WalkBox* WalkBoxSet::findWalkBoxAt(KuPoint p) const {
    for (auto* n = list_->begin(); n; n = n->next)
        if (n->object->polygon->isInPolygon(p)) return n->object;
    return nullptr;
}

KuPointObject* WalkBoxSet::findWalkBoxPointAt(WalkBox* box, KuPoint p, float radius) {
    if (box && !box->visible) return nullptr;
    double best = kNoDistance;
    KuPointObject* result = nullptr;
    WalkBox* owner = nullptr;
    auto examine = [&](WalkBox* candidate) {
        for (KuPointObject* point : *candidate->polygon->points()) {
            double d = truncatedDistance(point->point, p);
            if (d <= radius && d < best) {
                best = d;
                result = point;
                owner = candidate;
            }
        }
    };
    if (box) {
        examine(box);
    } else {
        for (auto* n = list_->begin(); n; n = n->next)
            if (n->object->visible) examine(n->object);
    }
    if (result) selected_ = owner;
    return result;
}

KuArray<KuPointObject*>* WalkBoxSet::findAllWalkBoxPointsAt(KuPoint p, float radius) {
    KuArray<KuPointObject*>* out = KuArray<KuPointObject*>::array();
    KuPointObject* found = findWalkBoxPointAt(selected_, p, radius);
    if (!found || list_->count() == 0) return out;
    const KuPoint at = found->point;
    for (auto* n = list_->begin(); n; n = n->next) {
        if (!n->object->visible) continue;
        for (KuPointObject* point : *n->object->polygon->points())
            if (point->point.x == at.x && point->point.y == at.y) out->addObject(point);
    }
    return out;
}

bool WalkBoxSet::insertPointAt(KuPoint p, float radius) {
    if (list_->count() == 0) return false;
    double best = kNoDistance;
    int bestIndex = -1;
    WalkBox* bestBox = nullptr;
    for (auto* n = list_->begin(); n; n = n->next) {
        KuPolygonObject* polygon = n->object->polygon;
        const int count = polygon->count();
        for (int i = 0; i < count; i++) {
            KuPoint a = polygon->pointAtIndex(i), b = polygon->pointAtIndex((i + 1) % count);
            double d = std::trunc(double(KuPointDistToLine(p, a, b)));
            if (d <= radius && d < best) {
                best = d;
                bestIndex = i;
                bestBox = n->object;
            }
        }
    }
    if (!bestBox) return false;
    KuPointObject* point = KuPointObject::newWithPoint(p);
    bestBox->polygon->points()->insertObjectAfter(point, bestIndex);
    KuRelease(point);
    selected_ = bestBox;
    edited();
    updateWalkBoxes();
    return true;
}

bool WalkBoxSet::deletePoint(KuPointObject* point) {
    if (!point || !selected_) return false;
    KuArray<KuPointObject*>* points = selected_->polygon->points();
    int index = points->indexOfObject(point);
    if (index < 0) return false;
    points->removeObjectAtIndex(index);
    if (points->count() < 2) {
        selected_->polygon->removeAllPoints();
        selected_->unreadable = false;
        selected_ = nullptr;
    }
    edited();
    updateWalkBoxes();
    return true;
}

void WalkBoxSet::deleteWalkbox(WalkBox* box) {
    if (!box) return;
    box->polygon->removeAllPoints();
    box->unreadable = false;
    edited();
    updateWalkBoxes();
    if (selected_ == box) selected_ = nullptr;
}

WalkBox* WalkBoxSet::newWalkBox(KuPoint centre) {
    const float cx = std::trunc(centre.x) + 0.0f, cy = std::trunc(centre.y) + 0.0f;
    const KuPoint corners[4] = {{cx - 20, cy}, {cx + 20, cy}, {cx + 20, cy + 20}, {cx - 20, cy + 20}};
    WalkBox* box = WalkBox::newWithPoints(corners, 4);
    list_->addObject(box);
    KuRelease(box);
    edited();
    updateWalkBoxes();
    return box;
}

void WalkBoxSet::renameWalkBox(WalkBox* box, KuString* name) {
    if (!box) return;
    box->name(name);
    edited();
}

void WalkBoxSet::updateWalkBoxes() {
    for (auto* n = list_->begin(); n; n = n->next)
        n->object->polygon->makeTriangleVector(true);
}

KuPoint WalkBoxSet::roomPointAtViewCentre(KuPoint screenSize, float roomScale, float zoom, KuPoint camera) {
    const float factor = roomScale * zoom;
    if (factor == 0) return KuPoint{std::trunc(camera.x), std::trunc(camera.y)};
    KuPoint c;
    c.x = screenSize.x * 0.5f / factor + camera.x - screenSize.x / factor * 0.5f;
    c.y = screenSize.y * 0.5f / factor + camera.y - screenSize.y / factor * 0.5f;
    return KuPoint{std::trunc(c.x), std::trunc(c.y)};
}
