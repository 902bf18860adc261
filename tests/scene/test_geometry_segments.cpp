// Segment intersection, nearest point on a segment, and circle/triangle overlap with rectangles.
#include <cmath>
#include <limits>

#include "KuGeometry.h"
#include "TestSupport.h"

namespace {

std::string show(KuPoint p) {
    return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
}

struct SegmentCase {
    const char* name;
    KuPoint p1, p2, p3, p4;
    bool meets;         // KuDoLinesIntersect
    KuPoint hit;        // when meets
    bool meetsNotEnds;  // KuDoLinesIntersectNotEnds
};

const SegmentCase kSegmentCases[] = {
    {"crossing", {0, 0}, {10, 10}, {0, 10}, {10, 0}, true, {5, 5}, true},
    {"shared end, corner", {0, 0}, {10, 0}, {10, 0}, {10, 10}, true, {10, 0}, false},
    {"shared start", {0, 0}, {10, 0}, {0, 0}, {0, 10}, true, {0, 0}, false},
    {"end on the other's middle", {0, 0}, {10, 0}, {5, 0}, {5, 5}, true, {5, 0}, true},
    {"parallel", {0, 0}, {10, 0}, {0, 1}, {10, 1}, false, {}, false},
    {"collinear overlapping", {0, 0}, {10, 0}, {5, 0}, {15, 0}, false, {}, false},
    {"collinear touching ends", {0, 0}, {10, 0}, {10, 0}, {20, 0}, false, {}, false},
    {"identical", {0, 0}, {10, 0}, {0, 0}, {10, 0}, false, {}, true},
    {"identical reversed", {0, 0}, {10, 0}, {10, 0}, {0, 0}, false, {}, true},
    {"lines meet beyond the segments", {0, 0}, {2, 2}, {4, 0}, {4, 1}, false, {}, false},
    {"just short of the end", {0, 0}, {10, 0}, {10.001f, -5}, {10.001f, 5}, false, {}, false},
    {"large whole coordinates", {0, 0}, {4000, 3000}, {4000, 0}, {0, 3000}, true, {2000, 1500}, true},
};

TEST(GeometrySegments, IntersectionTable) {
    for (const SegmentCase& c : kSegmentCases) {
        SCOPED_TRACE(c.name);
        const KuPoint untouched{-777, -777};
        KuPoint hit = untouched;
        EXPECT_EQ(KuDoLinesIntersect(c.p1, c.p2, c.p3, c.p4, &hit), c.meets);
        if (c.meets) {
            EXPECT_NEAR(hit.x, c.hit.x, 1e-4) << show(hit);
            EXPECT_NEAR(hit.y, c.hit.y, 1e-4) << show(hit);
        } else {
            EXPECT_EQ(hit, untouched) << "a miss must not write the hit point";
        }
        // The order of the two segments does not change the answer.
        EXPECT_EQ(KuDoLinesIntersect(c.p3, c.p4, c.p1, c.p2, nullptr), c.meets);
        EXPECT_EQ(KuDoLinesIntersectNotEnds(c.p1, c.p2, c.p3, c.p4, nullptr), c.meetsNotEnds);
        EXPECT_EQ(KuDoLinesIntersectNotEnds(c.p3, c.p4, c.p1, c.p2, nullptr), c.meetsNotEnds);
    }
}

TEST(GeometrySegments, NotEndsWritesTheMeetingPoint) {
    KuPoint hit{};
    ASSERT_TRUE(KuDoLinesIntersectNotEnds({0, 0}, {10, 0}, {4, -2}, {4, 2}, &hit));
    EXPECT_EQ(hit, (KuPoint{4, 0}));
    ASSERT_TRUE(KuDoLinesIntersectNotEnds({3, 1}, {8, 1}, {8, 1}, {3, 1}, &hit));
    EXPECT_EQ(hit, (KuPoint{3, 1}));
}

struct NearestCase {
    KuPoint p, a, b;
    KuPoint nearest;
    float distance;
};

TEST(GeometrySegments, NearestPointAndDistanceTable) {
    const NearestCase cases[] = {
        {{5, 5}, {0, 0}, {10, 0}, {5, 0}, 5},                  // above the middle
        {{-3, 4}, {0, 0}, {10, 0}, {0, 0}, 5},                 // before the start: the start
        {{13, 4}, {0, 0}, {10, 0}, {10, 0}, 5},                // past the end: the end
        {{3, 4}, {0, 0}, {0, 0}, {0, 0}, 5},                   // a collapsed segment is its point
        {{0, 10}, {0, 0}, {10, 10}, {5, 5}, std::sqrt(50.f)},  // slanted
        {{2, 2}, {0, 0}, {4, 4}, {2, 2}, 0},                   // on the segment
        {{0, 10}, {10, 10}, {0, 0}, {5, 5}, std::sqrt(50.f)},  // either direction
    };
    for (const NearestCase& c : cases) {
        SCOPED_TRACE("p " + show(c.p) + " segment " + show(c.a) + "-" + show(c.b));
        KuPoint q = KuClosestPointToLine(c.p, c.a, c.b);
        EXPECT_NEAR(q.x, c.nearest.x, 1e-4);
        EXPECT_NEAR(q.y, c.nearest.y, 1e-4);
        EXPECT_NEAR(KuPointDistToLine(c.p, c.a, c.b), c.distance, 1e-4);
    }
}

TEST(GeometrySegments, CircleAndRectangle) {
    const KuRect box{{0, 0}, {10, 10}};
    const KuRect reversedBox{{10, 10}, {0, 0}};
    struct Row {
        KuPoint centre;
        float radius;
        bool overlaps;
    } rows[] = {
        {{5, 5}, 1, true},       // centre inside
        {{-2, 5}, 2, true},      // touches the left side
        {{-2, 5}, 1.9f, false},  // just short of it
        {{5, 13}, 3, true},      // touches the top
        {{-3, -4}, 5, true},     // reaches the corner exactly (3-4-5)
        {{-3, -4}, 4.9f, false},
        {{-3, -4}, 4.5f, false},  // within the widened box on both axes, yet clear of the corner
        {{20, 5}, 100, true},     // a circle swallowing the box
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("centre " + show(r.centre) + " radius " + std::to_string(r.radius));
        EXPECT_EQ(KuDoCircleAndRectIntersect(r.centre, r.radius, box), r.overlaps);
        EXPECT_EQ(KuDoCircleAndRectIntersect(r.centre, r.radius, reversedBox), r.overlaps);
    }
}

TEST(GeometrySegments, TriangleAndRectangle) {
    const _KuTriangle corner{{0, 10, 0}, {0, 0, 10}};      // (0,0), (10,0), (0,10)
    const _KuTriangle diagonal{{0, 10, 10}, {0, 10, 10}};  // collapsed onto (0,0)-(10,10)
    struct Row {
        const char* name;
        const _KuTriangle* triangle;
        KuRect rect;
        bool overlaps;
    } rows[] = {
        {"rect inside", &corner, {{1, 1}, {2, 2}}, true},
        {"rect across the slanted side", &corner, {{4, 4}, {8, 8}}, true},
        {"rect beyond the slanted side, inside the bounds", &corner, {{6, 6}, {8, 8}}, false},
        {"rect touching the slanted side", &corner, {{5, 5}, {6, 6}}, true},
        {"rect to the right", &corner, {{11, 0}, {12, 1}}, false},
        {"rect holding the triangle", &corner, {{-1, -1}, {20, 20}}, true},
        {"corners given max first", &corner, {{2, 2}, {1, 1}}, true},
        {"collapsed triangle missing", &diagonal, {{6, 0}, {8, 2}}, false},
        {"collapsed triangle crossing", &diagonal, {{4, 4}, {6, 5}}, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(KuDoTriangleAndRectIntersect(*r.triangle, r.rect), r.overlaps);
    }
}

}  // namespace
