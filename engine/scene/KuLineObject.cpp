#include "KuLineObject.h"

#include <algorithm>
#include <cmath>

#include "KuString.h"

namespace {

// A point object gives its point, a string is read as a point string; false for anything else.
bool readPointElement(KuObject* element, KuPoint* out) {
    if (!element) return false;
    if (element->kindCode() == kKuTypePointObject) {
        *out = static_cast<KuPointObject*>(element)->point;
        return true;
    }
    if (element->isString()) {
        *out = element->pointValue(KuPoint{0, 0});
        return true;
    }
    return false;
}

}  // namespace

KuLineObject* KuLineObject::line() {
    return KuAutorelease(new KuLineObject);
}

KuLineObject* KuLineObject::newWithLine(KuLine segment) {
    return (new KuLineObject)->initWithLine(segment);
}

KuLineObject* KuLineObject::lineWithLine(KuLine segment) {
    return KuAutorelease(newWithLine(segment));
}

KuLineObject* KuLineObject::lineWithPoints(KuPoint start, KuPoint end) {
    return KuAutorelease(newWithLine(KuLine{start, end}));
}

KuLineObject* KuLineObject::newWithArray(KuArray<KuPointObject*>* array) {
    return (new KuLineObject)->initWithArray(array);
}

KuLineObject* KuLineObject::lineWithArray(KuArray<KuPointObject*>* array) {
    return KuAutorelease(newWithArray(array));
}

KuLineObject* KuLineObject::lineWithString(KuString* text) {
    return KuAutorelease((new KuLineObject)->initWithString(text));
}

KuLineObject* KuLineObject::copy() const {
    auto* line = new KuLineObject;
    line->points = points;
    return line;
}

KuLineObject* KuLineObject::initWithLine(KuLine segment) {
    points.assign({segment.start, segment.end});
    return this;
}

KuLineObject* KuLineObject::initWithArray(KuArray<KuPointObject*>* array) {
    points.clear();
    if (!array) return this;
    // Read through as KuObject*: a document's array may hold strings as well as point objects.
    for (KuObject* element : *array->as<KuObject*>()) {
        KuPoint p;
        if (readPointElement(element, &p)) points.push_back(p);
    }
    return this;
}

KuLineObject* KuLineObject::initWithString(KuString* text) {
    points.clear();
    if (!text) return this;
    KuArray<KuString*>* parts = text->arraySplitByCharacter(';');
    if (!parts) return this;
    for (KuString* part : *parts) {
        if (!part || part->length == 0) continue;
        points.push_back(part->pointValue(KuPoint{0, 0}));
    }
    return this;
}

void KuLineObject::addPoint(KuPointObject* p) {
    if (p) points.push_back(p->point);
}

void KuLineObject::addLine(KuLineObject* other) {
    if (!other) return;
    std::vector<KuPoint> added = other->points;  // a copy, so a line may append itself
    points.insert(points.end(), added.begin(), added.end());
}

void KuLineObject::insertPointBefore(KuPoint p, int index) {
    index = std::clamp(index, 0, count());
    points.insert(points.begin() + index, p);
}

KuPoint KuLineObject::pointAtIndex(int index, KuPoint fallback) const {
    return (index < 0 || index >= count()) ? fallback : points[index];
}

KuPoint KuLineObject::firstPoint(KuPoint fallback) const {
    return points.empty() ? fallback : points.front();
}

KuPoint KuLineObject::lastPoint(KuPoint fallback) const {
    return points.empty() ? fallback : points.back();
}

KuPoint KuLineObject::removeFirstPoint(KuPoint fallback) {
    if (points.empty()) return fallback;
    KuPoint p = points.front();
    points.erase(points.begin());
    return p;
}

KuPoint KuLineObject::removeLastPoint(KuPoint fallback) {
    if (points.empty()) return fallback;
    KuPoint p = points.back();
    points.pop_back();
    return p;
}

void KuLineObject::reverse() {
    std::reverse(points.begin(), points.end());
}

float KuLineObject::distance() const {
    double total = 0;
    for (size_t i = 1; i < points.size(); i++)
        total += std::hypot(double(points[i].x) - points[i - 1].x, double(points[i].y) - points[i - 1].y);
    return float(total);
}

KuArray<KuPointObject*>* KuLineObject::arrayWithPointsEvery(int step) const {
    auto* result = KuArray<KuPointObject*>::array();
    if (points.empty()) return result;
    if (points.size() == 1) {
        result->addObject(KuPointObject::newWithPoint(points[0]), true);
        return result;
    }
    // A step of 0 or less would never advance along the segment.
    if (step < 1) return result;
    double offset = 0;
    for (size_t i = 1; i < points.size(); i++) {
        KuPoint d = points[i - 1], e = points[i];
        double dx = double(e.x) - d.x, dy = double(e.y) - d.y;
        double length = std::hypot(dx, dy);
        if (offset > length) {
            offset -= length;
            continue;
        }
        double angle = std::atan2(dx, dy);
        double ux = std::sin(angle), uy = std::cos(angle);
        double t = offset;
        for (; t <= length; t += step)
            result->addObject(KuPointObject::newWithPoint(KuPoint{float(d.x + t * ux), float(d.y + t * uy)}),
                              true);
        offset = t - length;
    }
    return result;
}

KuString* KuLineObject::toString() {
    KuMutableString* text = KuMutableString::string();
    for (KuPoint p : points)
        text->appendFormat("(%g,%g);", double(p.x), double(p.y));
    return text;
}

KuArray<KuString*>* KuLineObject::saveAsArray() const {
    auto* array = KuArray<KuString*>::array();
    for (KuPoint p : points)
        array->addObject(KuString::stringWithPoint(p));
    return array;
}
