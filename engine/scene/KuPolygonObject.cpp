#include "KuPolygonObject.h"

#include <algorithm>
#include <cmath>

#include "KuString.h"

// Arithmetic on coordinates runs in double: walkbox points are whole pixels, and products of two
// coordinates exceed what a float keeps exactly, which would make on-edge decisions depend on
// rounding.

KuPolygonObject::KuPolygonObject() : KuObject(kKuTypeObject), points_(KuArray<KuPointObject*>::newArray()) {}

KuPolygonObject::~KuPolygonObject() {
    KuRelease(points_);
}

KuPolygonObject* KuPolygonObject::newWithArray(KuArray<KuString*>* array) {
    return (new KuPolygonObject)->initWithArray(array);
}

KuPolygonObject* KuPolygonObject::polygonWithArray(KuArray<KuString*>* array) {
    return KuAutorelease(newWithArray(array));
}

KuPolygonObject* KuPolygonObject::newWithString(KuString* text) {
    return (new KuPolygonObject)->initWithString(text);
}

KuPolygonObject* KuPolygonObject::polygonWithString(KuString* text) {
    return KuAutorelease(newWithString(text));
}

void KuPolygonObject::readPointElements(KuArray<KuObject*>* elements) {
    // Read everything before dropping the old points: elements may be this polygon's own array.
    std::vector<KuPointObject*> read;
    if (elements) {
        for (KuObject* element : *elements) {
            if (!element) continue;
            if (element->kindCode() == kKuTypePointObject)
                read.push_back(static_cast<KuPointObject*>(element)->copy());
            else if (element->isString())
                read.push_back(KuPointObject::newWithPoint(element->pointValue(KuPoint{0, 0})));
        }
    }
    points_->removeAllObjects();
    for (KuPointObject* p : read)
        points_->addObject(p, true);
}

KuPolygonObject* KuPolygonObject::initWithArray(KuArray<KuString*>* array) {
    readPointElements(array ? array->as<KuObject*>() : nullptr);
    return this;
}

KuPolygonObject* KuPolygonObject::initWithString(KuString* text) {
    // The empty text is what an empty polygon writes; split, it would give one unreadable part and
    // so a stray point at the origin.
    if (!text || text->length == 0) {
        readPointElements(nullptr);
        return this;
    }
    KuArray<KuString*>* parts = text->arraySeparatedByCharacter(';');
    readPointElements(parts ? parts->as<KuObject*>() : nullptr);
    return this;
}

KuPoint KuPolygonObject::pointAtIndex(int index) const {
    KuPointObject* p = points_->objectAtIndex(index);
    return p ? p->point : KuPoint{0, 0};
}

KuPointObject* KuPolygonObject::pointObjectAtIndex(int index) const {
    return points_->objectAtIndex(index);
}

void KuPolygonObject::addPointToBack(KuPoint p) {
    points_->addObject(KuPointObject::newWithPoint(p), true);
}

void KuPolygonObject::addPointToFront(KuPoint p) {
    points_->addObjectToFront(KuPointObject::newWithPoint(p), true);
}

void KuPolygonObject::removeAllPoints() {
    points_->removeAllObjects();
}

void KuPolygonObject::reverse() {
    std::vector<KuPointObject*>& v = points_->vector();
    std::reverse(v.begin(), v.end());
}

KuString* KuPolygonObject::stringFromPoints() const {
    KuMutableString* text = KuMutableString::string();
    bool first = true;
    for (KuPointObject* p : *points_) {
        if (!first) text->appendChar(';');
        first = false;
        text->appendFormat("(%g,%g)", double(p->point.x), double(p->point.y));
    }
    return text;
}

bool KuPolygonObject::isInPolygon(KuPoint p) const {
    const int n = count();
    bool inside = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        KuPoint pi = pointAtIndex(i), pj = pointAtIndex(j);
        if (p.y == pi.y && p.y == pj.y && p.x >= std::min(pi.x, pj.x) && p.x <= std::max(pi.x, pj.x))
            return true;
        if (p.x == pi.x && p.x == pj.x && p.y >= std::min(pi.y, pj.y) && p.y <= std::max(pi.y, pj.y))
            return true;
        if ((pi.y > p.y) != (pj.y > p.y)) {
            double crossingX = (double(p.y) - pi.y) * (double(pj.x) - pi.x) / (double(pj.y) - pi.y) + pi.x;
            if (p.x < crossingX) inside = !inside;
        }
    }
    return inside;
}

bool KuPolygonObject::isInPolygonComplex(const KuPoint& p, bool onEdge) const {
    const int n = count();
    bool inside = false;
    for (int i = 0; i < n; i++) {
        KuPoint a = pointAtIndex(i == 0 ? n - 1 : i - 1), b = pointAtIndex(i);
        double d1 = (double(p.x) - a.x) * (double(p.x) - a.x) + (double(p.y) - a.y) * (double(p.y) - a.y);
        double d2 = (double(p.x) - b.x) * (double(p.x) - b.x) + (double(p.y) - b.y) * (double(p.y) - b.y);
        double length = (double(b.x) - a.x) * (double(b.x) - a.x) + (double(b.y) - a.y) * (double(b.y) - a.y);
        // |p - a| + |p - b| = |b - a| exactly when p lies on the segment; squared to avoid two roots.
        if (2 * std::sqrt(d1 * d2) + d1 + d2 - length < 1e-10) return onEdge;
        KuPoint m = a.x < b.x ? a : b, r = a.x < b.x ? b : a;
        if (m.x < p.x && p.x <= r.x &&
            (double(r.y) - m.y) * (double(p.x) - m.x) > (double(r.x) - m.x) * (double(p.y) - m.y))
            inside = !inside;
    }
    return inside;
}

bool KuPolygonObject::inLineOfSight(const KuPoint& a, const KuPoint& b, bool obstacle) const {
    if (obstacle) {
        if (isInPolygonComplex(a, false) || isInPolygonComplex(b, false)) return false;
    } else {
        if (!isInPolygonComplex(a, true) || !isInPolygonComplex(b, true)) return false;
    }
    if (std::fabs(double(b.x) - a.x) <= 1 && std::fabs(double(b.y) - a.y) <= 1) return true;
    const int n = count();
    for (int i = 0; i < n; i++) {
        KuPoint start = pointAtIndex(i == 0 ? n - 1 : i - 1), end = pointAtIndex(i);
        KuPoint hit;
        if (!KuDoLinesIntersect(a, b, start, end, &hit)) continue;
        double da =
            (double(hit.x) - a.x) * (double(hit.x) - a.x) + (double(hit.y) - a.y) * (double(hit.y) - a.y);
        double db =
            (double(hit.x) - b.x) * (double(hit.x) - b.x) + (double(hit.y) - b.y) * (double(hit.y) - b.y);
        if (da > 4 && db > 4) return false;
    }
    KuPoint middle{float((double(a.x) + b.x) / 2), float((double(a.y) + b.y) / 2)};
    return obstacle != isInPolygonComplex(middle, !obstacle);
}

KuPoint KuPolygonObject::closestPointTo(KuPoint p, KuPoint* edgeStart, KuPoint* edgeEnd) const {
    if (isInPolygon(p)) return p;
    const int n = count();
    double best = 1 << 30;
    KuPoint nearest = p;
    for (int i = 0; i < n; i++) {
        KuPoint start = pointAtIndex(i), end = pointAtIndex((i + 1) % n);
        KuPoint q = KuClosestPointToLine(p, start, end);
        double distance = std::hypot(double(p.x) - q.x, double(p.y) - q.y);
        if (distance < best) {
            best = distance;
            nearest = q;
            if (edgeStart) *edgeStart = start;
            if (edgeEnd) *edgeEnd = end;
        }
    }
    return nearest;
}

KuPoint KuPolygonObject::center() const {
    const int n = count();
    if (n == 0) return KuPoint{0, 0};
    double x = 0, y = 0;
    for (KuPointObject* p : *points_) {
        x += p->point.x;
        y += p->point.y;
    }
    return KuPoint{float(x / n), float(y / n)};
}

bool KuPolygonObject::isConcave() const {
    const int n = count();
    if (n < 3) return false;
    for (int i = 0; i < n; i++) {
        KuPoint p0 = pointAtIndex(i), p1 = pointAtIndex((i + 1) % n), p2 = pointAtIndex((i + 2) % n);
        double ux = double(p1.x) - p0.x, uy = double(p1.y) - p0.y;
        double wx = double(p2.x) - p1.x, wy = double(p2.y) - p1.y;
        if (std::atan2(ux * wy - uy * wx, ux * wx + uy * wy) > 0) return true;
    }
    return false;
}

bool KuPolygonObject::isVertexConcave(int index) const {
    const int n = count();
    if (index < 0 || index >= n) return false;
    KuPoint prev = pointAtIndex((index + n - 1) % n), p = pointAtIndex(index),
            next = pointAtIndex((index + 1) % n);
    double ux = double(p.x) - prev.x, uy = double(p.y) - prev.y;
    double wx = double(next.x) - p.x, wy = double(next.y) - p.y;
    return ux * wy - uy * wx < 0;
}

KuPoint KuPolygonObject::getMidVecAtPoint(int index) const {
    const int n = count();
    if (index < 0 || index >= n) return KuPoint{0, 0};
    KuPoint p = pointAtIndex(index);
    double sumX = 0, sumY = 0;
    for (KuPoint q : {pointAtIndex((index + n - 1) % n), pointAtIndex((index + 1) % n)}) {
        double dx = double(q.x) - p.x, dy = double(q.y) - p.y;
        double length = std::hypot(dx, dy);
        if (length == 0) continue;  // a repeated point has no direction
        sumX += dx / length;
        sumY += dy / length;
    }
    double length = std::hypot(sumX, sumY);
    if (length == 0) return KuPoint{float(sumX), float(sumY)};
    return KuPoint{float(sumX / length), float(sumY / length)};
}

namespace {

// Barycentric test of p against the triangle at corner l with neighbours a and e: points on the
// two edges at l count as inside, points on the edge a-e do not. A degenerate triangle holds
// nothing.
bool isInEarTriangle(double px, double py, double lx, double ly, double ax, double ay, double ex, double ey) {
    double v0x = ax - lx, v0y = ay - ly;
    double v1x = ex - lx, v1y = ey - ly;
    double v2x = px - lx, v2y = py - ly;
    double dot00 = v0x * v0x + v0y * v0y, dot01 = v0x * v1x + v0y * v1y, dot02 = v0x * v2x + v0y * v2y;
    double dot11 = v1x * v1x + v1y * v1y, dot12 = v1x * v2x + v1y * v2y;
    double denominator = dot00 * dot11 - dot01 * dot01;
    if (denominator == 0) return false;
    double u = (dot11 * dot02 - dot01 * dot12) / denominator;
    double v = (dot00 * dot12 - dot01 * dot02) / denominator;
    return u >= 0 && v >= 0 && u + v < 1;
}

double signedArea(const std::vector<double>& xs, const std::vector<double>& ys) {
    double twice = 0;
    const size_t n = xs.size();
    for (size_t i = 0; i < n; i++) {
        size_t j = (i + 1) % n;
        twice += xs[i] * ys[j] - xs[j] * ys[i];
    }
    return twice / 2;
}

}  // namespace

bool KuPolygonObject::makeTriangleVector(bool retryReversed) {
    const int n = count();
    if (n < 3) {
        triangles_.clear();
        return false;
    }
    std::vector<double> xs, ys;
    xs.reserve(n);
    ys.reserve(n);
    for (KuPointObject* p : *points_) {
        xs.push_back(p->point.x);
        ys.push_back(p->point.y);
    }
    std::vector<_KuTriangle> collected;
    collected.reserve(n);

    // A counter-clockwise outline fails at once: its convex corners are all rejected, but a reflex
    // corner would pass the corner test and be clipped as an ear lying outside the polygon.
    bool failed = n > 3 && signedArea(xs, ys) > 0;
    while (!failed && xs.size() > 3) {
        const int m = static_cast<int>(xs.size());
        int ear = -1;
        for (int l = 0; l < m && ear < 0; l++) {
            int a = (l + m - 1) % m, e = (l + 1) % m;
            double ux = xs[l] - xs[a], uy = ys[l] - ys[a];
            double wx = xs[e] - xs[l], wy = ys[e] - ys[l];
            if (ux * wy - uy * wx > 0) continue;
            bool blocked = false;
            for (int k = 0; k < m && !blocked; k++) {
                if (k == a || k == l || k == e) continue;
                blocked = isInEarTriangle(xs[k], ys[k], xs[l], ys[l], xs[a], ys[a], xs[e], ys[e]);
            }
            if (!blocked) ear = l;
        }
        if (ear < 0) {
            failed = true;
            break;
        }
        int a = (ear + m - 1) % m, e = (ear + 1) % m;
        if ((ys[a] - ys[ear]) * (xs[e] - xs[ear]) - (ys[e] - ys[ear]) * (xs[a] - xs[ear]) > 0)
            std::swap(a, e);
        collected.push_back(_KuTriangle{{float(xs[ear]), float(xs[a]), float(xs[e])},
                                        {float(ys[ear]), float(ys[a]), float(ys[e])}});
        xs.erase(xs.begin() + ear);
        ys.erase(ys.begin() + ear);
    }

    if (failed) {
        triangles_.clear();
        if (!retryReversed) return false;
        reverse();
        return makeTriangleVector(false);
    }

    int first = 0, second = 1, third = 2;
    if ((ys[first] - ys[second]) * (xs[third] - xs[second]) -
            (ys[third] - ys[second]) * (xs[first] - xs[second]) >
        0)
        std::swap(first, third);
    collected.push_back(_KuTriangle{{float(xs[second]), float(xs[first]), float(xs[third])},
                                    {float(ys[second]), float(ys[first]), float(ys[third])}});
    triangles_ = std::move(collected);
    return true;
}
