// Plain geometry shared by lines and polygons: the line and triangle records, segment
// intersection, nearest point on a segment, and circle/triangle overlap with rectangles.
#pragma once

#include "KuTypes.h"

// A segment or a two-point polyline: start, end.
struct KuLine {
    KuPoint start, end;
};

// One triangle of a polygon's triangulation: the three corners' x coordinates, then their y
// coordinates (six floats, no padding).
struct _KuTriangle {
    float x[3];
    float y[3];
};

// Whether segment p1-p2 meets segment p3-p4, end points included. Parallel and collinear segments
// never meet. Writes the meeting point to hit when hit is not null and they meet.
bool KuDoLinesIntersect(KuPoint p1, KuPoint p2, KuPoint p3, KuPoint p4, KuPoint* hit);

// As KuDoLinesIntersect, except that segments sharing exactly one end point do not meet, and a
// segment meets itself (in either direction; hit gets p1).
bool KuDoLinesIntersectNotEnds(KuPoint p1, KuPoint p2, KuPoint p3, KuPoint p4, KuPoint* hit);

// The point of segment a-b nearest to p (a when a = b).
KuPoint KuClosestPointToLine(KuPoint p, KuPoint a, KuPoint b);

// Euclidean distance from p to KuClosestPointToLine(p, a, b).
float KuPointDistToLine(KuPoint p, KuPoint a, KuPoint b);

// Whether a circle (centre, radius) and an axis-aligned rectangle overlap, touching included.
// The rectangle's corners may come in either order.
bool KuDoCircleAndRectIntersect(const KuPoint& centre, float radius, const KuRect& rect);

// Whether a triangle and an axis-aligned rectangle overlap, touching included (separating axes).
// The rectangle's corners may come in either order; degenerate triangles are handled.
bool KuDoTriangleAndRectIntersect(const _KuTriangle& triangle, const KuRect& rect);

// Signed area of the triangle: positive when its corners run counter-clockwise (y up).
float KuTriangleSignedArea(const _KuTriangle& triangle);
