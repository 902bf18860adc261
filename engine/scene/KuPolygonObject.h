// KuPolygonObject: a closed polygon of point objects (walkbox outlines), with its text form,
// point-in-polygon tests, ear-clipping triangulation, line of sight and nearest-point queries.
#pragma once

#include <vector>

#include "KuArray.h"
#include "KuGeometry.h"
#include "KuObject.h"
#include "KuPointObject.h"

class KuString;

class KuPolygonObject : public KuObject {
public:
    KuPolygonObject();
    ~KuPolygonObject() override;  // releases the points

    // Factories: new... owned (release it); the others autoreleased. The array form reads each
    // string element as a point string ("(%g,%g)" when it begins with "(", else "{%g,%g}"), a part
    // that does not give two numbers becoming (0, 0); point objects give their point, other
    // elements are skipped. The text form is those point strings joined by ";". Null input and
    // the empty text give an empty polygon.
    static KuPolygonObject* newWithArray(KuArray<KuString*>* array);
    static KuPolygonObject* polygonWithArray(KuArray<KuString*>* array);
    static KuPolygonObject* newWithString(KuString* text);
    static KuPolygonObject* polygonWithString(KuString* text);
    // Each init replaces every point and returns this; the triangle list is left as it was.
    KuPolygonObject* initWithArray(KuArray<KuString*>* array);
    KuPolygonObject* initWithString(KuString* text);

    // The array itself, for iteration and direct edits (which leave the triangles stale).
    KuArray<KuPointObject*>* points() const { return points_; }
    int count() const { return points_->count(); }
    KuPoint pointAtIndex(int index) const;               // (0, 0) outside 0 .. count - 1
    KuPointObject* pointObjectAtIndex(int index) const;  // not retained; null outside the range
    void addPointToBack(KuPoint p);
    void addPointToFront(KuPoint p);
    void removeAllPoints();  // releases the points; the triangle list stays as it was
    void reverse();          // reverses the point order in place
    // Autoreleased: every point as "(%g,%g)" joined by ";", no spaces; "" for no points.
    KuString* stringFromPoints() const;

    // Even-odd rule; points on horizontal and vertical edges are inside, points on slanted edges
    // follow the crossing rule. An empty polygon contains nothing.
    bool isInPolygon(KuPoint p) const;
    // Even-odd rule in which any point on an edge gives onEdge.
    bool isInPolygonComplex(const KuPoint& p, bool onEdge) const;
    // Whether a and b see each other: with obstacle true the polygon blocks sight and neither end
    // may be inside it; with obstacle false it is the walkable area and both ends must be in it.
    // Crossings within 2 units of either end are ignored.
    bool inLineOfSight(const KuPoint& a, const KuPoint& b, bool obstacle) const;
    // p itself when isInPolygon(p); otherwise the nearest point of the outline, the earliest edge
    // winning ties. The winning edge's ends go to edgeStart and edgeEnd, each when not null.
    // An empty polygon gives p and writes nothing.
    KuPoint closestPointTo(KuPoint p, KuPoint* edgeStart, KuPoint* edgeEnd) const;
    KuPoint center() const;  // the average of the points; (0, 0) for no points
    // True when some turn along the outline is counter-clockwise (y up); false below 3 points.
    bool isConcave() const;
    // True when the outline turns clockwise (y up) at point index; false outside the range.
    bool isVertexConcave(int index) const;
    // The normalised sum of the unit vectors from point index towards its neighbours; a zero sum is
    // returned as it is, a zero-length edge adds nothing, (0, 0) outside the range.
    KuPoint getMidVecAtPoint(int index) const;

    // Ear clipping of a clockwise (y up) outline into counter-clockwise triangles. A
    // counter-clockwise outline of more than three points fails, and with retryReversed the
    // polygon's own point order is reversed (and stays reversed) and clipped again. Returns whether any
    // triangle resulted; on failure the triangle list is empty.
    bool makeTriangleVector(bool retryReversed);
    const std::vector<_KuTriangle>& triangleVector() const { return triangles_; }

    const char* typeStr() const override { return "KuPolygonObject"; }

private:
    KuArray<KuPointObject*>* points_;  // owned
    std::vector<_KuTriangle> triangles_;

    void readPointElements(KuArray<KuObject*>* elements);
};
