// Opening and saving room documents for real: sprite sheets and images made with the OpenGL back
// end headless, documents and preferences in temporary folders. The sample rooms open into their
// layers, objects and walkboxes and save back unchanged; the room rules and bad documents behave
// as a designer would expect, and a save that cannot be written never passes for one that was.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "GameApp.h"
#include "GameScene.h"
#include "Interface.h"
#include "KuAnimatedSprite.h"
#include "KuAnimation.h"
#include "KuBaseApp.h"
#include "KuFile.h"
#include "KuJson.h"
#include "KuLayout.h"
#include "KuLog.h"
#include "KuSpriteSheet.h"
#include "KuUserPrefs.h"
#include "test_image_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kProject = std::string(TANSY_SOURCE_DIR) + "/examples";

// Preferences go to a folder of their own for the whole test binary.
class PrefsFolder : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("XDG_DATA_HOME", folder.path().c_str(), 1);
        KuSetCompanyAndProjectName(S("Mossbank"), S("Tansy"));
    }
    TempFolder folder;
};
::testing::Environment* const prefsFolder = ::testing::AddGlobalTestEnvironment(new PrefsFolder);

std::string prefsFile() {
    return defaultPrefs->path ? defaultPrefs->path->c_str() : "";
}

// The fixture sheet "Room": a 128 x 64 atlas of untrimmed frames.
struct Frame {
    const char* name;
    int x, y, w, h;
};
const Frame kRoomFrames[] = {{"bg", 0, 0, 64, 32},     {"bg2", 64, 0, 32, 32}, {"sky", 96, 0, 24, 24},
                             {"posts", 0, 32, 16, 16}, {"box", 16, 32, 8, 8},  {"a1", 24, 32, 4, 4},
                             {"a2", 28, 32, 4, 4},     {"odd", 32, 32, 15, 9}};

std::string controlFile(const std::string& image, int width, int height, const std::vector<Frame>& frames) {
    std::string text = "{\"frames\": {";
    for (size_t i = 0; i < frames.size(); i++) {
        const Frame& f = frames[i];
        char entry[512];
        snprintf(entry, sizeof entry,
                 "%s\"%s\": {\"frame\": {\"x\": %d, \"y\": %d, \"w\": %d, \"h\": %d}, \"rotated\": false, "
                 "\"trimmed\": false, \"spriteSourceSize\": {\"x\": 0, \"y\": 0, \"w\": %d, \"h\": %d}, "
                 "\"sourceSize\": {\"w\": %d, \"h\": %d}}",
                 i ? ", " : "", f.name, f.x, f.y, f.w, f.h, f.w, f.h, f.w, f.h);
        text += entry;
    }
    char meta[256];
    snprintf(meta, sizeof meta,
             "}, \"meta\": {\"version\": \"1.0\", \"image\": \"%s\", \"size\": {\"w\": %d, \"h\": %d}, "
             "\"scale\": \"1\"}}",
             image.c_str(), width, height);
    return text + meta;
}

class RoomDocumentTest : public PictureTest {
protected:
    void SetUp() override {
        PictureTest::SetUp();
        if (!graphicsReady()) GTEST_SKIP() << "no OpenGL 3.2 core context available";
        defaultPrefs->recreateEmpty();
        GameScene::setRecentRooms(nullptr);
        Interface::reset();
    }
    void TearDown() override {
        closeScene();
        Interface::reset();
        Object::removeAllMasterObjects();
        GameScene::setRecentRooms(nullptr);
        if (!savedDirectory.empty()) {
            int ignored = chdir(savedDirectory.c_str());
            (void)ignored;
        }
        PictureTest::TearDown();
    }

    // A project in the temporary folder: Tansy/<room>, the sheets "Room" and "Other".
    void writeSheets() {
        std::vector<uint8_t> pixels(128 * 64 * 4);
        for (size_t i = 0; i < pixels.size(); i++)
            pixels[i] = static_cast<uint8_t>(i % 4 == 3 ? 255 : (i * 7) % 251);
        ASSERT_TRUE(writePNG("SpriteSheets/Room.png", 128, 64, pixels));
        folder.write("SpriteSheets/Room.json",
                     controlFile("Room.png", 128, 64,
                                 std::vector<Frame>(std::begin(kRoomFrames), std::end(kRoomFrames))));
        ASSERT_TRUE(writePNG("SpriteSheets/Other.png", 8, 8, std::vector<uint8_t>(8 * 8 * 4, 200)));
        folder.write("SpriteSheets/Other.json", controlFile("Other.png", 8, 8, {{"thing", 0, 0, 6, 6}}));
    }
    // Writes the room text as Tansy/room.tansy of a project with the fixture sheets; returns its path.
    std::string writeRoom(const std::string& text, const std::string& name = "room.tansy") {
        writeSheets();
        std::string path = folder.write("Tansy/" + name, text);
        GameApp::setSearchPaths(S(path));
        return path;
    }

    // Opens path (null: no document) in a fresh scene made current as the editor does.
    GameScene* open(const std::string& path) {
        scene = new GameScene();
        KuBaseScene::newScene(scene, path.empty() ? nullptr : static_cast<KuObject*>(S(path)));
        return scene;
    }
    GameScene* openText(const std::string& text) { return open(writeRoom(text)); }
    void closeScene() {
        if (scene) KuBaseScene::newScene(nullptr, nullptr);
        scene = nullptr;
    }

    // Entries of the temporary folder, recursively, with their contents.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> out;
        for (auto& entry : fs::recursive_directory_iterator(folder.path()))
            if (entry.is_regular_file()) out[entry.path().string()] = readFile(entry.path().string());
        return out;
    }

    Object* object(const char* name) { return Object::findObjectWithKey(S(name)); }

    // Copies the sample project into the temporary folder; returns the copy's root.
    std::string copyProject() {
        std::string root = folder / "project";
        fs::copy(kProject, root, fs::copy_options::recursive);
        return root;
    }
    void runIn(const std::string& directory) {
        char here[4096];
        if (savedDirectory.empty() && getcwd(here, sizeof here)) savedDirectory = here;
        ASSERT_EQ(chdir(directory.c_str()), 0);
    }

    GameScene* scene = nullptr;  // the current scene while open
    std::string savedDirectory;
};

std::string str(KuString* s) {
    return s ? s->c_str() : "<null>";
}

std::string textOf(KuObject* o) {
    return o && o->kindCode() == kKuTypeDictionary
               ? KuJson::stringFromDict(static_cast<KuDictionary*>(o))->c_str()
               : "<none>";
}

KuDictionary* parseFile(const std::string& path) {
    KuObject* root = quickParseKuJsonWithSymbolDict(S(readFile(path)), roomSymbolDictionary(), false);
    return root && root->kindCode() == kKuTypeDictionary ? static_cast<KuDictionary*>(root) : nullptr;
}

#define EXPECT_POINT(p, ex, ey)                                                                              \
    do {                                                                                                     \
        KuPoint q_ = (p);                                                                                    \
        EXPECT_TRUE(q_.x == (ex) && q_.y == (ey))                                                            \
            << #p " is (" << q_.x << "," << q_.y << "), expected (" << (ex) << "," << (ey) << ")";           \
    } while (0)

// >>the sample rooms

struct LayerRow {
    int slot;
    KuPoint parallax;
    bool secondFrame;
};
struct ObjectRow {
    const char* name;
    const char* kind;  // prop, spot, trigger or object
    KuPoint pos, hotspotMin, hotspotMax, usepos;
    bool animated, hasImage;
};
struct SampleRoom {
    const char* path;
    KuPoint roomSize;
    KuRect bounds;
    std::vector<LayerRow> layers;
    std::vector<ObjectRow> objects;
    int objectCount, walkboxCount;
};

const char* kindOf(Object* o) {
    return o->prop ? "prop" : o->spot ? "spot" : o->trigger ? "trigger" : "object";
}

TEST_F(RoomDocumentTest, SampleRoomsOpenIntoTheirLayersObjectsAndWalkboxes) {
    const SampleRoom rooms[] = {
        {"Tansy/Harbour/Dock.tansy",
         {800, 240},
         {{0, 0}, {800, 240}},
         {{9, {0.1f, 1}, false}, {7, {0.4f, 1}, true}, {4, {1.25f, 1}, false}},
         {{"lamp", "object", {300, 88}, {-10, -48}, {10, 40}, {16, -44}, true, true},
          {"boat", "object", {338, 103}, {-34, -12}, {34, 12}, {0, -41}, true, true},
          {"barrel", "prop", {585, 74}, {0, 0}, {0, 0}, {0, 0}, false, true},
          {"gull_flying", "prop", {253, 191}, {0, 0}, {0, 0}, {0, 0}, true, true},
          {"pier_end", "spot", {522, 112}, {0, 0}, {0, 0}, {0, 0}, false, false},
          {"exit_east", "trigger", {790, 34}, {-10, -30}, {10, 30}, {-8, 0}, false, false}},
         19,
         4},
        {"Tansy/Lighthouse.tansy",
         {0, 0},  // read from the file below
         {},
         {{8, {0.3f, 1}, false}, {3, {1.2f, 1}, false}},
         {{"lamp_beam", "prop", {332, 216}, {0, 0}, {0, 0}, {0, 0}, true, true},
          {"lighthouse_door", "object", {332, 90}, {-11, -18}, {11, 18}, {0, -22}, false, true}},
         -1,
         -1},
    };
    runIn(kProject);  // where the project's version.txt is found
    for (const SampleRoom& room : rooms) {
        SCOPED_TRACE(room.path);
        std::string path = kProject + "/" + room.path;
        KuDictionary* file = parseFile(path);
        ASSERT_NE(file, nullptr);
        clearReports();
        GameApp::setSearchPaths(S(path));
        GameScene* s = open(path);
        ASSERT_TRUE(s->isOpen());
        EXPECT_TRUE(errors().empty() && warnings().empty())
            << (errors().empty() ? warnings()[0] : errors()[0]);
        EXPECT_EQ(gameScene(), s);
        EXPECT_EQ(str(s->buildText), "Build 0.3 (sample project)");
        EXPECT_FALSE(s->dirty());

        KuPoint size = room.roomSize.x ? room.roomSize : file->pointForKey("room_size", KuPoint{0, 0});
        EXPECT_POINT(s->roomSize, size.x, size.y);
        KuRect bounds = room.roomSize.x ? room.bounds : file->rectForKey("room_bounds", KuRect{});
        EXPECT_POINT(s->roomBounds.first, bounds.first.x, bounds.first.y);
        EXPECT_POINT(s->roomBounds.second, bounds.second.x, bounds.second.y);
        EXPECT_POINT(s->camera, std::trunc(size.x / 2), std::trunc(size.y / 2));
        EXPECT_EQ(s->roomScale, 3);

        // Layer slots: exactly the listed ones and the background.
        std::set<int> expected{kBackgroundSlot};
        for (const LayerRow& l : room.layers) {
            expected.insert(l.slot);
            ASSERT_TRUE(s->isLayer(l.slot)) << l.slot;
            EXPECT_POINT(s->layerParallax[l.slot], l.parallax.x, l.parallax.y);
            EXPECT_EQ(s->layerImages[l.slot]->renders ? s->layerImages[l.slot]->renders->count() : 0,
                      l.secondFrame ? 1 : 0);
        }
        for (int slot = 0; slot < kLayerSlots; slot++)
            EXPECT_EQ(s->isLayer(slot), expected.count(slot) == 1) << slot;
        EXPECT_EQ(s->layerImages[kBackgroundSlot], s->background);
        // Handles: a third of their picture, except the purple one.
        for (int h : {kHandleRed, kHandleGreen, kHandleBlue})
            EXPECT_FLOAT_EQ(s->handleImages[h]->scale(), 1.0f / 3) << "handle " << h;
        EXPECT_FLOAT_EQ(s->handleImages[kHandlePurple]->scale(), 1.0f);

        // Objects: every named entry, in document order, kinds and fields as read.
        int named = 0;
        for (KuObject* entry : *file->arrayForKey("objects"))
            named += static_cast<KuDictionary*>(entry)->stringForKey("name") ? 1 : 0;
        if (room.objectCount >= 0) {
            EXPECT_EQ(named, room.objectCount);
        }
        ASSERT_EQ(s->objects->count(), named);
        EXPECT_EQ(Object::masterObjectArray()->count(), named);
        for (const ObjectRow& row : room.objects) {
            SCOPED_TRACE(row.name);
            Object* o = object(row.name);
            ASSERT_NE(o, nullptr);
            EXPECT_STREQ(kindOf(o), row.kind);
            EXPECT_POINT(o->pos, row.pos.x, row.pos.y);
            EXPECT_POINT(o->hotspotMin, row.hotspotMin.x, row.hotspotMin.y);
            EXPECT_POINT(o->hotspotMax, row.hotspotMax.x, row.hotspotMax.y);
            EXPECT_POINT(o->usepos, row.usepos.x, row.usepos.y);
            EXPECT_EQ(o->isAnimated, row.animated);
            EXPECT_EQ(o->image != nullptr, row.hasImage);
            if (o->image) {
                EXPECT_EQ(o->image->sortKey, o->zSort());
            }
        }

        // Drawing order: every object, descending zsort, ties in document order.
        EXPECT_EQ(s->sortedRenderList.list()->count(), named);
        int lastKey = INT32_MAX, lastIndex = -1;
        for (auto* n = s->sortedRenderList.list()->begin(); n; n = n->next) {
            int index = s->objects->indexOfObject(static_cast<Object*>(n->object));
            ASSERT_GE(index, 0);
            EXPECT_LE(n->object->sortKey, lastKey);
            if (n->object->sortKey == lastKey) {
                EXPECT_GT(index, lastIndex) << "tie out of document order";
            }
            lastKey = n->object->sortKey;
            lastIndex = index;
        }

        // Walkboxes: all of them, the first selected.
        int boxes = file->arrayForKey("walkboxes")->count();
        if (room.walkboxCount >= 0) {
            EXPECT_EQ(boxes, room.walkboxCount);
        }
        EXPECT_EQ(s->walkBoxes.count(), boxes);
        EXPECT_EQ(s->walkBoxes.selectedWalkBox(), s->walkBoxes.walkBoxAtIndex(0));
        closeScene();
        EXPECT_EQ(gameScene(), nullptr);
        EXPECT_EQ(Object::masterObjectArray()->count(), 0);
    }
}

TEST_F(RoomDocumentTest, DockSharesCornersAndTakesFramesFromAnotherSheet) {
    std::string path = kProject + "/Tansy/Harbour/Dock.tansy";
    GameApp::setSearchPaths(S(path));
    GameScene* s = open(path);
    ASSERT_TRUE(s->isOpen());
    // "Common:barrel" comes from the _SpriteSheets sheet: the picture is that frame's size.
    KuSpriteSheet* common = KuSpriteSheet::cacheSheetWithName(S("Common"));
    ASSERT_NE(common, nullptr);
    KuSpriteSheetFrame* barrel = common->frameNamed(S("barrel"));
    ASSERT_NE(barrel, nullptr);
    ASSERT_NE(object("barrel")->image, nullptr);
    EXPECT_POINT(object("barrel")->image->sourceSize(), barrel->sourceSize.x, barrel->sourceSize.y);
    // quay_west and quay_east meet at (400,4): both corners are found together.
    s->walkBoxes.selectWalkBox(nullptr);
    KuArray<KuPointObject*>* shared = s->findAllWalkBoxPointsAt(KuPoint{401, 5}, 3);
    ASSERT_EQ(shared->count(), 2);
    EXPECT_EQ(str(s->walkBoxes.selectedWalkBox()->name()), "quay_west");
    // The background's second frame continues the first to the right.
    ASSERT_NE(s->background->renders, nullptr);
    EXPECT_EQ(s->background->renders->count(), 1);
    EXPECT_POINT(s->background->position(), -200, 0);
}

TEST_F(RoomDocumentTest, SavingAnUnchangedSampleRoomGivesItsTextBackEveryTime) {
    std::string root = copyProject();
    for (const char* room : {"Tansy/Harbour/Dock.tansy", "Tansy/Lighthouse.tansy"}) {
        SCOPED_TRACE(room);
        std::string path = root + "/" + room;
        std::string original = readFile(path);
        GameApp::setSearchPaths(S(path));
        GameScene* s = open(path);
        ASSERT_TRUE(s->isOpen());
        std::string firstTree = textOf(s->roomDictionary);

        ASSERT_TRUE(s->save());
        std::string once = readFile(path);
        ASSERT_TRUE(s->save());
        EXPECT_TRUE(readFile(path) == once) << "a second save changed the file";
        EXPECT_TRUE(once == original) << "saving an unchanged room changed it:\n" << once;
        EXPECT_FALSE(s->dirty());

        closeScene();
        GameScene* again = open(path);
        ASSERT_TRUE(again->isOpen());
        EXPECT_TRUE(textOf(again->roomDictionary) == firstTree) << "reopening gave another tree";
        closeScene();
    }
}

// >>room rules

const char* const kBase = "sheet: \"Room\"\nbackground: \"bg\"\n";

TEST_F(RoomDocumentTest, UnknownKeysEverywhereSurviveASave) {
    std::string path =
        writeRoom(std::string(kBase) +
                  "music: \"gulls\"\n"
                  "script_data: { cue: 3, list: [1, \"two\", (3,4)] }\n"
                  "objects: [ { name: \"box\", pos: (10,10), image: \"box\", verb_look: \"A box.\" } ]\n"
                  "walkboxes: [ { name: \"floor\", polygon: \"(0,0);(10,0);(10,10)\", "
                  "surface: \"wood\" } ]\n");
    GameScene* s = open(path);
    ASSERT_TRUE(s->isOpen());
    s->dirty(true, false);
    ASSERT_TRUE(s->save());
    KuDictionary* saved = parseFile(path);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(str(saved->stringForKey("music")), "gulls");
    EXPECT_EQ(textOf(saved->dictionaryForKey("script_data")),
              textOf(s->roomDictionary->dictionaryForKey("script_data")));
    EXPECT_EQ(saved->dictionaryForKey("script_data")->intForKey("cue", 0), 3);
    auto* objects = saved->arrayForKey("objects");
    ASSERT_EQ(objects->count(), 1);
    EXPECT_EQ(str(static_cast<KuDictionary*>(objects->objectAtIndex(0))->stringForKey("verb_look")),
              "A box.");
    auto* boxes = saved->arrayForKey("walkboxes");
    ASSERT_EQ(boxes->count(), 1);
    EXPECT_EQ(str(static_cast<KuDictionary*>(boxes->objectAtIndex(0))->stringForKey("surface")), "wood");
}

TEST_F(RoomDocumentTest, RoomRules) {
    struct Row {
        const char* what;
        std::string text;
        KuPoint roomSize;
        KuRect bounds;
        std::vector<std::pair<int, KuPoint>> layers;  // slot, parallax
    };
    const Row rows[] = {
        {"no bounds: the first frame's", kBase, {64, 32}, {{0, 0}, {64, 32}}, {}},
        {"zero bounds: the first frame's",
         std::string(kBase) + "room_bounds: ((0,0),(0,0))",
         {64, 32},
         {{0, 0}, {64, 32}},
         {}},
        {"bounds kept as two corners",
         std::string(kBase) + "room_bounds: ((50,20),(10,2))",
         {64, 32},
         {{50, 20}, {10, 2}},
         {}},
        {"room_size is not read",
         std::string(kBase) + "room_size: (999,999)",
         {64, 32},
         {{0, 0}, {64, 32}},
         {}},
        {"second background frame widens the room, not the bounds",
         "sheet: \"Room\"\nbackground: [\"bg\", \"bg2\"]",
         {96, 32},
         {{0, 0}, {64, 32}},
         {}},
        {"background given as an array of one",
         "sheet: \"Room\"\nbackground: [\"bg\"]",
         {64, 32},
         {{0, 0}, {64, 32}},
         {}},
        {"layer rules",
         std::string(kBase) + "layers: [ {name: \"sky\", zsort: 0}, {name: \"sky\", zsort: 6}, "
                              "{name: \"sky\", zsort: -6}, {name: \"sky\", zsort: 3, parallax: 0.5}, "
                              "{name: \"posts\", zsort: -2, parallax: (0.5,0.8)}, {name: \"sky\", zsort: 1}, "
                              "{zsort: 2, parallax: 2}, {name: 7, zsort: 4} ]",
         {64, 32},
         {{0, 0}, {64, 32}},
         {{8, {0.5f, 1}}, {3, {0.5f, 0.8f}}, {6, {1, 1}}}},
        {"a later layer of the same depth wins",
         std::string(kBase) + "layers: [ {name: \"sky\", zsort: 2, parallax: 0.25}, {name: \"posts\", zsort: "
                              "2, parallax: 0.75} ]",
         {64, 32},
         {{0, 0}, {64, 32}},
         {{7, {0.75f, 1}}}},
        {"a layer of two frames",
         std::string(kBase) + "layers: [ {name: [\"sky\", \"posts\"], zsort: -1, parallax: 1} ]",
         {64, 32},
         {{0, 0}, {64, 32}},
         {{4, {1, 1}}}},
        {"room scale and odd sizes",
         "sheet: \"Room\"\nbackground: \"odd\"\nroom_scale: 2",
         {15, 9},
         {{0, 0}, {15, 9}},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        clearReports();
        GameScene* s = openText(row.text);
        ASSERT_TRUE(s->isOpen());
        EXPECT_TRUE(warnings().empty() && errors().empty());
        EXPECT_POINT(s->roomSize, row.roomSize.x, row.roomSize.y);
        EXPECT_POINT(s->roomBounds.first, row.bounds.first.x, row.bounds.first.y);
        EXPECT_POINT(s->roomBounds.second, row.bounds.second.x, row.bounds.second.y);
        EXPECT_POINT(s->camera, std::trunc(row.roomSize.x / 2), std::trunc(row.roomSize.y / 2));
        int layers = 0;
        for (int slot = 0; slot < kLayerSlots; slot++)
            layers += slot != kBackgroundSlot && s->isLayer(slot) ? 1 : 0;
        EXPECT_EQ(layers, static_cast<int>(row.layers.size()));
        for (const auto& layer : row.layers) {
            ASSERT_TRUE(s->isLayer(layer.first)) << layer.first;
            EXPECT_POINT(s->layerParallax[layer.first], layer.second.x, layer.second.y);
        }
        // The save writes the bounds and the size it worked with.
        ASSERT_TRUE(s->save());
        KuDictionary* saved = parseFile(folder / "Tansy/room.tansy");
        KuRect bounds = saved->rectForKey("room_bounds", KuRect{{-1, -1}, {-1, -1}});
        EXPECT_POINT(bounds.first, row.bounds.first.x, row.bounds.first.y);
        EXPECT_POINT(bounds.second, row.bounds.second.x, row.bounds.second.y);
        KuPoint size = saved->pointForKey("room_size", KuPoint{-1, -1});
        EXPECT_POINT(size, row.roomSize.x, row.roomSize.y);
        closeScene();
    }
    GameScene* s = openText("sheet: \"Room\"\nbackground: \"odd\"\nroom_scale: 2");
    EXPECT_EQ(s->roomScale, 2);
}

TEST_F(RoomDocumentTest, ObjectsGetTheirPicturesAndStates) {
    GameScene* s = openText(std::string(kBase) +
                            "objects: [\n"
                            " { name: \"still\", pos: (10,10), zsort: 5, image: \"box\" }\n"
                            " { name: \"both\", pos: (20,10), zsort: 5, image: \"Other:thing\",\n"
                            "   animations: [ { name: \"spin\", frames: [\"a1\", \"a2\"] } ] }\n"
                            " { name: \"anim\", pos: (30,10), zsort: 9,\n"
                            "   animations: [ { name: \"idle\", frames: [\"a1\", \"a2\", \"box\"] },\n"
                            "                 { name: \"wave\", fps: 4, frames: [\"a2\"] } ] }\n"
                            " { name: \"lost\", pos: (40,10), image: \"no_such_frame\" }\n"
                            " { name: \"lost_sheet\", pos: (50,10), image: \"Nowhere:thing\" }\n"
                            " { pos: (60,10), image: \"box\" }\n"
                            " \"not a dictionary\"\n"
                            " { name: \"still\", pos: (70,10), image: \"box\" }\n"
                            "]\n");
    ASSERT_TRUE(s->isOpen());
    EXPECT_TRUE(errors().empty() && warnings().empty()) << "missing object frames are tolerated silently";
    // The unnamed entry and the non-dictionary are skipped; a repeated name reuses the object.
    std::vector<std::string> names;
    for (Object* o : *s->objects)
        names.push_back(str(o->name));
    EXPECT_EQ(names, (std::vector<std::string>{"still", "both", "anim", "lost", "lost_sheet", "still"}));
    EXPECT_EQ(Object::masterObjectArray()->count(), 5);

    Object* still = object("still");
    ASSERT_NE(still->image, nullptr);
    EXPECT_FALSE(still->isAnimated);
    EXPECT_EQ(still->playAnimation(S("anything")), -1);
    EXPECT_POINT(still->image->sourceSize(), 8, 8);

    Object* both = object("both");  // a string image wins over animations
    ASSERT_NE(both->image, nullptr);
    EXPECT_FALSE(both->isAnimated);
    EXPECT_POINT(both->image->sourceSize(), 6, 6);

    Object* anim = object("anim");
    ASSERT_NE(anim->image, nullptr);
    ASSERT_TRUE(anim->isAnimated);
    auto* sprite = static_cast<KuAnimatedSprite*>(anim->image);
    // Shown in state 0 as a still: the last frame of the first animation.
    auto shown = [&]() -> std::string {
        KuAnimation* a = sprite->currentAnimation();
        if (!a || a->layers->count() == 0) return "<none>";
        KuAnimationLayer* layer = a->layers->objectAtIndex(0);
        int frame = layer->currentFrameIndex();
        return str(a->name) + ":" + std::to_string(frame) + (sprite->paused ? " paused" : " playing");
    };
    EXPECT_EQ(anim->state(), 0);
    EXPECT_EQ(shown(), "idle:2 paused");
    anim->state(1, false);
    EXPECT_EQ(anim->state(), 1);
    EXPECT_EQ(shown(), "wave:0 paused");
    anim->state(0, true);
    EXPECT_EQ(shown(), "idle:0 playing");
    anim->state(-3, false);
    EXPECT_EQ(anim->state(), 0);
    anim->state(7, false);  // no such state: remembered, nothing shown differently
    EXPECT_EQ(anim->state(), 7);
    EXPECT_EQ(anim->playAnimation(S("wave")), 0);
    clearReports();
    EXPECT_EQ(anim->playAnimation(S("no_such")), -1);
    EXPECT_TRUE(reported("no_such"));

    EXPECT_EQ(object("lost")->image, nullptr);
    EXPECT_EQ(object("lost_sheet")->image, nullptr);

    // Drawing order: every object by descending zsort; equal ones in the order they were last
    // (re)inserted, so the repeated "still" goes after "both".
    std::vector<std::string> drawn;
    for (auto* n = s->sortedRenderList.list()->begin(); n; n = n->next)
        drawn.push_back(str(static_cast<Object*>(n->object)->name));
    EXPECT_EQ(drawn, (std::vector<std::string>{"lost", "lost_sheet", "anim", "both", "still"}));

    // A missing picture does not stop the object from being saved.
    s->dirty(true, false);
    ASSERT_TRUE(s->save());
    KuDictionary* saved = parseFile(folder / "Tansy/room.tansy");
    EXPECT_EQ(saved->arrayForKey("objects")->count(), 6);
    EXPECT_TRUE(textOf(saved).find("no_such_frame") != std::string::npos);
}

TEST_F(RoomDocumentTest, ObjectsWithoutANameLeaveTheDocumentOnTheNextSave) {
    GameScene* s =
        openText(std::string(kBase) + "objects: [ { pos: (1,1) }, { name: \"kept\", pos: (2,2) } ]");
    ASSERT_TRUE(s->isOpen());
    ASSERT_TRUE(s->save());
    KuArray<KuObject*>* saved = parseFile(folder / "Tansy/room.tansy")->arrayForKey("objects");
    ASSERT_EQ(saved->count(), 1);
    EXPECT_EQ(str(static_cast<KuDictionary*>(saved->objectAtIndex(0))->stringForKey("name")), "kept");
}

TEST_F(RoomDocumentTest, DeletingAnObjectTakesItOutEverywhere) {
    GameScene* s =
        openText(std::string(kBase) +
                 "objects: [ { name: \"a\", pos: (1,1), image: \"box\" }, { name: \"b\", pos: (2,2), "
                 "image: \"box\" } ]");
    Object* a = object("a");
    ASSERT_NE(a, nullptr);
    s->selectObject(a, false);
    Interface::beginEditObject(a);
    EXPECT_EQ(Interface::editPropertiesObject(), a);
    EXPECT_FALSE(s->dirty());
    s->deleteObject(a);
    EXPECT_TRUE(s->dirty());
    EXPECT_EQ(s->objects->count(), 1);
    EXPECT_EQ(s->sortedRenderList.list()->count(), 1);
    EXPECT_EQ(object("a"), nullptr);
    EXPECT_EQ(s->selectedObject, nullptr);
    EXPECT_EQ(Interface::editPropertiesObject(), nullptr);
    EXPECT_FALSE(Interface::showObjectProperties());
    ASSERT_TRUE(s->save());
    EXPECT_EQ(parseFile(folder / "Tansy/room.tansy")->arrayForKey("objects")->count(), 1);
}

TEST_F(RoomDocumentTest, DirtyFlagFollowsEditsAndSaves) {
    GameScene* s =
        openText(std::string(kBase) + "walkboxes: [ { polygon: \"(0,0);(40,0);(40,20);(0,20)\" } ]");
    ASSERT_TRUE(s->isOpen());
    EXPECT_FALSE(s->dirty());
    s->dirty(false, false);
    EXPECT_FALSE(s->dirty());
    s->dirty(true, false);
    s->dirty(false, false);
    EXPECT_TRUE(s->dirty()) << "without replace a flag is only ever added";
    s->dirty(false, true);
    EXPECT_FALSE(s->dirty());
    ASSERT_TRUE(s->insertPointAt(KuPoint{20, 1}, 3));
    EXPECT_TRUE(s->dirty()) << "a walkbox edit marks the document";
    ASSERT_TRUE(s->save());
    EXPECT_FALSE(s->dirty());
    // A new walkbox is centred on the view.
    WalkBox* made = s->newWalkBox();
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(s->dirty());
    KuPoint c =
        WalkBoxSet::roomPointAtViewCentre(KuScreenSize(kKuLayoutPoints), s->roomScale, s->zoom, s->camera);
    EXPECT_LE(std::fabs(c.x - s->camera.x), 1);
    EXPECT_LE(std::fabs(c.y - s->camera.y), 1);
    std::set<std::pair<float, float>> corners;
    for (KuPointObject* p : *made->polygon->points())
        corners.insert({p->point.x, p->point.y});
    EXPECT_EQ(corners, (std::set<std::pair<float, float>>{
                           {c.x - 20, c.y}, {c.x + 20, c.y}, {c.x + 20, c.y + 20}, {c.x - 20, c.y + 20}}));
}

// >>opening without a document, preferences, build text

TEST_F(RoomDocumentTest, WithoutAPathTheSceneAsksForADocumentAndStaysEmpty) {
    auto before = snapshot();
    GameScene* s = open("");
    EXPECT_EQ(gameScene(), s);
    EXPECT_FALSE(s->isOpen());
    EXPECT_EQ(s->roomPath, nullptr);
    EXPECT_EQ(str(Interface::modalTitle()), "Warning");
    EXPECT_EQ(
        str(Interface::modalText()),
        "Drag a .tansy file to this window. The file must come from the Tansy directory in the project.");
    EXPECT_EQ(str(Interface::modalButton1()), "   OK   ");
    EXPECT_EQ(Interface::modalButton2(), nullptr);
    for (int i = 0; i < 4; i++)
        EXPECT_NE(s->handleImages[i], nullptr) << "handle " << i;
    EXPECT_POINT(s->handleImages[kHandlePurple]->sourceSize(), s->handleImages[kHandleRed]->sourceSize().x,
                 s->handleImages[kHandleRed]->sourceSize().y);
    EXPECT_FALSE(s->save());
    EXPECT_TRUE(snapshot() == before);
    Interface::pressModalButton(1);
    EXPECT_EQ(Interface::modalText(), nullptr);
}

// The application the scene talks to, recording what it is asked.
class RecordingApp : public KuBaseApp {
public:
    using KuBaseApp::setWindowTitle;
    void setWindowTitle(const char* title) override { titles.emplace_back(title ? title : ""); }
    void setCursor(int id) override { cursors.push_back(id); }
    void fatalError(const char* text) override { fatals.emplace_back(text ? text : ""); }
    void quitNow() override { quits++; }
    // No window and no loop: the scene never reaches them.
    int initMain(int, char**) override { return 0; }
    bool createCanvas(KuPoint, KuPoint, KuPoint, unsigned) override { return false; }
    void updateFrame() override {}
    void update(float) override {}
    void render() override {}
    std::vector<std::string> titles;
    std::vector<int> cursors;
    std::vector<std::string> fatals;
    int quits = 0;
};

TEST_F(RoomDocumentTest, OpeningTitlesTheWindowAndShowsTheArrow) {
    std::string path = writeRoom(kBase);
    KuLogHooks* reports = KuGetLogHooks();
    RecordingApp recorder;
    KuSetLogHooks(reports);  // keep capturing reports here
    ASSERT_EQ(app, &recorder);
    GameScene* s = open(path);
    ASSERT_TRUE(s->isOpen());
    EXPECT_EQ(recorder.titles, std::vector<std::string>{"Tansy 2.0.1 - " + path});
    EXPECT_EQ(recorder.cursors, std::vector<int>{1});
    closeScene();
    // Without a document the arrow is shown and the title is left alone.
    open("");
    EXPECT_EQ(recorder.titles.size(), 1u);
    EXPECT_EQ(recorder.cursors, (std::vector<int>{1, 1}));
    closeScene();
}

// With the application's own reporting (an engine error there shows the alert and quits), missing
// pictures of objects and layers leave the editor running; a missing background still ends it.
TEST_F(RoomDocumentTest, MissingPicturesDoNotEndTheEditor) {
    std::string path =
        writeRoom(std::string(kBase) +
                  "layers: [ {name: \"nope\", zsort: 2} ]\n"
                  "objects: [ { name: \"o\", image: \"nope\" }, { name: \"p\", image: \"Nowhere:x\" },\n"
                  "  { name: \"a\", animations: [ { name: \"idle\", frames: [\"box\", \"nope\"] } ] } ]");
    RecordingApp recorder;  // its reporting, not the test's
    GameScene* s = open(path);
    ASSERT_TRUE(s->isOpen());
    EXPECT_EQ(recorder.quits, 0);
    EXPECT_TRUE(recorder.fatals.empty()) << recorder.fatals[0];
    EXPECT_EQ(s->objects->count(), 3);
    EXPECT_EQ(str(Interface::modalText()), "Error in 'room.tansy': parallax image 'nope' not found.");
    closeScene();

    std::string broken = folder.write("Tansy/broken.tansy", "sheet: \"Room\"\nbackground: \"nope\"");
    open(broken);
    EXPECT_EQ(recorder.quits, 1);
    ASSERT_EQ(recorder.fatals.size(), 1u);
    EXPECT_EQ(recorder.fatals[0], "Error in 'broken.tansy': background image not found.");
}

TEST_F(RoomDocumentTest, BuildTextComesFromTheProjectTrimmed) {
    folder.write("Templates/version.txt", "  \n Build 7.1\t\n\n");
    GameScene* s = openText(kBase);
    EXPECT_EQ(str(s->buildText), "Build 7.1");
    closeScene();
    fs::remove(folder / "Templates/version.txt");
    s = openText(kBase);
    EXPECT_EQ(str(s->buildText), "Build ??");
}

TEST_F(RoomDocumentTest, OpeningRecordsTheRoomAndReadsViewPreferences) {
    std::string other = folder.write("Tansy/other.tansy", kBase);
    std::string path = writeRoom(kBase);
    KuArray<KuObject*>* listed = KuArray<KuObject*>::array();
    listed->addObject(S(other));
    listed->addObject(S(path));
    listed->addObject(S(path));
    GameScene::setRecentRooms(listed);
    defaultPrefs->setColor("backgroundColor", KuColor{0.25f, 0.5f, 0.75f, 1});
    defaultPrefs->setBool("showObjects", true);
    defaultPrefs->setBool("parallax", false);
    defaultPrefs->setBool("autocenterObjects", true);

    GameScene* s = open(path);
    ASSERT_TRUE(s->isOpen());
    EXPECT_EQ(str(defaultPrefs->getString("lastRoomFilename")), path);
    KuArray<KuString*>* recent = defaultPrefs->getStringArray("recentRooms");
    ASSERT_NE(recent, nullptr);
    ASSERT_EQ(recent->count(), 2);
    EXPECT_EQ(str(recent->objectAtIndex(0)), path);
    EXPECT_EQ(str(recent->objectAtIndex(1)), other);
    // Written to disk, not only kept in memory.
    std::string stored = readFile(prefsFile());
    EXPECT_NE(stored.find("lastRoomFilename"), std::string::npos) << stored;
    EXPECT_NE(stored.find("recentRooms"), std::string::npos) << stored;

    EXPECT_EQ(s->backgroundColor, (KuColor{0.25f, 0.5f, 0.75f, 1}));
    EXPECT_TRUE(Interface::showObjectList());
    EXPECT_FALSE(s->parallax);
    EXPECT_TRUE(s->autocenter);
    EXPECT_EQ(s->infoMode, 1);
    EXPECT_EQ(s->zoom, 1);
    EXPECT_FALSE(s->walkboxEditMode);
    EXPECT_EQ(s->selectedObject, nullptr);

    // Another room goes in front; reopening the first brings it back to the front, on disk too.
    closeScene();
    open(other);
    closeScene();
    open(path);
    KuDictionary* onDisk = parseFile(prefsFile());
    ASSERT_NE(onDisk, nullptr);
    KuArray<KuObject*>* storedList = onDisk->arrayForKey("recentRooms");
    ASSERT_NE(storedList, nullptr);
    ASSERT_EQ(storedList->count(), 2);
    EXPECT_EQ(str(static_cast<KuString*>(storedList->objectAtIndex(0))), path);
    EXPECT_EQ(str(static_cast<KuString*>(storedList->objectAtIndex(1))), other);

    // Without preferences: the defaults.
    closeScene();
    defaultPrefs->recreateEmpty();
    Interface::reset();
    s = open(path);
    EXPECT_EQ(s->backgroundColor, (KuColor{64 / 255.0f, 64 / 255.0f, 64 / 255.0f, 1}));
    EXPECT_FALSE(Interface::showObjectList());
    EXPECT_TRUE(s->parallax);
    EXPECT_FALSE(s->autocenter);
}

// >>bad documents

TEST_F(RoomDocumentTest, BadDocumentsAreReportedAndNothingIsWritten) {
    enum Outcome { kFatalWindow, kError, kOpensWithWarning, kOpensQuietly };
    struct Row {
        const char* what;
        std::string text;
        Outcome outcome;
        const char* message;
    };
    const Row rows[] = {
        {"not JSON", "sheet: \"Room\"\nbackground: [\"bg\"\n", kFatalWindow, "Invalid Room.json file: '"},
        {"JSON but not a dictionary", "[1, 2, 3]", kFatalWindow, "Invalid Room.json file: '"},
        {"empty file: an empty room without a sheet", "", kError,
         "Error in 'room.tansy': imagesheet key not found."},
        {"no sheet", "background: \"bg\"", kError, "Error in 'room.tansy': imagesheet key not found."},
        {"sheet given as a number: a sheet of that name", "sheet: 5\nbackground: \"bg\"", kError,
         "Error in 'room.tansy': background image not found."},
        {"sheet that is a list", "sheet: [\"Room\"]\nbackground: \"bg\"", kError,
         "Error in 'room.tansy': imagesheet key not found."},
        {"no background", "sheet: \"Room\"", kError, "Error in 'room.tansy': background key not found."},
        {"background of the wrong type", "sheet: \"Room\"\nbackground: 3", kError,
         "Error in 'room.tansy': background key not found."},
        {"missing background frame", "sheet: \"Room\"\nbackground: \"nope\"", kError,
         "Error in 'room.tansy': background image not found."},
        {"missing sheet", "sheet: \"Nowhere\"\nbackground: \"bg\"", kError,
         "Error in 'room.tansy': background image not found."},
        {"missing layer frame",
         std::string(kBase) + "layers: [ {name: \"nope\", zsort: 2}, {name: \"sky\", zsort: 3} ]",
         kOpensWithWarning, "Error in 'room.tansy': parallax image 'nope' not found."},
        {"missing object frame", std::string(kBase) + "objects: [ { name: \"o\", image: \"nope\" } ]",
         kOpensQuietly, ""},
        {"missing animation frame",
         std::string(kBase) +
             "objects: [ { name: \"o\", animations: [ { name: \"a\", frames: [\"nope\"] } ] } ]",
         kOpensQuietly, ""},
        {"objects entry that is not a dictionary",
         std::string(kBase) + "objects: [ 5, \"x\", { name: \"o\" } ]", kOpensQuietly, ""},
        {"objects that is not an array", std::string(kBase) + "objects: { name: \"o\" }", kOpensQuietly, ""},
        {"walkbox polygon that does not parse",
         std::string(kBase) + "walkboxes: [ { name: \"w\", polygon: \"north of the well\" }, "
                              "{ polygon: \"(0,0);(9,0);(9,9)\" } ]",
         kOpensWithWarning, "walkbox polygon(s) in 'room.tansy' could not be read"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        clearReports();
        Interface::reset();
        std::string path = writeRoom(row.text);
        auto before = snapshot();
        GameScene* s = open(path);
        switch (row.outcome) {
        case kFatalWindow:
            EXPECT_FALSE(s->isOpen());
            EXPECT_EQ(s->roomDictionary, nullptr);
            EXPECT_EQ(str(Interface::errorMessage()), std::string(row.message) + path + "'");
            break;
        case kError:
            EXPECT_FALSE(s->isOpen());
            EXPECT_TRUE(reported(row.message)) << (errors().empty() ? "no error" : errors().back());
            EXPECT_EQ(s->objects->count(), 0) << "opening went on after the error";
            EXPECT_EQ(defaultPrefs->getString("lastRoomFilename"), nullptr);
            break;
        case kOpensWithWarning:
            EXPECT_TRUE(s->isOpen());
            EXPECT_NE(str(Interface::modalText()).find(row.message), std::string::npos)
                << str(Interface::modalText());
            break;
        case kOpensQuietly:
            EXPECT_TRUE(s->isOpen());
            EXPECT_EQ(Interface::modalText(), nullptr) << str(Interface::modalText());
            EXPECT_TRUE(errors().empty()) << errors()[0];
            break;
        }
        EXPECT_FALSE(s->dirty());
        EXPECT_TRUE(snapshot() == before) << "opening wrote into the project";
        // Saving a document that did not open writes nothing.
        if (!s->isOpen()) {
            EXPECT_FALSE(s->save());
            EXPECT_TRUE(snapshot() == before);
        }
        closeScene();
        defaultPrefs->recreateEmpty();
    }
}

TEST_F(RoomDocumentTest, UnreadableWalkboxesAreSavedBackUntilDeleted) {
    std::string path =
        writeRoom(std::string(kBase) + "walkboxes: [ { name: \"w\", polygon: \"north of the well\" }, "
                                       "{ polygon: \"(0,0);(9,0);(9,9)\" } ]");
    GameScene* s = open(path);
    ASSERT_TRUE(s->isOpen());
    ASSERT_TRUE(s->save());
    KuArray<KuObject*>* boxes = parseFile(path)->arrayForKey("walkboxes");
    ASSERT_EQ(boxes->count(), 2);
    EXPECT_EQ(str(static_cast<KuDictionary*>(boxes->objectAtIndex(0))->stringForKey("polygon")),
              "north of the well");
    // Deleting it is the user's choice: then it goes.
    s->deleteWalkbox(s->walkBoxes.walkBoxAtIndex(0));
    ASSERT_TRUE(s->save());
    boxes = parseFile(path)->arrayForKey("walkboxes");
    ASSERT_EQ(boxes->count(), 1);
    EXPECT_EQ(str(static_cast<KuDictionary*>(boxes->objectAtIndex(0))->stringForKey("polygon")),
              "(0,0);(9,0);(9,9)");
}

TEST_F(RoomDocumentTest, FailedSaveKeepsTheDocumentDirtyAndSaysWhere) {
    std::string path = writeRoom(std::string(kBase) + "objects: [ { name: \"o\", pos: (5,5) } ]");
    const std::string original = readFile(path);

    // Read-only document.
    GameScene* s = open(path);
    ASSERT_TRUE(s->isOpen());
    object("o")->pos = KuPoint{9, 9};
    s->dirty(true, false);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_FALSE(s->save());
    EXPECT_TRUE(s->dirty());
    EXPECT_EQ(str(Interface::modalTitle()), "Warning");
    EXPECT_NE(str(Interface::modalText()).find(path), std::string::npos) << str(Interface::modalText());
    EXPECT_TRUE(readFile(path) == original);
    // Made writable again, the same edit saves.
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    Interface::reset();
    EXPECT_TRUE(s->save());
    EXPECT_FALSE(s->dirty());
    EXPECT_EQ(Interface::modalText(), nullptr);
    EXPECT_NE(readFile(path).find("(9,9)"), std::string::npos);
    closeScene();

    // The document's folder vanished while it was open.
    s = open(path);
    ASSERT_TRUE(s->isOpen());
    s->dirty(true, false);
    fs::remove_all(folder / "Tansy");
    EXPECT_FALSE(s->save());
    EXPECT_TRUE(s->dirty());
    EXPECT_NE(str(Interface::modalText()).find(path), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "Tansy"));
}

TEST_F(RoomDocumentTest, AVanishedDocumentIsWrittenAgainWhereItWas) {
    std::string path = writeRoom(std::string(kBase) + "objects: [ { name: \"o\", pos: (5,5) } ]");
    GameScene* s = open(path);
    ASSERT_TRUE(s->isOpen());
    fs::remove(path);
    s->dirty(true, false);
    EXPECT_TRUE(s->save());
    EXPECT_FALSE(s->dirty());
    KuDictionary* saved = parseFile(path);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->arrayForKey("objects")->count(), 1);
}

}  // namespace
