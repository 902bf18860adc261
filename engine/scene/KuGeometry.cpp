#include "KuGeometry.h"

#include <algorithm>
#include <cmath>

// Products are taken in double: room coordinates are whole pixels, and their products exceed the
// 24 bits a float keeps exactly, which would make end-point and on-edge decisions depend on rounding.

bool KuDoLinesIntersect(KuPoint p1, KuPoint p2, KuPoint p3, KuPoint p4, KuPoint* hit) {
    double d1x = double(p2.x) - p1.x, d1y = double(p2.y) - p1.y;
    double d2x = double(p4.x) - p3.x, d2y = double(p4.y) - p3.y;
    double wx = double(p1.x) - p3.x, wy = double(p1.y) - p3.y;
    double denominator = d2y * d1x - d2x * d1y;
    if (denominator == 0) return false;
    double t = (d2x * wy - d2y * wx) / denominator;
    double s = (d1x * wy - d1y * wx) / denominator;
    if (t < 0 || t > 1 || s < 0 || s > 1) return false;
    if (hit) *hit = KuPoint{float(p1.x + t * d1x), float(p1.y + t * d1y)};
    return true;
}

bool KuDoLinesIntersectNotEnds(KuPoint p1, KuPoint p2, KuPoint p3, KuPoint p4, KuPoint* hit) {
    if ((p1 == p3 && p2 == p4) || (p1 == p4 && p2 == p3)) {
        if (hit) *hit = p1;
        return true;
    }
    if (p1 == p3 || p1 == p4 || p2 == p3 || p2 == p4) return false;
    return KuDoLinesIntersect(p1, p2, p3, p4, hit);
}

KuPoint KuClosestPointToLine(KuPoint p, KuPoint a, KuPoint b) {
    if (a == b) return a;
    double mx = double(b.x) - a.x, my = double(b.y) - a.y;
    double r = ((double(p.x) - a.x) * mx + (double(p.y) - a.y) * my) / (mx * mx + my * my);
    if (r < 0) return a;
    if (r > 1) return b;
    return KuPoint{float(a.x + r * mx), float(a.y + r * my)};
}

float KuPointDistToLine(KuPoint p, KuPoint a, KuPoint b) {
    KuPoint q = KuClosestPointToLine(p, a, b);
    return float(std::hypot(double(p.x) - q.x, double(p.y) - q.y));
}

bool KuDoCircleAndRectIntersect(const KuPoint& centre, float radius, const KuRect& rect) {
    double halfX = std::fabs(double(rect.second.x) - rect.first.x) / 2;
    double halfY = std::fabs(double(rect.second.y) - rect.first.y) / 2;
    double ex = std::fabs(centre.x - (double(rect.first.x) + rect.second.x) / 2);
    double ey = std::fabs(centre.y - (double(rect.first.y) + rect.second.y) / 2);
    if (ex > halfX + radius || ey > halfY + radius) return false;
    if (ex <= halfX || ey <= halfY) return true;
    double cx = ex - halfX, cy = ey - halfY;
    return cx * cx + cy * cy <= double(radius) * radius;
}

namespace {

struct Interval {
    double low, high;
};

Interval projectTriangle(const _KuTriangle& t, double ax, double ay) {
    Interval r{INFINITY, -INFINITY};
    for (int i = 0; i < 3; i++) {
        double v = t.x[i] * ax + t.y[i] * ay;
        r.low = std::min(r.low, v);
        r.high = std::max(r.high, v);
    }
    return r;
}

Interval projectRect(double minX, double minY, double maxX, double maxY, double ax, double ay) {
    const double xs[2] = {minX, maxX}, ys[2] = {minY, maxY};
    Interval r{INFINITY, -INFINITY};
    for (double x : xs) {
        for (double y : ys) {
            double v = x * ax + y * ay;
            r.low = std::min(r.low, v);
            r.high = std::max(r.high, v);
        }
    }
    return r;
}

}  // namespace

bool KuDoTriangleAndRectIntersect(const _KuTriangle& triangle, const KuRect& rect) {
    double minX = std::min(rect.first.x, rect.second.x), maxX = std::max(rect.first.x, rect.second.x);
    double minY = std::min(rect.first.y, rect.second.y), maxY = std::max(rect.first.y, rect.second.y);
    // Candidate separating axes: the rectangle's two and each triangle edge's normal. A zero
    // normal (a collapsed edge) projects everything to 0 and so never separates.
    double axes[5][2] = {{1, 0}, {0, 1}, {0, 0}, {0, 0}, {0, 0}};
    for (int i = 0; i < 3; i++) {
        int j = (i + 1) % 3;
        axes[2 + i][0] = -(double(triangle.y[j]) - triangle.y[i]);
        axes[2 + i][1] = double(triangle.x[j]) - triangle.x[i];
    }
    for (const auto& axis : axes) {
        Interval a = projectTriangle(triangle, axis[0], axis[1]);
        Interval b = projectRect(minX, minY, maxX, maxY, axis[0], axis[1]);
        if (a.high < b.low || b.high < a.low) return false;
    }
    return true;
}

float KuTriangleSignedArea(const _KuTriangle& t) {
    double cross = (double(t.x[1]) - t.x[0]) * (double(t.y[2]) - t.y[0]) -
                   (double(t.x[2]) - t.x[0]) * (double(t.y[1]) - t.y[0]);
    return float(cross / 2);
}
