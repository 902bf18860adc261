// Polygons: text form, point-in-polygon rules, line of sight, nearest points, corner queries and
// ear-clipping triangulation.
#include <cmath>
#include <string>
#include <vector>

#include "KuNumber.h"
#include "KuPolygonObject.h"
#include "KuString.h"
#include "TestSupport.h"

namespace {

using GeometryPolygon = KuPoolTest;
using Outline = std::vector<KuPoint>;

std::string show(KuPoint p) {
    return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
}

KuPolygonObject* polygonOf(const Outline& outline) {
    KuPolygonObject* polygon = KuAutorelease(new KuPolygonObject);
    for (KuPoint p : outline)
        polygon->addPointToBack(p);
    return polygon;
}

Outline outlineOf(const KuPolygonObject* polygon) {
    Outline out;
    for (KuPointObject* p : *polygon->points())
        out.push_back(p->point);
    return out;
}

Outline reversed(Outline o) {
    return Outline(o.rbegin(), o.rend());
}

// Shoelace: positive for a counter-clockwise outline (y up).
double signedArea(const Outline& o) {
    double twice = 0;
    for (size_t i = 0; i < o.size(); i++) {
        const KuPoint &a = o[i], &b = o[(i + 1) % o.size()];
        twice += double(a.x) * b.y - double(b.x) * a.y;
    }
    return twice / 2;
}

// Strictly inside a counter-clockwise triangle.
bool strictlyInTriangle(const _KuTriangle& t, double x, double y) {
    for (int i = 0; i < 3; i++) {
        int j = (i + 1) % 3;
        double cross = (double(t.x[j]) - t.x[i]) * (y - t.y[i]) - (double(t.y[j]) - t.y[i]) * (x - t.x[i]);
        if (cross <= 0) return false;
    }
    return true;
}

// Outlines in y-up coordinates. "cw" lists run clockwise.
const Outline kSquareCcw = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
const Outline kSquareCw = {{0, 0}, {0, 10}, {10, 10}, {10, 0}};
const Outline kTriangle = {{0, 0}, {10, 0}, {0, 10}};
// A U: two legs joined at the bottom, the notch 10 < x < 20, y > 10 open at the top.
const Outline kUCcw = {{0, 0}, {30, 0}, {30, 30}, {20, 30}, {20, 10}, {10, 10}, {10, 30}, {0, 30}};
// An L: the square 0..20 missing its top-right quarter; the reflex corner is (10,10).
const Outline kLCcw = {{0, 0}, {20, 0}, {20, 10}, {10, 10}, {10, 20}, {0, 20}};
// An arrow head pointing right, its reflex corner at (3,5).
const Outline kArrowCcw = {{0, 0}, {10, 5}, {0, 10}, {3, 5}};
// A comb with three teeth pointing up.
const Outline kCombCw = {{0, 0},   {0, 20}, {4, 20}, {4, 8},   {8, 8},   {8, 20},
                         {12, 20}, {12, 8}, {16, 8}, {16, 20}, {20, 20}, {20, 0}};
const Outline kPentagonCw = {{2, 1}, {1, 3}, {0, 5}, {2, 4}, {3, 5}};
const Outline kHexagonCw = {{10, 0}, {0, 6}, {0, 14}, {10, 20}, {20, 14}, {20, 6}};

// --- Text form -------------------------------------------------------------------------------

TEST_F(GeometryPolygon, TextFormReadsAndWrites) {
    struct Row {
        const char* text;
        Outline points;
        const char* written;
    } rows[] = {
        {"(0,0);(10,0);(10,10);(0,10)", kSquareCcw, "(0,0);(10,0);(10,10);(0,10)"},
        {"(10,20);(30.5,40);(50,60)", {{10, 20}, {30.5f, 40}, {50, 60}}, "(10,20);(30.5,40);(50,60)"},
        {"(-1.5,2e+06);(3,-4)", {{-1.5f, 2e6f}, {3, -4}}, "(-1.5,2e+06);(3,-4)"},
        {"{1,2};{3,4}", {{1, 2}, {3, 4}}, "(1,2);(3,4)"},                     // brace points
        {"(1,2);junk;(3,4)", {{1, 2}, {0, 0}, {3, 4}}, "(1,2);(0,0);(3,4)"},  // unreadable: the origin
        {"(1,2);(5)", {{1, 2}, {0, 0}}, "(1,2);(0,0)"},                       // one number is not a point
        {"(1,2);;(3,4);", {{1, 2}, {3, 4}}, "(1,2);(3,4)"},                   // runs of ";" count once
        {"", {}, ""},                                                         // empty stays empty
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        KuPolygonObject* polygon = KuPolygonObject::polygonWithString(KuString::stringWithString(r.text));
        Outline got = outlineOf(polygon);
        ASSERT_EQ(got.size(), r.points.size());
        for (size_t i = 0; i < got.size(); i++)
            EXPECT_EQ(got[i], r.points[i]) << "point " << i;
        EXPECT_STREQ(polygon->stringFromPoints()->c_str(), r.written);
        // What was written reads back to the same points.
        EXPECT_EQ(outlineOf(KuPolygonObject::polygonWithString(polygon->stringFromPoints())), got);
    }
    EXPECT_EQ(KuPolygonObject::polygonWithString(nullptr)->count(), 0);
}

TEST_F(GeometryPolygon, ArrayFormReadsPointStringsAndPointObjects) {
    auto* array = KuArray<KuObject*>::array();
    array->addObject(KuString::stringWithString("(1,2)"));
    array->addObject(KuString::stringWithString("{3,4}"));
    array->addObject(KuString::stringWithString("x"));
    array->addObject(KuPointObject::pointWithPoint(KuPoint{5, 6}));
    array->addObject(_KuNewNumber(7));  // neither: skipped
    KuPolygonObject* polygon = KuPolygonObject::newWithArray(array->as<KuString*>());
    EXPECT_EQ(outlineOf(polygon), (Outline{{1, 2}, {3, 4}, {0, 0}, {5, 6}}));
    // init replaces all points.
    polygon->initWithString(KuString::stringWithString("(9,9)"));
    EXPECT_EQ(outlineOf(polygon), (Outline{{9, 9}}));
    // Its own point array read back gives the same points, not an empty polygon.
    polygon->addPointToBack(KuPoint{8, 7});
    polygon->initWithArray(polygon->points()->as<KuString*>());
    EXPECT_EQ(outlineOf(polygon), (Outline{{9, 9}, {8, 7}}));
    polygon->initWithArray(nullptr);
    EXPECT_EQ(polygon->count(), 0);
    EXPECT_STREQ(polygon->typeStr(), "KuPolygonObject");
    KuRelease(polygon);
}

TEST_F(GeometryPolygon, PointEditsAndOwnership) {
    KuPolygonObject* polygon = KuPolygonObject::newWithString(KuString::stringWithString("(1,1);(2,2)"));
    polygon->addPointToBack(KuPoint{3, 3});
    polygon->addPointToFront(KuPoint{0, 0});
    EXPECT_STREQ(polygon->stringFromPoints()->c_str(), "(0,0);(1,1);(2,2);(3,3)");
    EXPECT_EQ(polygon->pointAtIndex(2), (KuPoint{2, 2}));
    for (int outside : {-1, 4, 100}) {
        EXPECT_EQ(polygon->pointAtIndex(outside), (KuPoint{0, 0})) << outside;
        EXPECT_EQ(polygon->pointObjectAtIndex(outside), nullptr) << outside;
    }
    polygon->reverse();
    EXPECT_STREQ(polygon->stringFromPoints()->c_str(), "(3,3);(2,2);(1,1);(0,0)");

    // The polygon holds one reference to each point; emptying it gives that back.
    KuPointObject* kept = polygon->pointObjectAtIndex(0);
    KuRetain(kept);
    EXPECT_EQ(kept->refCount, 2);
    polygon->removeAllPoints();
    EXPECT_EQ(polygon->count(), 0);
    EXPECT_EQ(kept->refCount, 1);
    polygon->addPointToBack(KuPoint{4, 4});
    KuPointObject* second = polygon->pointObjectAtIndex(0);
    KuRetain(second);
    KuRelease(polygon);  // destruction releases the points too
    EXPECT_EQ(second->refCount, 1);
    KuRelease(second);
    KuRelease(kept);
}

// --- Containment -------------------------------------------------------------------------------

struct ContainCase {
    KuPoint p;
    bool inPolygon;  // isInPolygon
    bool strict;     // isInPolygonComplex with onEdge false
    bool withEdge;   // isInPolygonComplex with onEdge true
};

void checkContainment(const Outline& outline, const std::vector<ContainCase>& cases) {
    // Listing the outline the other way round changes nothing.
    for (const Outline& o : {outline, reversed(outline)}) {
        KuPolygonObject* polygon = polygonOf(o);
        for (const ContainCase& c : cases) {
            SCOPED_TRACE("point " + show(c.p));
            EXPECT_EQ(polygon->isInPolygon(c.p), c.inPolygon);
            EXPECT_EQ(polygon->isInPolygonComplex(c.p, false), c.strict);
            EXPECT_EQ(polygon->isInPolygonComplex(c.p, true), c.withEdge);
        }
    }
}

TEST_F(GeometryPolygon, SquareContainment) {
    checkContainment(kSquareCcw, {
                                     {{5, 5}, true, true, true},
                                     {{10, 5}, true, false, true},  // vertical edge
                                     {{5, 0}, true, false, true},   // horizontal edge
                                     {{5, 10}, true, false, true},
                                     {{0, 0}, true, false, true},  // corner
                                     {{10, 10}, true, false, true},
                                     {{10.001f, 5}, false, false, false},
                                     {{-0.001f, 5}, false, false, false},
                                     {{5, 10.001f}, false, false, false},
                                     {{15, 5}, false, false, false},
                                     {{5, -5}, false, false, false},
                                 });
}

TEST_F(GeometryPolygon, SlantedEdgesFollowTheCrossingRule) {
    checkContainment(kTriangle, {
                                    {{5, 5}, false, false, true},  // on the slanted side
                                    {{4, 4}, true, true, true},
                                    {{6, 6}, false, false, false},
                                    {{0, 5}, true, false, true},  // vertical side
                                    {{2, 0}, true, false, true},  // horizontal side
                                    {{-1, 5}, false, false, false},
                                });
}

TEST_F(GeometryPolygon, ConcaveContainment) {
    checkContainment(kUCcw, {
                                {{15, 20}, false, false, false},  // in the notch
                                {{5, 20}, true, true, true},      // left leg
                                {{25, 20}, true, true, true},     // right leg
                                {{15, 5}, true, true, true},      // the base under the notch
                                {{15, 10}, true, false, true},    // notch floor
                                {{20, 20}, true, false, true},    // notch wall
                                {{15, 30}, false, false, false},  // across the notch's mouth
                                {{35, 5}, false, false, false},
                            });
    EXPECT_FALSE(polygonOf({})->isInPolygon(KuPoint{0, 0}));
    EXPECT_FALSE(polygonOf({})->isInPolygonComplex(KuPoint{0, 0}, true));
}

// --- Line of sight -----------------------------------------------------------------------------

TEST_F(GeometryPolygon, LineOfSightInsideAWalkableArea) {
    struct Row {
        const char* name;
        const Outline* outline;
        KuPoint a, b;
        bool sees;
    } rows[] = {
        {"along the base", &kUCcw, {5, 5}, {25, 5}, true},
        {"up one leg", &kUCcw, {5, 25}, {5, 5}, true},
        {"across the notch", &kUCcw, {5, 25}, {25, 25}, false},
        {"one end outside", &kUCcw, {5, 5}, {15, 25}, false},
        {"along an edge", &kUCcw, {0, 5}, {0, 25}, true},
        {"within one unit", &kUCcw, {5, 5}, {5.5f, 5.5f}, true},
        {"past the reflex corner", &kLCcw, {5, 15}, {15, 3}, true},
        {"grazing the reflex corner", &kLCcw, {5, 15}, {15, 5}, false},
        {"cutting the corner", &kLCcw, {5, 15}, {15, 7}, false},
        {"end on the edge it leaves from", &kLCcw, {10, 15}, {5, 5}, true},
        {"touching the corner near one end", &kLCcw, {9.5f, 10.5f}, {15, 5}, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        KuPolygonObject* polygon = polygonOf(*r.outline);
        EXPECT_EQ(polygon->inLineOfSight(r.a, r.b, false), r.sees);
        EXPECT_EQ(polygon->inLineOfSight(r.b, r.a, false), r.sees);
    }
    EXPECT_FALSE(polygonOf({})->inLineOfSight(KuPoint{0, 0}, KuPoint{5, 5}, false));
}

TEST_F(GeometryPolygon, LineOfSightPastAnObstacle) {
    struct Row {
        const char* name;
        KuPoint a, b;
        bool sees;
    } rows[] = {
        {"through it", {-5, 5}, {15, 5}, false},
        {"below it", {-5, -5}, {15, -5}, true},
        {"ending inside", {-5, 5}, {5, 5}, false},
        {"leaving from its edge", {0, 5}, {-5, 5}, true},
        {"a chord between two edges", {0, 5}, {5, 0}, false},
        {"diagonally past a corner", {-5, 6}, {4, 15}, true},
        {"through a corner", {-5, 5}, {5, 15}, false},
    };
    KuPolygonObject* square = polygonOf(kSquareCcw);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(square->inLineOfSight(r.a, r.b, true), r.sees);
    }
    EXPECT_TRUE(polygonOf({})->inLineOfSight(KuPoint{0, 0}, KuPoint{5, 5}, true));
}

// --- Nearest point -----------------------------------------------------------------------------

TEST_F(GeometryPolygon, ClosestPointOnTheOutline) {
    const KuPoint unset{-99, -99};
    struct Row {
        KuPoint p;
        KuPoint nearest;
        KuPoint edgeStart, edgeEnd;  // unset: not written
    } rows[] = {
        {{5, 5}, {5, 5}, unset, unset},    // inside: itself
        {{10, 5}, {10, 5}, unset, unset},  // on a vertical edge: inside
        {{15, 5}, {10, 5}, {10, 0}, {10, 10}},   {{-5, 5}, {0, 5}, {0, 10}, {0, 0}},  // the closing edge
        {{15, 15}, {10, 10}, {10, 0}, {10, 10}},  // a tie at a corner: the earlier edge
        {{15, -5}, {10, 0}, {0, 0}, {10, 0}},
    };
    KuPolygonObject* square = polygonOf(kSquareCcw);
    for (const Row& r : rows) {
        SCOPED_TRACE("point " + show(r.p));
        KuPoint start = unset, end = unset;
        EXPECT_EQ(square->closestPointTo(r.p, &start, &end), r.nearest);
        EXPECT_EQ(start, r.edgeStart);
        EXPECT_EQ(end, r.edgeEnd);
        KuPoint onlyEnd = unset;
        EXPECT_EQ(square->closestPointTo(r.p, nullptr, &onlyEnd), r.nearest);
        EXPECT_EQ(onlyEnd, r.edgeEnd);
    }
    KuPoint start = unset;
    EXPECT_EQ(polygonOf({})->closestPointTo(KuPoint{3, 4}, &start, nullptr), (KuPoint{3, 4}));
    EXPECT_EQ(start, unset);
}

// --- Corners -----------------------------------------------------------------------------------

TEST_F(GeometryPolygon, CentreIsTheAverageOfThePoints) {
    EXPECT_EQ(polygonOf(kSquareCcw)->center(), (KuPoint{5, 5}));
    EXPECT_EQ(polygonOf({{0, 0}, {9, 0}, {0, 3}})->center(), (KuPoint{3, 1}));
    EXPECT_EQ(polygonOf({})->center(), (KuPoint{0, 0}));
}

TEST_F(GeometryPolygon, ConcavityFollowsTheTurnDirection) {
    // A counter-clockwise turn anywhere counts, so clockwise outlines are the convex ones.
    EXPECT_FALSE(polygonOf(kSquareCw)->isConcave());
    EXPECT_FALSE(polygonOf(kHexagonCw)->isConcave());
    EXPECT_TRUE(polygonOf(kCombCw)->isConcave());
    EXPECT_TRUE(polygonOf(reversed(kUCcw))->isConcave());
    EXPECT_TRUE(polygonOf(kSquareCcw)->isConcave());
    EXPECT_FALSE(polygonOf({{0, 0}, {5, 5}})->isConcave());

    // A clockwise turn marks a vertex: the reflex corners of a counter-clockwise outline.
    KuPolygonObject* u = polygonOf(kUCcw);
    for (int i = 0; i < u->count(); i++)
        EXPECT_EQ(u->isVertexConcave(i), i == 4 || i == 5) << "vertex " << i;
    KuPolygonObject* uCw = polygonOf(reversed(kUCcw));
    for (int i = 0; i < uCw->count(); i++)
        EXPECT_EQ(uCw->isVertexConcave(i), i != 2 && i != 3) << "vertex " << i;
    EXPECT_FALSE(u->isVertexConcave(-1));
    EXPECT_FALSE(u->isVertexConcave(8));
}

TEST_F(GeometryPolygon, MidVectorBisectsTheCorner) {
    const float h = std::sqrt(0.5f);
    struct Row {
        Outline outline;
        int index;
        KuPoint expected;
    } rows[] = {
        {kSquareCcw, 0, {h, h}},
        {kSquareCcw, 2, {-h, -h}},
        {{{0, 0}, {5, 0}, {10, 0}, {10, 10}}, 1, {0, 0}},  // straight through: zero, left as is
        {{{0, 0}, {0, 0}, {10, 0}, {0, 10}}, 1, {1, 0}},   // a repeated point adds nothing
        {kSquareCcw, 4, {0, 0}},                           // outside the range
        {kSquareCcw, -1, {0, 0}},
    };
    for (const Row& r : rows) {
        KuPoint got = polygonOf(r.outline)->getMidVecAtPoint(r.index);
        EXPECT_NEAR(got.x, r.expected.x, 1e-6) << "index " << r.index;
        EXPECT_NEAR(got.y, r.expected.y, 1e-6) << "index " << r.index;
    }
}

// --- Triangulation -----------------------------------------------------------------------------

TEST_F(GeometryPolygon, TriangulationCoversExactlyThePolygon) {
    struct Row {
        const char* name;
        Outline outline;
        bool reversedAfter;  // counter-clockwise outlines are reversed by the retry
    } rows[] = {
        {"square cw", kSquareCw, false},
        {"square ccw", kSquareCcw, true},
        {"triangle ccw", kTriangle, false},  // three corners need no ear search
        {"hexagon cw", kHexagonCw, false},
        {"U ccw", kUCcw, true},
        {"U cw", reversed(kUCcw), false},
        {"L ccw", kLCcw, true},
        {"L cw", reversed(kLCcw), false},
        {"arrow ccw", kArrowCcw, true},
        {"arrow cw", reversed(kArrowCcw), false},
        {"comb cw", kCombCw, false},
        {"comb ccw", reversed(kCombCw), true},
        // (1,3) lies on the diagonal (2,1)-(0,5): an ear whose side runs along it must be refused.
        {"vertex on a side of a later ear", kPentagonCw, false},
        {"vertex on a side of a later ear, ccw", reversed(kPentagonCw), true},
        {"with a straight vertex", {{0, 0}, {0, 5}, {0, 10}, {10, 10}, {10, 0}}, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        KuPolygonObject* polygon = polygonOf(r.outline);
        ASSERT_TRUE(polygon->makeTriangleVector(true));
        EXPECT_EQ(outlineOf(polygon), r.reversedAfter ? reversed(r.outline) : r.outline);
        const std::vector<_KuTriangle>& triangles = polygon->triangleVector();
        ASSERT_EQ(triangles.size(), r.outline.size() - 2);

        double total = 0;
        for (const _KuTriangle& t : triangles) {
            EXPECT_GE(KuTriangleSignedArea(t), 0) << "triangles run counter-clockwise";
            total += KuTriangleSignedArea(t);
            for (int k = 0; k < 3; k++) {
                bool isVertex = false;
                for (KuPoint p : r.outline)
                    isVertex = isVertex || (p == KuPoint{t.x[k], t.y[k]});
                EXPECT_TRUE(isVertex) << "corner " << show({t.x[k], t.y[k]});
            }
        }
        EXPECT_NEAR(total, std::fabs(signedArea(r.outline)), 1e-3);

        // Sample points off every grid line: each one inside the polygon lies in exactly one
        // triangle, each one outside in none.
        float minX = 1e9f, minY = 1e9f, maxX = -1e9f, maxY = -1e9f;
        for (KuPoint p : r.outline) {
            minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
        }
        for (double x = minX - 1.63; x < maxX + 1; x += 1) {
            for (double y = minY - 1.39; y < maxY + 1; y += 1) {
                int covering = 0;
                for (const _KuTriangle& t : triangles)
                    covering += strictlyInTriangle(t, x, y);
                bool inside = polygon->isInPolygonComplex(KuPoint{float(x), float(y)}, true);
                ASSERT_EQ(covering, inside ? 1 : 0) << "sample (" << x << "," << y << ")";
            }
        }
    }
}

TEST_F(GeometryPolygon, EarOrderAndCornerOrder) {
    // Ears are taken from the first vertex on, each stored as (ear, previous, next) turned
    // counter-clockwise; the last three vertices are stored second, first, third.
    using Corners = std::vector<Outline>;
    struct Row {
        const char* name;
        Outline outline;
        Corners triangles;
    } rows[] = {
        {"square", kSquareCw, {{{0, 0}, {10, 0}, {0, 10}}, {{10, 10}, {0, 10}, {10, 0}}}},
        // The notch tip (5,5) lies on the far side (10,0)-(0,10) of the first ear, which does not
        // block it; it does block the next candidate, whose side it touches.
        {"notch tip on the far side",
         {{0, 0}, {0, 10}, {10, 10}, {5, 5}, {10, 0}},
         {{{0, 0}, {10, 0}, {0, 10}}, {{10, 10}, {0, 10}, {5, 5}}, {{5, 5}, {0, 10}, {10, 0}}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        KuPolygonObject* polygon = polygonOf(r.outline);
        ASSERT_TRUE(polygon->makeTriangleVector(false));
        const std::vector<_KuTriangle>& got = polygon->triangleVector();
        ASSERT_EQ(got.size(), r.triangles.size());
        for (size_t i = 0; i < got.size(); i++)
            for (int k = 0; k < 3; k++)
                EXPECT_EQ((KuPoint{got[i].x[k], got[i].y[k]}), r.triangles[i][k])
                    << "triangle " << i << " corner " << k;
    }
}

TEST_F(GeometryPolygon, FailedTriangulationEmptiesTheList) {
    // A counter-clockwise outline without the retry fails and is left in its order; any earlier
    // triangles are dropped.
    KuPolygonObject* polygon = polygonOf(kUCcw);
    ASSERT_TRUE(polygon->makeTriangleVector(true));
    ASSERT_FALSE(polygon->triangleVector().empty());
    polygon->reverse();
    EXPECT_FALSE(polygon->makeTriangleVector(false));
    EXPECT_TRUE(polygon->triangleVector().empty());
    EXPECT_EQ(outlineOf(polygon), kUCcw);

    // Too few points fail whether or not the retry is asked for.
    for (const Outline& few : {Outline{}, Outline{{1, 1}}, Outline{{0, 0}, {5, 5}}}) {
        KuPolygonObject* small = polygonOf(kSquareCw);
        ASSERT_TRUE(small->makeTriangleVector(true));
        small->removeAllPoints();  // leaves the triangles stale until rebuilt
        EXPECT_EQ(small->triangleVector().size(), 2u);
        for (KuPoint p : few)
            small->addPointToBack(p);
        EXPECT_FALSE(small->makeTriangleVector(true)) << few.size() << " points";
        EXPECT_TRUE(small->triangleVector().empty());
        EXPECT_EQ(outlineOf(small), few);
    }
}

TEST_F(GeometryPolygon, EditsThroughThePointArrayAreSeen) {
    // The editor inserts and moves walkbox points in the array itself, then rebuilds.
    KuPolygonObject* polygon = polygonOf(kSquareCw);
    polygon->points()->insertObjectAfter(KuPointObject::pointWithPoint(KuPoint{5, 5}), 1);  // notch the top
    EXPECT_STREQ(polygon->stringFromPoints()->c_str(), "(0,0);(0,10);(5,5);(10,10);(10,0)");
    EXPECT_FALSE(polygon->isInPolygon(KuPoint{5, 8}));
    ASSERT_TRUE(polygon->makeTriangleVector(true));
    double total = 0;
    for (const _KuTriangle& t : polygon->triangleVector())
        total += KuTriangleSignedArea(t);
    EXPECT_NEAR(total, 75, 1e-4);
}

}  // namespace
