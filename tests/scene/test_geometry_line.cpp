// Polylines: text and array forms, point editing, length and evenly spaced points.
#include <string>
#include <vector>

#include "KuLineObject.h"
#include "KuNumber.h"
#include "KuString.h"
#include "TestSupport.h"

namespace {

using GeometryLine = KuPoolTest;

std::vector<KuPoint> pointsOf(KuArray<KuPointObject*>* array) {
    std::vector<KuPoint> out;
    for (KuPointObject* p : *array)
        out.push_back(p->point);
    return out;
}

void expectPoints(const std::vector<KuPoint>& got, const std::vector<KuPoint>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_NEAR(got[i].x, want[i].x, 1e-4) << "point " << i;
        EXPECT_NEAR(got[i].y, want[i].y, 1e-4) << "point " << i;
    }
}

TEST_F(GeometryLine, ReadsTextAndWritesItBack) {
    struct Row {
        const char* text;
        std::vector<KuPoint> points;
        const char* written;
    } rows[] = {
        {"(0,0);(10,5.5);", {{0, 0}, {10, 5.5f}}, "(0,0);(10,5.5);"},
        {"(1,2);(3,4)", {{1, 2}, {3, 4}}, "(1,2);(3,4);"},
        {";(1,2);;(3,4);", {{1, 2}, {3, 4}}, "(1,2);(3,4);"},  // empty parts skipped
        {"{1,2};(-3.25,4e+06)", {{1, 2}, {-3.25f, 4e6f}}, "(1,2);(-3.25,4e+06);"},
        {"(1,2);junk", {{1, 2}, {0, 0}}, "(1,2);(0,0);"},  // unreadable part: the origin
        {"", {}, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        KuLineObject* line = KuLineObject::lineWithString(KuString::stringWithString(r.text));
        expectPoints(line->points, r.points);
        EXPECT_STREQ(line->toString()->c_str(), r.written);
    }
    EXPECT_EQ(KuLineObject::lineWithString(nullptr)->count(), 0);
}

TEST_F(GeometryLine, ArrayFormRoundTripsAndSkipsOtherElements) {
    KuLineObject* line = KuLineObject::line();
    line->addPoint(KuPoint{1, 2});
    line->addPoint(KuPoint{-0.5f, 3});
    KuArray<KuString*>* saved = line->saveAsArray();
    ASSERT_EQ(saved->count(), 2);
    EXPECT_STREQ(saved->objectAtIndex(0)->c_str(), "(1,2)");
    EXPECT_STREQ(saved->objectAtIndex(1)->c_str(), "(-0.5,3)");
    expectPoints(KuLineObject::lineWithArray(saved->as<KuPointObject*>())->points, line->points);

    // A document array mixes strings and point objects; other values are skipped.
    auto* mixed = KuArray<KuObject*>::array();
    mixed->addObject(KuString::stringWithString("{7,8}"));
    mixed->addObject(KuPointObject::pointWithPoint(KuPoint{9, 10}));
    mixed->addObject(_KuNewNumber(5));
    mixed->addObject(KuString::stringWithString("nothing"));
    KuLineObject* read = KuLineObject::newWithArray(mixed->as<KuPointObject*>());
    expectPoints(read->points, {{7, 8}, {9, 10}, {0, 0}});
    KuRelease(read);
    EXPECT_EQ(KuLineObject::lineWithArray(nullptr)->count(), 0);
}

TEST_F(GeometryLine, InsertAtEveryPosition) {
    struct Row {
        int index;
        std::vector<KuPoint> after;
    } rows[] = {
        {0, {{9, 9}, {0, 0}, {1, 1}, {2, 2}}},
        {1, {{0, 0}, {9, 9}, {1, 1}, {2, 2}}},
        {3, {{0, 0}, {1, 1}, {2, 2}, {9, 9}}},
        {8, {{0, 0}, {1, 1}, {2, 2}, {9, 9}}},   // past the count: appended
        {-2, {{9, 9}, {0, 0}, {1, 1}, {2, 2}}},  // negative: first
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.index);
        KuLineObject* line = KuLineObject::lineWithPoints({0, 0}, {1, 1});
        line->addPoint(KuPoint{2, 2});
        line->insertPointBefore(KuPoint{9, 9}, r.index);
        expectPoints(line->points, r.after);
    }
}

TEST_F(GeometryLine, EndsAndIndexesFallBackWhenMissing) {
    const KuPoint fallback{-1, -2};
    KuLineObject* line = KuLineObject::lineWithLine(KuLine{{1, 1}, {2, 2}});
    line->addPoint(KuPointObject::pointWithPoint(KuPoint{3, 3}));
    line->addPoint(static_cast<KuPointObject*>(nullptr));
    ASSERT_EQ(line->count(), 3);
    EXPECT_EQ(line->pointAtIndex(2, fallback), (KuPoint{3, 3}));
    EXPECT_EQ(line->pointAtIndex(3, fallback), fallback);
    EXPECT_EQ(line->pointAtIndex(-1, fallback), fallback);

    EXPECT_EQ(line->removeFirstPoint(fallback), (KuPoint{1, 1}));
    EXPECT_EQ(line->removeLastPoint(fallback), (KuPoint{3, 3}));
    EXPECT_EQ(line->firstPoint(fallback), (KuPoint{2, 2}));
    EXPECT_EQ(line->lastPoint(fallback), (KuPoint{2, 2}));
    EXPECT_EQ(line->removeLastPoint(fallback), (KuPoint{2, 2}));
    for (KuPoint got : {line->firstPoint(fallback), line->lastPoint(fallback),
                        line->removeFirstPoint(fallback), line->removeLastPoint(fallback)})
        EXPECT_EQ(got, fallback);
}

TEST_F(GeometryLine, CopyAddLineAndReverse) {
    KuLineObject* line = KuLineObject::lineWithPoints({0, 0}, {1, 0});
    KuLineObject* copy = line->copy();
    line->addLine(line);  // appending itself doubles the points
    expectPoints(line->points, {{0, 0}, {1, 0}, {0, 0}, {1, 0}});
    expectPoints(copy->points, {{0, 0}, {1, 0}});  // the copy is independent
    copy->addLine(nullptr);
    copy->addLine(KuLineObject::lineWithPoints({5, 5}, {6, 6}));
    copy->reverse();
    expectPoints(copy->points, {{6, 6}, {5, 5}, {1, 0}, {0, 0}});
    EXPECT_STREQ(copy->typeStr(), "KuLineObject");
    KuRelease(copy);
}

TEST_F(GeometryLine, DistanceSumsTheSegments) {
    struct Row {
        std::vector<KuPoint> points;
        float distance;
    } rows[] = {
        {{}, 0},
        {{{4, 4}}, 0},
        {{{0, 0}, {3, 4}}, 5},
        {{{0, 0}, {3, 4}, {3, 10}}, 11},
        {{{0, 0}, {3, 4}, {0, 0}}, 10},  // doubling back still adds up
    };
    for (const Row& r : rows) {
        KuLineObject* line = KuLineObject::line();
        for (KuPoint p : r.points)
            line->addPoint(p);
        EXPECT_FLOAT_EQ(line->distance(), r.distance) << r.points.size() << " points";
    }
}

TEST_F(GeometryLine, PointsEveryStepCarryAcrossSegments) {
    struct Row {
        const char* name;
        std::vector<KuPoint> line;
        int step;
        std::vector<KuPoint> expected;
    } rows[] = {
        {"straight", {{0, 0}, {0, 10}}, 4, {{0, 0}, {0, 4}, {0, 8}}},
        {"corner carries the remainder",
         {{0, 0}, {0, 10}, {10, 10}},
         4,
         {{0, 0}, {0, 4}, {0, 8}, {2, 10}, {6, 10}, {10, 10}}},
        {"short segments are stepped over", {{0, 0}, {0, 1}, {0, 2}, {0, 10}}, 4, {{0, 0}, {0, 4}, {0, 8}}},
        {"end reached exactly", {{0, 0}, {3, 4}}, 5, {{0, 0}, {3, 4}}},
        {"leftward and down", {{10, 10}, {0, 10}, {0, 0}}, 6, {{10, 10}, {4, 10}, {0, 8}, {0, 2}}},
        {"one point", {{3, 3}}, 4, {{3, 3}}},
        {"no points", {}, 4, {}},
        {"zero step", {{0, 0}, {0, 10}}, 0, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        KuLineObject* line = KuLineObject::line();
        for (KuPoint p : r.line)
            line->addPoint(p);
        expectPoints(pointsOf(line->arrayWithPointsEvery(r.step)), r.expected);
    }
}

}  // namespace
