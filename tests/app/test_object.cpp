// Room objects: loading (defaults per kind, normalising, centring), saving (per-kind key rules,
// direction words, flags, animations), undo snapshots, the master list and identifiers, the
// drawing order, and the sample rooms' objects surviving a load and save unchanged.
#include <string>
#include <vector>

#include "GameScene.h"
#include "KuDictionary.h"
#include "KuJson.h"
#include "Object.h"
#include "TestSupport.h"
#include "WalkBox.h"

namespace {

// Parsed as the editor reads a document (symbols replaced), or as written (no symbols).
KuDictionary* parse(const std::string& text, bool withSymbols = true) {
    KuObject* root =
        quickParseKuJsonWithSymbolDict(S(text), withSymbols ? roomSymbolDictionary() : nullptr, false);
    return root && root->kindCode() == kKuTypeDictionary ? static_cast<KuDictionary*>(root) : nullptr;
}

std::string textOf(KuDictionary* d) {
    return d ? KuJson::stringFromDict(d)->c_str() : "<none>";
}

class ObjectTest : public KuPoolTest {
protected:
    void TearDown() override {
        Object::removeAllMasterObjects();
        KuPoolTest::TearDown();
    }
    // Autoreleased object loaded from the text.
    Object* load(const std::string& text) {
        KuDictionary* d = parse(text);
        EXPECT_NE(d, nullptr) << text;
        return KuAutorelease(Object::newWithDictionary(d, S("Room")));
    }
};

TEST_F(ObjectTest, LoadingAppliesKindDefaultsNormalisesAndCentres) {
    struct Row {
        const char* text;
        KuPoint pos, hotspotMin, hotspotMax, usepos;
        int zsort;
        bool hasUsepos2;
    };
    const Row rows[] = {
        // Placed by its hotspot: the middle becomes the position, the default use position moves too.
        {"hotspot: ((100,50),(140,90))", {120, 70}, {-20, -20}, {20, 20}, {-120, -100}, 0, false},
        {"pos: (10,20)", {10, 20}, {-10, -10}, {10, 10}, {0, -30}, 20, false},
        {"pos: (10,20)\nprop: 1", {10, 20}, {0, 0}, {0, 0}, {0, 0}, 20, false},
        {"pos: (10,20)\nspot: YES", {10, 20}, {0, 0}, {0, 0}, {0, 0}, 20, false},
        {"pos: (10,20)\ntrigger: 1", {10, 20}, {-10, -10}, {10, 10}, {0, -30}, 20, false},
        {"pos: (5,5)\nhotspot: ((10,10),(-10,-10))\nzsort: 7",
         {5, 5},
         {-10, -10},
         {10, 10},
         {0, -30},
         7,
         false},
        {"pos: (10.7,-20.7)\nhotspot: ((-3.5,2.5),(4.5,-1.5))\nusepos: (1.9,-1.9)\nusepos2: (0.5,0.9)",
         {10, -20},
         {-3, -1},
         {4, 2},
         {1, -1},
         -20,
         false},
        {"pos: (1,1)\nusepos2: (0,-1.5)", {1, 1}, {-10, -10}, {10, 10}, {0, -30}, 1, true},
        // Half pixels stay in pos and usepos until saving; the hotspot is truncated again.
        {"hotspot: ((1,0),(4,3))", {2.5f, 1.5f}, {-1, -1}, {1, 1}, {-2.5f, -31.5f}, 0, false},
        // An animated object at (0,0) is not centred.
        {"hotspot: ((100,50),(140,90))\nanimations: []", {0, 0}, {100, 50}, {140, 90}, {0, -30}, 0, false},
        // Out of range for an int: the depth saturates instead of being undefined.
        {"pos: (1,3e30)\nprop: 1", {1, 3e30f}, {0, 0}, {0, 0}, {0, 0}, INT32_MAX, false},
        {"pos: (1,-3e30)\nprop: 1", {1, -3e30f}, {0, 0}, {0, 0}, {0, 0}, INT32_MIN, false},
    };
    for (const Row& row : rows) {
        Object* o = load(row.text);
        SCOPED_TRACE(row.text);
        EXPECT_EQ(o->pos, row.pos);
        EXPECT_EQ(o->hotspotMin, row.hotspotMin);
        EXPECT_EQ(o->hotspotMax, row.hotspotMax);
        EXPECT_EQ(o->usepos, row.usepos);
        EXPECT_EQ(o->zSort(), row.zsort);
        EXPECT_EQ(o->hasUsepos2, row.hasUsepos2);
    }
}

TEST_F(ObjectTest, LoadingReadsDirectionsFlagsAndName) {
    Object* o = load("name: \"door\"\nusedir: DIR_LEFT\nusedir2: \"DIR_BACK\"\nlayer: -3\nprop: 0\ntrigger: "
                     "2\npos: (1,2)");
    ASSERT_NE(o->name, nullptr);
    EXPECT_STREQ(o->name->c_str(), "door");
    EXPECT_EQ(o->usedir, 2);
    EXPECT_EQ(o->usedir2, 8);
    EXPECT_EQ(o->layer, -3);
    EXPECT_FALSE(o->prop);
    EXPECT_TRUE(o->trigger);
    EXPECT_EQ(o->sheetName->c_str(), std::string("Room"));
    EXPECT_STREQ(o->typeStr(), "Object");
    EXPECT_EQ(std::string(o->toDebugString()->c_str()),
              "door (" + std::to_string(o->objectID) + ") {{-10,-10},{10,10}}");
}

TEST_F(ObjectTest, DirectionWordsAndValues) {
    const struct {
        int code;
        const char* word;
    } words[] = {{0, "DIR_FRONT"}, {1, "DIR_RIGHT"}, {2, "DIR_LEFT"},   {3, "DIR_FRONT"},
                 {4, "DIR_FRONT"}, {8, "DIR_BACK"},  {-1, "DIR_FRONT"}, {16, "DIR_FRONT"}};
    for (const auto& w : words)
        EXPECT_STREQ(ObjectDirectionWord(w.code), w.word) << w.code;

    const struct {
        KuObject* value;
        int expected;
    } values[] = {
        {S("DIR_RIGHT"), 1}, {S("DIR_LEFT"), 2}, {S("DIR_FRONT"), 4}, {S("DIR_BACK"), 8},
        {S("2"), 2},         {S("dir_back"), 0}, {nullptr, 9},        {KuDictionary::dictionary(), 9},
    };
    for (const auto& v : values)
        EXPECT_EQ(ObjectDirectionFromValue(v.value, 9), v.expected)
            << (v.value && v.value->isString() ? static_cast<KuString*>(v.value)->c_str() : "(not a string)");
}

TEST_F(ObjectTest, SavingFollowsTheKindRulesAndKeepsUnknownKeys) {
    const struct {
        const char* in;
        const char* out;  // as written (direction words stay words)
    } rows[] = {
        // A spot's position takes in its use position; no hotspot, use position or zsort.
        {"name: s\nspot: 1\npos: (100,100)\nusepos: (5,-7)\nzsort: 3\nhotspot: ((1,1),(2,2))\nusedir: "
         "2\nmood: calm",
         "name: s\nspot: 1\npos: (105,93)\nusedir: \"DIR_LEFT\"\nmood: calm"},
        {"name: p\nprop: YES\npos: (3,4)\nusedir: 1\nhotspot: ((1,1),(2,2))\nusepos: (1,1)\nlayer: 0\nsound: "
         "creak",
         "name: p\nprop: 1\npos: (3,4)\nzsort: 4\nsound: creak"},
        {"name: o\npos: (3,4)\nusedir: 0\nlayer: -2\nprop: 0\nspot: NO",
         "name: o\npos: (3,4)\nusedir: \"DIR_FRONT\"\nlayer: -2\nhotspot: ((-10,-10),(10,10))\nusepos: "
         "(0,-30)\nzsort: 4"},
        {"name: t\ntrigger: 5\npos: (1,2)\nusedir: 8\nhotspot: ((10,10),(-10,-10))\nusepos: (0,3)\nusedir2: "
         "1",
         "name: t\ntrigger: 1\npos: (1,2)\nusedir: \"DIR_BACK\"\nhotspot: ((-10,-10),(10,10))\nusepos: "
         "(0,3)\nzsort: 2"},
        {"name: b\npos: (3,4)\nusedir: 5\nusepos2: (-30,-41)\nusedir2: DIR_RIGHT",
         "name: b\npos: (3,4)\nusedir: \"DIR_FRONT\"\nhotspot: ((-10,-10),(10,10))\nusepos: "
         "(0,-30)\nusepos2: (-30,-41)\n"
         "usedir2: \"DIR_RIGHT\"\nzsort: 4"},
        // No name: whatever is there stays.
        {"pos: (3,4)\nprop: 1\nname: 12", "name: \"12\"\npos: (3,4)\nprop: 1\nzsort: 4"},
        // Animations: kept with frames at the animation's own level or in one of its layers.
        {"name: a\nprop: 1\npos: (3,4)\nanimations: [ { name: x frames: [] } { name: y frames: [ f1 ] } ]",
         "name: a\nprop: 1\npos: (3,4)\nzsort: 4\nanimations: [ { name: x frames: [] } { name: y frames: [ "
         "f1 ] } ]"},
        {"name: a\nprop: 1\npos: (3,4)\nanimations: [ { name: x layers: [ { frames: [] } { frames: [ f1 f2 ] "
         "} ] } ]",
         "name: a\nprop: 1\npos: (3,4)\nzsort: 4\nanimations: [ { name: x layers: [ { frames: [] } { frames: "
         "[ f1 f2 ] } ] "
         "} ]"},
        {"name: a\nprop: 1\npos: (3,4)\nanimations: [ { name: x frames: [] } { name: y layers: [ { frames: "
         "[] } ] } ]",
         "name: a\nprop: 1\npos: (3,4)\nzsort: 4"},
        {"name: a\nprop: 1\npos: (3,4)\nanimations: { frames: [ f1 ] }",
         "name: a\nprop: 1\npos: (3,4)\nzsort: 4"},
    };
    for (const auto& row : rows) {
        Object* o = load(row.in);
        KuDictionary* saved = o->save();
        EXPECT_EQ(saved, o->dictionary);
        EXPECT_EQ(textOf(saved), textOf(parse(row.out, false))) << row.in;
    }
}

TEST_F(ObjectTest, SavingTruncatesAndASpotKeepsItsNewPosition) {
    Object* o = load("name: s\nspot: 1\npos: (100,100)");
    o->usepos = KuPoint{5.8f, -7.9f};
    o->pos = KuPoint{-0.5f, 10.5f};
    o->save();
    EXPECT_EQ(o->pos, (KuPoint{5, 3}));
    EXPECT_EQ(o->usepos, (KuPoint{0, 0}));
    EXPECT_EQ(textOf(o->dictionary),
              textOf(parse("name: s\nspot: 1\npos: (5,3)\nusedir: \"DIR_FRONT\"", false)));
    // Saving again changes nothing more.
    o->save();
    EXPECT_EQ(o->pos, (KuPoint{5, 3}));

    Object* centred = load("name: c\nhotspot: ((1,0),(4,3))");
    centred->save();
    EXPECT_EQ(textOf(centred->dictionary),
              textOf(parse(
                  "name: c\npos: (2,1)\nhotspot: ((-1,-1),(1,1))\nusepos: (-2,-31)\nusedir: \"DIR_FRONT\"\n"
                  "zsort: 0",
                  false)));
}

TEST_F(ObjectTest, UndoRestoresTheSnapshotIncludingItsDirection) {
    Object* o = load("name: lamp\npos: (10,20)\nusedir: DIR_LEFT\nlayer: 2\ntrigger: 1\nusepos2: (4,4)");
    KuDictionary* snapshot = o->saveUndo();
    KuRetain(snapshot);

    o->usedir = 8;
    o->pos = KuPoint{50, 60};
    o->usepos = KuPoint{1, 1};
    o->zSort(99);
    o->hotspotMin = KuPoint{-1, -1};
    o->prop = true;
    KuSetRetained(o->name, S("other"));
    o->layer = 4;
    o->trigger = false;

    o->restoreUndo(snapshot);
    EXPECT_EQ(o->usedir, 2);
    EXPECT_STREQ(o->name->c_str(), "lamp");
    EXPECT_EQ(o->pos, (KuPoint{10, 20}));
    EXPECT_EQ(o->usepos, (KuPoint{0, -30}));
    EXPECT_EQ(o->zSort(), 20);
    EXPECT_EQ(o->hotspotMin, (KuPoint{-10, -10}));
    EXPECT_EQ(o->hotspotMax, (KuPoint{10, 10}));
    EXPECT_FALSE(o->prop);
    EXPECT_FALSE(o->spot);
    // Not part of the snapshot.
    EXPECT_EQ(o->layer, 4);
    EXPECT_FALSE(o->trigger);
    EXPECT_TRUE(o->hasUsepos2);
    KuRelease(snapshot);

    // A sparse snapshot gives the defaults; zsort follows the restored position.
    o->restoreUndo(parse("pos: (3,7)"));
    EXPECT_EQ(o->name, nullptr);
    EXPECT_EQ(o->zSort(), 7);
    EXPECT_EQ(o->usedir, 0);
    EXPECT_EQ(o->hotspotMax, (KuPoint{0, 0}));
    o->restoreUndo(nullptr);
    EXPECT_EQ(o->pos, (KuPoint{3, 7}));
}

TEST_F(ObjectTest, MasterObjectsAndIdentifiers) {
    const int first = Object::nextObjectID();
    EXPECT_GE(first, 300000);
    Object* a = load("name: \"a\"");
    Object* nameless = load("pos: (1,1)");
    Object* a2 = load("name: \"a\"");
    EXPECT_EQ(a->objectID, first);
    EXPECT_EQ(nameless->objectID, first + 1);
    EXPECT_EQ(a2->objectID, first + 2);
    a->load(parse("name: \"b\""));
    EXPECT_EQ(a->objectID, first) << "a reload keeps the identifier";
    EXPECT_EQ(Object::nextObjectID(), first + 3);

    for (Object* o : {a, nameless, a2})
        Object::addMasterObject(o);
    EXPECT_EQ(a->refCount, 2);
    EXPECT_EQ(Object::findObjectWithKey(S("b")), a);
    EXPECT_EQ(Object::findObjectWithKey(S("a")), a2);
    EXPECT_EQ(Object::findObjectWithKey(S("A")), nullptr);
    EXPECT_EQ(Object::findObjectWithKey(nullptr), nameless);
    EXPECT_EQ(Object::findObjectWithID(first + 2), a2);
    EXPECT_EQ(Object::findObjectWithID(1), nullptr);

    Object::addMasterObject(a);
    Object::deleteMasterObject(a);
    EXPECT_EQ(Object::findObjectWithKey(S("b")), nullptr);
    EXPECT_EQ(Object::masterObjectArray()->count(), 2);
}

TEST_F(ObjectTest, SortedListIsInDescendingZsortKeepingInsertionOrderOnTies) {
    SortedRenderList sorted;
    const int keys[] = {5, 10, 5, 1, 10};
    std::vector<Object*> objects;
    for (int key : keys) {
        Object* o = load("pos: (0,1)");
        o->zSort(key);
        sorted.addSortedRenderNode(o);
        objects.push_back(o);
    }
    auto order = [&] {
        std::vector<int> out;
        for (auto* n = sorted.list()->begin(); n; n = n->next)
            for (size_t i = 0; i < objects.size(); i++)
                if (n->object == objects[i]) out.push_back(int(i));
        return out;
    };
    EXPECT_EQ(order(), (std::vector<int>{1, 4, 0, 2, 3}));
    // Re-sorting moves a node behind its new equals.
    objects[3]->zSort(10);
    sorted.updateSortedRenderNode(objects[3]);
    EXPECT_EQ(order(), (std::vector<int>{1, 4, 3, 0, 2}));
    EXPECT_EQ(sorted.list()->count(), 5);
    sorted.removeRenderNode(objects[1]);
    EXPECT_EQ(order(), (std::vector<int>{4, 3, 0, 2}));
    // Re-sorting with an unchanged key still moves a node behind its equals, and leaves the last
    // of them where it is.
    sorted.updateSortedRenderNode(objects[4]);
    EXPECT_EQ(order(), (std::vector<int>{3, 4, 0, 2}));
    sorted.updateSortedRenderNode(objects[4]);
    sorted.updateSortedRenderNode(objects[2]);
    EXPECT_EQ(order(), (std::vector<int>{3, 4, 0, 2}));
    sorted.updateSortedRenderNode(objects[0]);
    EXPECT_EQ(order(), (std::vector<int>{3, 4, 2, 0}));
    // A node whose key changed without a re-sort is placed by its new key when it is re-sorted.
    objects[2]->zSort(20);
    sorted.updateSortedRenderNode(objects[2]);
    EXPECT_EQ(order(), (std::vector<int>{2, 3, 4, 0}));
    sorted.removeAll();
    EXPECT_EQ(sorted.list()->count(), 0);
    sorted.addSortedRenderNode(objects[0]);
    EXPECT_EQ(order(), (std::vector<int>{0}));
}

TEST_F(ObjectTest, SampleRoomObjectsAndWalkboxesSurviveLoadAndSave) {
    for (const char* room : {"/examples/Tansy/Harbour/Dock.tansy", "/examples/Tansy/Lighthouse.tansy"}) {
        const std::string text = readFile(std::string(TANSY_SOURCE_DIR) + room);
        KuDictionary* doc = parse(text);
        ASSERT_NE(doc, nullptr) << room;
        const std::string asRead = textOf(parse(text, false));

        KuArray<KuObject*>* objects = doc->arrayForKey("objects");
        ASSERT_TRUE(objects && objects->count() >= 10) << room;
        KuArray<KuObject*>* saved = KuArray<KuObject*>::array();
        for (KuObject* entry : *objects) {
            ASSERT_EQ(entry->kindCode(), kKuTypeDictionary);
            Object* o =
                Object::newWithDictionary(static_cast<KuDictionary*>(entry), doc->stringForKey("sheet"));
            saved->addObject(o->save());
            KuRelease(o);
        }
        doc->addKeyObject("objects", saved);
        WalkBoxSet walkboxes;
        walkboxes.loadFromArray(doc->arrayForKey("walkboxes"));
        doc->addKeyObject("walkboxes", walkboxes.saveToArray());
        EXPECT_EQ(textOf(doc), asRead) << room;
    }
}

}  // namespace
