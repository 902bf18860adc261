// Walkboxes: loading and saving with truncation, picking by truncated distance, ties, shared
// corners, hidden walkboxes, inserting and deleting points, new walkboxes, and the sample rooms'
// walkboxes surviving a load and save unchanged.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "KuDictionary.h"
#include "KuJson.h"
#include "KuNumber.h"
#include "TestSupport.h"
#include "WalkBox.h"

namespace {

// One walkbox dictionary per polygon text, in order.
KuArray<KuObject*>* walkboxArray(const std::vector<std::string>& polygons) {
    KuArray<KuObject*>* array = KuArray<KuObject*>::array();
    for (const std::string& text : polygons)
        array->addObject(KuDictionary::dictionaryWithArgs(KUSTR_polygon, S(text), nullptr));
    return array;
}

std::string pointsOf(WalkBox* box) {
    return box ? box->polygon->stringFromPoints()->c_str() : "<none>";
}

class WalkBoxTest : public KuPoolTest {
protected:
    WalkBoxSet set;
    int edits = 0;

    void load(const std::vector<std::string>& polygons) {
        set.loadFromArray(walkboxArray(polygons));
        set.setEditHandler([this] { edits++; });
    }
    WalkBox* box(int i) { return set.walkBoxAtIndex(i); }
};

TEST_F(WalkBoxTest, LoadingTruncatesTowardZeroAndSelectsTheFirst) {
    const struct {
        const char* polygon;
        const char* loaded;
    } rows[] = {
        {"(1.9,-1.9);(10.5,0);(10,10.99)", "(1,-1);(10,0);(10,10)"},
        {"(-0.5,0.5);(3,4)", "(0,0);(3,4)"},
        {"", ""},
    };
    std::vector<std::string> polygons;
    for (const auto& row : rows)
        polygons.push_back(row.polygon);
    load(polygons);
    ASSERT_EQ(set.count(), 3);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(pointsOf(box(i)), rows[i].loaded) << "row " << i << ": " << rows[i].polygon;
    EXPECT_EQ(set.selectedWalkBox(), box(0));
    EXPECT_TRUE(box(0)->visible);
    ASSERT_NE(box(0)->identifier, nullptr);
    EXPECT_EQ(box(0)->identifier->length, 20);
    EXPECT_FALSE(KuStreq(box(0)->identifier, box(1)->identifier));
    EXPECT_EQ(edits, 0);
}

TEST_F(WalkBoxTest, SavingKeepsUnknownKeysAndLeavesOutWalkboxesBelowTwoPoints) {
    KuArray<KuObject*>* array = KuArray<KuObject*>::array();
    array->addObject(KuDictionary::dictionaryWithArgs(KUSTR_polygon, S("(0,0);(0,10);(10,10)"), KUSTR_name,
                                                      S("quay"), S("surface"), S("wood"), nullptr));
    array->addObject(S("not a walkbox"));
    array->addObject(
        KuDictionary::dictionaryWithArgs(KUSTR_polygon, S("(5,5)"), KUSTR_name, S("dot"), nullptr));
    array->addObject(KuDictionary::dictionaryWithArgs(S("surface"), S("stone"), nullptr));
    set.loadFromArray(array);
    ASSERT_EQ(set.count(), 3);  // the string entry is not a walkbox

    // Moved points are written back whole.
    box(0)->polygon->pointObjectAtIndex(0)->point = KuPoint{2.75f, -3.5f};
    KuArray<KuObject*>* saved = set.saveToArray();
    ASSERT_EQ(saved->count(), 1);
    KuDictionary* d = static_cast<KuDictionary*>(saved->objectAtIndex(0));
    EXPECT_EQ(d, array->objectAtIndex(0)) << "the walkbox's own dictionary is written back";
    EXPECT_STREQ(d->stringForKey(KUSTR_polygon)->c_str(), "(2,-3);(0,10);(10,10)");
    EXPECT_STREQ(d->stringForKey(KUSTR_name)->c_str(), "quay");
    EXPECT_STREQ(d->stringForKey("surface")->c_str(), "wood");
}

TEST_F(WalkBoxTest, PolygonsThatDoNotReadAsPointsAreSavedBackAsWritten) {
    struct Row {
        const char* what;
        KuObject* polygon;
        bool kept;
    } rows[] = {
        {"words", S("north of the well"), true},
        {"a number", KuAutorelease(new KuNumber(42)), true},
        {"half a pair", S("(5,"), true},
        {"one real point", S("(5, 5)"), false},
        {"empty text", S(""), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        KuArray<KuObject*>* array = KuArray<KuObject*>::array();
        array->addObject(
            KuDictionary::dictionaryWithArgs(KUSTR_polygon, row.polygon, KUSTR_name, S("w"), nullptr));
        set.loadFromArray(array);
        ASSERT_EQ(set.count(), 1);
        EXPECT_EQ(box(0)->unreadable, row.kept);
        KuArray<KuObject*>* saved = set.saveToArray();
        ASSERT_EQ(saved->count(), row.kept ? 1 : 0);
        if (row.kept) {
            EXPECT_EQ(saved->objectAtIndex(0), array->objectAtIndex(0));
        }
        // Deleting it is deliberate: then it goes.
        set.deleteWalkbox(box(0));
        EXPECT_EQ(set.saveToArray()->count(), 0);
    }
}

TEST_F(WalkBoxTest, RenamingToEmptyRemovesTheName) {
    load({"(0,0);(0,10);(10,10)"});
    set.renameWalkBox(box(0), S("ramp"));
    EXPECT_STREQ(box(0)->name()->c_str(), "ramp");
    set.renameWalkBox(box(0), S(""));
    EXPECT_EQ(box(0)->name(), nullptr);
    EXPECT_FALSE(box(0)->dictionary->containsKey(KUSTR_name));
    EXPECT_EQ(edits, 2);
}

TEST_F(WalkBoxTest, PickingAPointComparesTruncatedDistances) {
    load({"(100,100);(100,200);(200,200)"});
    const struct {
        KuPoint probe;
        bool picked;
    } rows[] = {
        {{100, 100}, true},        {{103, 100}, true},   {{103.9f, 100}, true},  // 3.9 counts as 3
        {{104, 100}, false},       {{100, 96.1f}, true}, {{100, 104}, false},
        {{102.1f, 102.1f}, true},   // 2.97
        {{102.9f, 102.9f}, false},  // 4.1
    };
    for (const auto& row : rows) {
        set.selectWalkBox(nullptr);
        KuPointObject* found = set.findWalkBoxPointAt(nullptr, row.probe, 3);
        EXPECT_EQ(found != nullptr, row.picked) << "probe (" << row.probe.x << "," << row.probe.y << ")";
        EXPECT_EQ(set.selectedWalkBox(), row.picked ? box(0) : nullptr);
        if (found) {
            EXPECT_EQ(found, box(0)->polygon->pointObjectAtIndex(0));
        }
    }
}

TEST_F(WalkBoxTest, EqualTruncatedDistancesKeepTheFirstPointExamined) {
    // Both candidates lie at truncated distance 2 from (50,50): the first walkbox's point at 2.9
    // wins over the second's at 2.1.
    load({"(52.9,50);(0,100);(0,0)", "(50,52.1);(100,100);(100,0)"});
    // Loading truncates: the first point becomes (52,50) at 2.0, the second (50,52) at 2.0.
    KuPointObject* found = set.findWalkBoxPointAt(nullptr, KuPoint{50, 50}, 3);
    EXPECT_EQ(found, box(0)->polygon->pointObjectAtIndex(0));
    EXPECT_EQ(set.selectedWalkBox(), box(0));

    // Fractional points (placed by insertion) compete by truncated distance too.
    box(0)->polygon->pointObjectAtIndex(0)->point = KuPoint{52.9f, 50};
    box(1)->polygon->pointObjectAtIndex(0)->point = KuPoint{50, 52.1f};
    set.selectWalkBox(nullptr);
    EXPECT_EQ(set.findWalkBoxPointAt(nullptr, KuPoint{50, 50}, 3), box(0)->polygon->pointObjectAtIndex(0));
    // A nearer point wins whatever the order.
    box(1)->polygon->pointObjectAtIndex(0)->point = KuPoint{50, 51};
    EXPECT_EQ(set.findWalkBoxPointAt(nullptr, KuPoint{50, 50}, 3), box(1)->polygon->pointObjectAtIndex(0));
    EXPECT_EQ(set.selectedWalkBox(), box(1));
    // With a walkbox given, only its points are candidates.
    EXPECT_EQ(set.findWalkBoxPointAt(box(0), KuPoint{50, 50}, 3), box(0)->polygon->pointObjectAtIndex(0));
    EXPECT_EQ(set.selectedWalkBox(), box(0));
}

TEST_F(WalkBoxTest, SharedCornersAreFoundTogether) {
    load({"(0,0);(0,10);(10,10);(10,0)", "(10,10);(10,20);(20,20);(20,10)", "(40,40);(40,50);(50,50)"});
    set.selectWalkBox(nullptr);
    KuPointObject* first = box(0)->polygon->pointObjectAtIndex(2);
    KuPointObject* second = box(1)->polygon->pointObjectAtIndex(0);

    EXPECT_EQ(set.findWalkBoxPointAt(nullptr, KuPoint{11, 11}, 3), first);
    EXPECT_EQ(set.selectedWalkBox(), box(0)) << "the walkbox listed first is selected";

    const struct {
        int selected;  // -1: none
        bool secondHidden;
        std::vector<KuPointObject*> expected;
    } rows[] = {
        {-1, false, {first, second}},
        {1, false, {first, second}},  // the point found in walkbox 1 has the same coordinates
        {0, true, {first}},           // hidden walkboxes give no points
        {2, false, {}},               // the selected walkbox has no point near
    };
    for (const auto& row : rows) {
        box(1)->visible = !row.secondHidden;
        set.selectWalkBox(row.selected < 0 ? nullptr : box(row.selected));
        KuArray<KuPointObject*>* all = set.findAllWalkBoxPointsAt(KuPoint{11, 11}, 3);
        std::vector<KuPointObject*> got(all->begin(), all->end());
        EXPECT_EQ(got, row.expected) << "selected " << row.selected << ", hidden " << row.secondHidden;
    }
}

TEST_F(WalkBoxTest, HiddenWalkboxesAreNotPickedByPointButStillTakeInsertsAndContainPoints) {
    load({"(0,0);(0,10);(10,10);(10,0)"});
    box(0)->visible = false;
    set.selectWalkBox(nullptr);
    EXPECT_EQ(set.findWalkBoxPointAt(nullptr, KuPoint{0, 0}, 3), nullptr);
    EXPECT_EQ(set.findWalkBoxPointAt(box(0), KuPoint{0, 0}, 3), nullptr);
    EXPECT_EQ(set.selectedWalkBox(), nullptr);
    EXPECT_EQ(set.findWalkBoxAt(KuPoint{5, 5}), box(0));
    EXPECT_EQ(set.findWalkBoxAt(KuPoint{15, 5}), nullptr);
    EXPECT_TRUE(set.insertPointAt(KuPoint{5, 11}, 3));
    EXPECT_EQ(box(0)->polygon->count(), 5);
    EXPECT_EQ(set.selectedWalkBox(), box(0));
}

TEST_F(WalkBoxTest, InsertingGoesIntoTheNearestEdgeEarliestFirst) {
    const struct {
        KuPoint p;
        bool inserted;
        int walkbox;
        const char* first;   // walkbox 0 afterwards
        const char* second;  // walkbox 1 afterwards
    } rows[] = {
        // Equally near the top edge of walkbox 0 and the bottom edge of walkbox 1: walkbox 0 wins.
        {{5, 12}, true, 0, "(0,0);(0,10);(5,12);(10,10);(10,0)", "(0,14);(0,24);(10,24);(10,14)"},
        // Equally near two edges of one walkbox (its corner): the lower index wins.
        {{-2, 12}, true, 0, "(0,0);(-2,12);(0,10);(10,10);(10,0)", "(0,14);(0,24);(10,24);(10,14)"},
        // The closing edge puts the point after the last one; fractions are kept.
        {{5.5f, -1.5f}, true, 0, "(0,0);(0,10);(10,10);(10,0);(5.5,-1.5)", "(0,14);(0,24);(10,24);(10,14)"},
        {{5, 13.9f}, true, 1, "(0,0);(0,10);(10,10);(10,0)", "(0,14);(0,24);(10,24);(10,14);(5,13.9)"},
        {{5, 30}, false, -1, "(0,0);(0,10);(10,10);(10,0)", "(0,14);(0,24);(10,24);(10,14)"},
    };
    for (const auto& row : rows) {
        load({"(0,0);(0,10);(10,10);(10,0)", "(0,14);(0,24);(10,24);(10,14)"});
        set.selectWalkBox(nullptr);
        edits = 0;
        std::string where = "point (" + std::to_string(row.p.x) + "," + std::to_string(row.p.y) + ")";
        EXPECT_EQ(set.insertPointAt(row.p, 3), row.inserted) << where;
        EXPECT_EQ(pointsOf(box(0)), row.first) << where;
        EXPECT_EQ(pointsOf(box(1)), row.second) << where;
        EXPECT_EQ(set.selectedWalkBox(), row.walkbox < 0 ? nullptr : box(row.walkbox)) << where;
        EXPECT_EQ(edits, row.inserted ? 1 : 0) << where;
        if (row.inserted) {
            EXPECT_FALSE(box(row.walkbox)->polygon->triangleVector().empty()) << where;
        }
    }
    WalkBoxSet empty;
    EXPECT_FALSE(empty.insertPointAt(KuPoint{0, 0}, 3));
}

TEST_F(WalkBoxTest, DeletingDownToOnePointEmptiesAndDeselects) {
    load({"(0,0);(0,10);(10,10)", "(20,0);(20,10);(30,10)"});
    KuPointObject* p0 = box(0)->polygon->pointObjectAtIndex(0);
    KuPointObject* p1 = box(0)->polygon->pointObjectAtIndex(1);
    KuPointObject* other = box(1)->polygon->pointObjectAtIndex(0);
    ASSERT_EQ(set.selectedWalkBox(), box(0));

    EXPECT_FALSE(set.deletePoint(nullptr));
    EXPECT_FALSE(set.deletePoint(other)) << "a point of another walkbox is not deleted";
    EXPECT_EQ(box(1)->polygon->count(), 3);
    EXPECT_EQ(edits, 0);

    EXPECT_TRUE(set.deletePoint(p0));
    EXPECT_EQ(pointsOf(box(0)), "(0,10);(10,10)");
    EXPECT_EQ(set.selectedWalkBox(), box(0));
    EXPECT_FALSE(set.deletePoint(p0)) << "already gone";

    EXPECT_TRUE(set.deletePoint(p1));
    EXPECT_EQ(box(0)->polygon->count(), 0);
    EXPECT_EQ(set.selectedWalkBox(), nullptr);
    EXPECT_EQ(edits, 2);
    EXPECT_FALSE(set.deletePoint(other)) << "nothing selected";

    // The emptied walkbox stays listed, cannot be picked and is left out of the document.
    EXPECT_EQ(set.count(), 2);
    EXPECT_EQ(set.findWalkBoxPointAt(nullptr, KuPoint{0, 10}, 3), nullptr);
    KuArray<KuObject*>* saved = set.saveToArray();
    ASSERT_EQ(saved->count(), 1);
    EXPECT_STREQ(static_cast<KuDictionary*>(saved->objectAtIndex(0))->stringForKey(KUSTR_polygon)->c_str(),
                 "(20,0);(20,10);(30,10)");
}

TEST_F(WalkBoxTest, DeletingAWalkboxEmptiesItAndDeselectsOnlyItself) {
    load({"(0,0);(0,10);(10,10)", "(20,0);(20,10);(30,10)"});
    set.deleteWalkbox(box(1));
    EXPECT_EQ(set.selectedWalkBox(), box(0));
    EXPECT_EQ(box(1)->polygon->count(), 0);
    set.deleteWalkbox(box(0));
    EXPECT_EQ(set.selectedWalkBox(), nullptr);
    set.deleteWalkbox(nullptr);
    EXPECT_EQ(edits, 2);
    EXPECT_EQ(set.count(), 2);
    EXPECT_EQ(set.findWalkBoxAt(KuPoint{1, 5}), nullptr);
    EXPECT_EQ(set.saveToArray()->count(), 0);
}

TEST_F(WalkBoxTest, NewWalkboxHangsBelowItsTopEdgeThroughTheViewCentre) {
    load({"(0,0);(0,10);(10,10)"});
    const KuPoint centre =
        WalkBoxSet::roomPointAtViewCentre(KuPoint{320, 240}, 3, 2, KuPoint{200.6f, -120.9f});
    EXPECT_EQ(centre.x, 200);
    EXPECT_EQ(centre.y, -120);
    WalkBox* made = set.newWalkBox(centre);
    ASSERT_EQ(set.count(), 2);
    EXPECT_EQ(box(1), made);
    EXPECT_EQ(set.selectedWalkBox(), box(0));
    EXPECT_EQ(edits, 1);
    EXPECT_TRUE(made->visible);
    EXPECT_EQ(made->dictionary->count(), 0);
    // Triangulating may turn the outline round; the corners are what count.
    std::vector<std::pair<float, float>> corners;
    for (KuPointObject* p : *made->polygon->points())
        corners.emplace_back(p->point.x, p->point.y);
    std::sort(corners.begin(), corners.end());
    const std::vector<std::pair<float, float>> expected = {
        {180, -120}, {180, -100}, {220, -120}, {220, -100}};
    EXPECT_EQ(corners, expected);
    EXPECT_EQ(made->polygon->triangleVector().size(), 2u);
    EXPECT_EQ(set.findWalkBoxAt(KuPoint{200, -110}), made);
}

TEST_F(WalkBoxTest, SampleRoomWalkboxesSurviveLoadAndSave) {
    for (const char* room : {"/examples/Tansy/Harbour/Dock.tansy", "/examples/Tansy/Lighthouse.tansy"}) {
        std::string text = readFile(std::string(TANSY_SOURCE_DIR) + room);
        ASSERT_FALSE(text.empty()) << room;
        KuObject* root = quickParseKuJson(S(text));
        ASSERT_TRUE(root && root->kindCode() == kKuTypeDictionary) << room;
        KuDictionary* doc = static_cast<KuDictionary*>(root);
        KuArray<KuObject*>* original = doc->arrayForKey("walkboxes");
        ASSERT_TRUE(original && original->count() >= 3) << room;
        KuDictionary* before = KuDictionary::dictionaryWithArgs(KUSTR_walkboxes, original, nullptr);
        std::string beforeText = KuJson::stringFromDict(before)->c_str();
        // Copies of the entries, so the comparison does not see the same objects twice.
        KuArray<KuObject*>* copies = KuArray<KuObject*>::array();
        for (KuObject* entry : *original)
            copies->addObject(KuDictionary::dictionaryWithDictionary(static_cast<KuDictionary*>(entry)));

        WalkBoxSet rooms;
        rooms.loadFromArray(copies);
        KuDictionary* after = KuDictionary::dictionaryWithArgs(KUSTR_walkboxes, rooms.saveToArray(), nullptr);
        EXPECT_EQ(KuJson::stringFromDict(after)->c_str(), beforeText) << room;
    }
}

}  // namespace
