// The sample game project in examples/: its folders, room documents, sprite sheets, scripts and
// templates, read from the real files the way the editor finds and reads them, and the art tool
// that made them reproducing them byte for byte.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "GameApp.h"
#include "GameScene.h"
#include "KuDictionary.h"
#include "KuJson.h"
#include "KuString.h"
#include "TestSupport.h"
#include "core/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

const std::string kProject = std::string(TANSY_SOURCE_DIR) + "/examples";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> roomPaths() {
    std::vector<std::string> out;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(kProject + "/Tansy", ec), end; !ec && it != end;
         it.increment(ec))
        if (it->is_regular_file() && it->path().extension() == ".tansy") out.push_back(it->path().string());
    std::sort(out.begin(), out.end());
    return out;
}

std::string roomName(const std::string& path) {
    return fs::path(path).stem().string();
}

KuDictionary* parseDictionary(const std::string& text, KuDictionary* symbols) {
    KuObject* root = quickParseKuJsonWithSymbolDict(KuStrf("%s", text.c_str()), symbols, false);
    return root && root->kindCode() == kKuTypeDictionary ? static_cast<KuDictionary*>(root) : nullptr;
}

std::string str(KuObject* o) {
    return o && o->isString() ? static_cast<KuString*>(o)->c_str() : "";
}

// A string, or the strings of an array (the forms of background and layer names).
std::vector<std::string> framesOf(KuObject* value) {
    std::vector<std::string> out;
    if (value && value->isString()) out.push_back(str(value));
    if (value && value->kindCode() == kKuTypeArray)
        for (KuObject* e : *static_cast<KuArray<KuObject*>*>(value))
            out.push_back(str(e));
    return out;
}

std::vector<KuDictionary*> dictionaries(KuArray<KuObject*>* array) {
    std::vector<KuDictionary*> out;
    if (array)
        for (KuObject* e : *array)
            if (e && e->kindCode() == kKuTypeDictionary) out.push_back(static_cast<KuDictionary*>(e));
    return out;
}

std::vector<KuPoint> polygonPoints(const std::string& text) {
    std::vector<KuPoint> out;
    std::stringstream parts(text);
    std::string part;
    while (std::getline(parts, part, ';')) {
        KuPoint p;
        if (sscanf(part.c_str(), "(%g,%g)", &p.x, &p.y) == 2) out.push_back(p);
    }
    return out;
}

// One frame of a control file, in atlas pixels.
struct SheetFrame {
    float x = 0, y = 0, w = 0, h = 0, sourceW = 0, sourceH = 0;
};

struct ControlFile {
    int format = 0;
    std::map<std::string, SheetFrame> frames;
};

// The format rule of the sprite-sheet reader: an integer "format", else version 1.0 for the layout
// with object rectangles.
ControlFile readControlFile(const std::string& path) {
    ControlFile out;
    KuDictionary* root = parseDictionary(readFile(path), nullptr);
    if (!root) return out;
    KuDictionary* meta = root->dictionaryForKey("metadata", root->dictionaryForKey("meta"));
    KuDictionary* frames = root->dictionaryForKey("frames");
    if (!meta || !frames) return out;
    out.format = meta->intForKey("format", 0);
    if (out.format == 0 && meta->stringForKey("version") &&
        meta->stringForKey("version")->floatValue() == 1.0f)
        out.format = 4;
    for (KuDictionaryIterator it = frames->begin(); it != frames->end(); ++it) {
        KuObject* v = it.value();
        if (!v || v->kindCode() != kKuTypeDictionary) continue;
        auto* f = static_cast<KuDictionary*>(v);
        SheetFrame s;
        if (out.format == 2 || out.format == 3) {
            std::string rect = str(f->objectForKey(out.format == 2 ? "frame" : "textureRect"));
            std::string size = str(f->objectForKey(out.format == 2 ? "sourceSize" : "spriteSourceSize"));
            if (sscanf(rect.c_str(), "{{%g,%g},{%g,%g}}", &s.x, &s.y, &s.w, &s.h) != 4) continue;
            if (sscanf(size.c_str(), "{%g,%g}", &s.sourceW, &s.sourceH) != 2) continue;
        } else if (out.format == 4) {
            KuDictionary* r = f->dictionaryForKey("frame");
            KuDictionary* size = f->dictionaryForKey("sourceSize");
            if (!r || !size) continue;
            s = {static_cast<float>(r->intForKey("x", -1)),   static_cast<float>(r->intForKey("y", -1)),
                 static_cast<float>(r->intForKey("w", 0)),    static_cast<float>(r->intForKey("h", 0)),
                 static_cast<float>(size->intForKey("w", 0)), static_cast<float>(size->intForKey("h", 0))};
        }
        out.frames[(*it)->c_str()] = s;
    }
    return out;
}

// Width and height from a PNG's header chunk; (0,0) when the file is not a PNG.
std::pair<int, int> pngSize(const std::string& path) {
    std::string b = readFile(path);
    if (b.size() < 24 || b.compare(1, 3, "PNG") != 0) return {0, 0};
    auto be32 = [&](size_t i) {
        return (static_cast<unsigned char>(b[i]) << 24) | (static_cast<unsigned char>(b[i + 1]) << 16) |
               (static_cast<unsigned char>(b[i + 2]) << 8) | static_cast<unsigned char>(b[i + 3]);
    };
    return {static_cast<int>(be32(16)), static_cast<int>(be32(20))};
}

class ExamplesProject : public KuPoolTest {
protected:
    void SetUp() override {
        KuPoolTest::SetUp();
        KuClearResourcePaths();
    }
    void TearDown() override {
        KuClearResourcePaths();
        KuPoolTest::TearDown();
    }

    // The path the editor finds for a bare file name while the given room is open, or "".
    static std::string findForRoom(const std::string& room, const std::string& name) {
        KuClearResourcePaths();
        GameApp::setSearchPaths(KuStrf("%s", room.c_str()));
        KuString* found = KuPathForResource(name.c_str(), nullptr);
        return found ? found->c_str() : "";
    }
};

TEST_F(ExamplesProject, HasTheProjectLayout) {
    const char* required[] = {"Tansy",
                              "Scripts",
                              "Scripts/Rooms",
                              "SpriteSheets",
                              "_SpriteSheets",
                              "Templates",
                              "Templates/PROPNAME.yarrow",
                              "Templates/TRIGGERNAME.yarrow",
                              "Templates/OBJECTNAME.yarrow",
                              "version.txt"};
    for (const char* rel : required)
        EXPECT_TRUE(fs::exists(kProject + "/" + rel)) << rel;

    int direct = 0, inSubFolder = 0;
    for (const std::string& room : roomPaths()) {
        std::string folder = fs::path(room).parent_path().filename().string();
        (folder == "Tansy" ? direct : inSubFolder)++;
    }
    EXPECT_GE(direct, 1) << "a room directly in Tansy/";
    EXPECT_GE(inSubFolder, 1) << "a room in a sub-folder of Tansy/";

    std::string build = readFile(kProject + "/version.txt");
    EXPECT_NE(KuStrf("%s", build.c_str())->stringByTrimmingWhiteSpace()->length, 0);
}

// Each template fills in the object's name, and the filled block is what the existence test
// ("<name> =") finds afterwards.
TEST_F(ExamplesProject, TemplatesAreFoundAndNameTheObject) {
    std::string room = roomPaths().front();
    for (const char* name : {"PROPNAME.yarrow", "TRIGGERNAME.yarrow", "OBJECTNAME.yarrow"}) {
        std::string path = findForRoom(room, name);
        ASSERT_FALSE(path.empty()) << name;
        std::string text = readFile(path);
        EXPECT_NE(text.find("__OBJECTNAME__ ="), std::string::npos) << name;
        EXPECT_EQ(text.find("// NEW_OBJECT_HERE"), std::string::npos) << name << " must not carry the marker";
    }
}

TEST_F(ExamplesProject, EachRoomScriptIsFoundAndCarriesTheMarker) {
    std::vector<std::string> rooms = roomPaths();
    ASSERT_GE(rooms.size(), 2u);
    for (const std::string& room : rooms) {
        std::string script = findForRoom(room, roomName(room) + ".yarrow");
        ASSERT_FALSE(script.empty()) << "no script found for " << room;
        EXPECT_EQ(fs::canonical(script).string().rfind(fs::canonical(kProject).string(), 0), 0u) << script;
        // Insertion replaces the marker with its line feed, so the marker must end a line.
        EXPECT_NE(readFile(script).find("// NEW_OBJECT_HERE\n"), std::string::npos) << script;
    }
}

// Parsed as the editor parses it, and written back by the writer unchanged: the document is
// already in the writer's own layout.
TEST_F(ExamplesProject, EveryRoomParsesAndIsInTheWritersLayout) {
    for (const std::string& room : roomPaths()) {
        std::string text = readFile(room);
        ASSERT_NE(parseDictionary(text, roomSymbolDictionary()), nullptr) << room;
        KuDictionary* raw = parseDictionary(text, nullptr);
        ASSERT_NE(raw, nullptr) << room;
        KuMutableString* written = KuJson::stringFromDict(raw);
        ASSERT_NE(written, nullptr);
        EXPECT_EQ(std::string(written->c_str()), text) << room;
    }
}

struct RoomExpectation {
    const char* relPath;
    int minObjects;
    bool twoBackgroundFrames;
};

TEST_F(ExamplesProject, RoomsCarryWhatARoomHas) {
    const RoomExpectation rooms[] = {{"Tansy/Harbour/Dock.tansy", 12, true},
                                     {"Tansy/Lighthouse.tansy", 8, false}};
    for (const RoomExpectation& want : rooms) {
        SCOPED_TRACE(want.relPath);
        KuDictionary* doc = parseDictionary(readFile(kProject + "/" + want.relPath), nullptr);
        ASSERT_NE(doc, nullptr);
        EXPECT_FALSE(str(doc->objectForKey("sheet")).empty());
        std::vector<std::string> background = framesOf(doc->objectForKey("background"));
        EXPECT_EQ(background.size(), want.twoBackgroundFrames ? 2u : 1u);

        KuObject* bounds = doc->objectForKey("room_bounds");
        ASSERT_TRUE(bounds && bounds->kindCode() == kKuTypeRectObject);
        KuRect r = static_cast<KuRectObject*>(bounds)->rect;
        KuPoint size = doc->pointForKey("room_size", KuPoint{});
        EXPECT_TRUE(r.second.x > r.first.x && r.second.y > r.first.y);
        EXPECT_TRUE(r.second.x <= size.x && r.second.y <= size.y);
        if (want.twoBackgroundFrames) {
            EXPECT_GT(size.x, 427) << "wider than one 16:9 screen at room scale 3";
        }

        bool behind = false, inFront = false;
        for (KuDictionary* layer : dictionaries(doc->arrayForKey("layers"))) {
            int z = layer->intForKey("zsort", 0);
            EXPECT_TRUE(z != 0 && z >= -5 && z <= 5) << z;
            ASSERT_TRUE(layer->containsKey("parallax"));
            float px = layer->pointForKey("parallax", KuPoint{layer->floatForKey("parallax", 0), 1}).x;
            EXPECT_NE(px, 1.0f) << "a layer that moves like the background is no parallax layer";
            behind |= z > 0 && px < 1;
            inFront |= z < 0 && px > 1;
        }
        EXPECT_TRUE(behind);
        EXPECT_TRUE(inFront);

        std::vector<KuDictionary*> objects = dictionaries(doc->arrayForKey("objects"));
        EXPECT_GE(static_cast<int>(objects.size()), want.minObjects);
        std::set<std::string> kinds, names;
        int animated = 0;
        for (KuDictionary* o : objects) {
            std::string name = str(o->objectForKey("name"));
            EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
            bool isSpot = o->intForKey("spot", 0), isProp = o->intForKey("prop", 0),
                 isTrigger = o->intForKey("trigger", 0);
            kinds.insert(isSpot ? "spot" : isProp ? "prop" : isTrigger ? "trigger" : "plain");
            // The keys each kind keeps when the editor saves it, so saving changes nothing.
            EXPECT_EQ(o->containsKey("hotspot"), !isSpot && !isProp) << name;
            EXPECT_EQ(o->containsKey("usepos"), !isSpot && !isProp) << name;
            EXPECT_EQ(o->containsKey("zsort"), !isSpot) << name;
            EXPECT_EQ(o->containsKey("usedir"), !isProp) << name;
            if (o->containsKey("usedir")) {
                EXPECT_EQ(str(o->objectForKey("usedir")).rfind("DIR_", 0), 0u) << name;
            }
            if (o->containsKey("hotspot")) {
                KuRect h = o->rectForKey("hotspot", KuRect{});
                EXPECT_TRUE(h.first.x < h.second.x && h.first.y < h.second.y) << name;
            }
            KuPoint pos = o->pointForKey("pos", KuPoint{});
            EXPECT_TRUE(pos.x != 0 || pos.y != 0) << name << " would be re-centred on its hotspot";
            EXPECT_TRUE(pos.x == static_cast<int>(pos.x) && pos.y == static_cast<int>(pos.y)) << name;
            std::vector<KuDictionary*> animations = dictionaries(o->arrayForKey("animations"));
            if (!animations.empty()) animated++;
            for (KuDictionary* a : animations) {
                EXPECT_FALSE(str(a->objectForKey("name")).empty()) << name;
                EXPECT_GT(a->intForKey("fps", 0), 0) << name;
                EXPECT_TRUE(a->containsKey("loop")) << name;
                EXPECT_FALSE(framesOf(a->objectForKey("frames")).empty()) << name;
            }
        }
        EXPECT_EQ(kinds, (std::set<std::string>{"plain", "prop", "spot", "trigger"}));
        EXPECT_GE(animated, 3);

        std::vector<std::vector<KuPoint>> boxes;
        for (KuDictionary* w : dictionaries(doc->arrayForKey("walkboxes")))
            boxes.push_back(polygonPoints(str(w->objectForKey("polygon"))));
        EXPECT_GE(boxes.size(), 3u);
        int shared = 0;
        for (size_t a = 0; a < boxes.size(); a++) {
            EXPECT_GE(boxes[a].size(), 3u);
            for (size_t b = a + 1; b < boxes.size(); b++)
                for (KuPoint p : boxes[a])
                    shared += std::count(boxes[b].begin(), boxes[b].end(), p) > 0;
        }
        EXPECT_GE(shared, 2) << "two walkboxes meet at shared corners";
    }
}

// Every frame reference a room makes (background, layers, object images, animation frames)
// names a frame of the sheet the editor finds for it through the room's search list.
TEST_F(ExamplesProject, EveryFrameARoomNamesIsInItsSheet) {
    int otherSheetImages = 0, references = 0;
    for (const std::string& room : roomPaths()) {
        SCOPED_TRACE(room);
        KuDictionary* doc = parseDictionary(readFile(room), nullptr);
        ASSERT_NE(doc, nullptr);
        std::string roomSheet = str(doc->objectForKey("sheet"));
        std::vector<std::string> refs = framesOf(doc->objectForKey("background"));
        for (KuDictionary* layer : dictionaries(doc->arrayForKey("layers")))
            for (const std::string& f : framesOf(layer->objectForKey("name")))
                refs.push_back(f);
        for (KuDictionary* o : dictionaries(doc->arrayForKey("objects"))) {
            std::string image = str(o->objectForKey("image"));
            if (!image.empty()) refs.push_back(image);
            if (image.find(':') != std::string::npos) otherSheetImages++;
            for (KuDictionary* a : dictionaries(o->arrayForKey("animations")))
                for (const std::string& f : framesOf(a->objectForKey("frames")))
                    refs.push_back(f);
        }
        std::map<std::string, ControlFile> sheets;
        for (const std::string& ref : refs) {
            size_t colon = ref.find(':');
            std::string sheet = colon == std::string::npos ? roomSheet : ref.substr(0, colon);
            std::string frame = colon == std::string::npos ? ref : ref.substr(colon + 1);
            if (!sheets.count(sheet)) {
                std::string control = findForRoom(room, sheet + ".json");
                ASSERT_FALSE(control.empty()) << sheet << ".json";
                EXPECT_FALSE(findForRoom(room, sheet + ".png").empty()) << sheet << ".png";
                sheets[sheet] = readControlFile(control);
            }
            EXPECT_EQ(sheets[sheet].frames.count(frame), 1u) << ref;
            references++;
        }
    }
    EXPECT_GE(otherSheetImages, 1) << "an object takes its image from another sheet";
    EXPECT_GT(references, 30);
}

// The packed rectangles lie inside the atlas, do not overlap, and are no larger than their
// untrimmed canvases; the sheets use more than one control-file layout and trim frames.
TEST_F(ExamplesProject, SheetControlFilesDescribeTheirAtlas) {
    std::set<int> formats;
    int trimmed = 0, sheets = 0;
    for (const char* folder : {"SpriteSheets", "_SpriteSheets"}) {
        for (const fs::directory_entry& e : fs::directory_iterator(kProject + "/" + folder)) {
            if (e.path().extension() != ".json") continue;
            SCOPED_TRACE(e.path().string());
            sheets++;
            ControlFile file = readControlFile(e.path().string());
            EXPECT_TRUE(file.format >= 2 && file.format <= 4) << file.format;
            formats.insert(file.format);
            std::pair<int, int> atlas = pngSize(fs::path(e.path()).replace_extension(".png").string());
            ASSERT_GT(atlas.first, 0);
            ASSERT_FALSE(file.frames.empty());
            std::vector<const SheetFrame*> placed;
            for (const auto& entry : file.frames) {
                const SheetFrame& f = entry.second;
                EXPECT_TRUE(f.w > 0 && f.h > 0 && f.x >= 0 && f.y >= 0) << entry.first;
                EXPECT_LE(f.x + f.w, atlas.first) << entry.first;
                EXPECT_LE(f.y + f.h, atlas.second) << entry.first;
                EXPECT_TRUE(f.w <= f.sourceW && f.h <= f.sourceH) << entry.first;
                trimmed += f.w < f.sourceW || f.h < f.sourceH;
                for (const SheetFrame* g : placed)
                    EXPECT_FALSE(f.x < g->x + g->w && g->x < f.x + f.w && f.y < g->y + g->h &&
                                 g->y < f.y + f.h)
                        << entry.first << " overlaps another frame";
                placed.push_back(&f);
            }
        }
    }
    EXPECT_GE(sheets, 3);
    EXPECT_GE(formats.size(), 2u);
    EXPECT_GT(trimmed, 0);
}

TEST_F(ExamplesProject, ArtToolReproducesTheCommittedFiles) {
    TempFolder out;
    ASSERT_FALSE(out.path().empty());
    const std::string tool = TANSY_DRAWART_PATH;
    ChildOutcome run = runInChild([&] {
        execl(tool.c_str(), tool.c_str(), out.path().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    });
    ASSERT_TRUE(run.exited && run.exitCode == 0) << run.output;

    std::set<std::string> made;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(out.path())) {
        if (!e.is_regular_file()) continue;
        std::string rel = fs::relative(e.path(), out.path()).string();
        made.insert(rel);
        std::string committed = kProject + "/" + rel;
        ASSERT_TRUE(fs::exists(committed)) << rel << " is made by the tool but not in the project";
        EXPECT_TRUE(readFile(e.path().string()) == readFile(committed))
            << rel << " differs from the tool's output";
    }
    EXPECT_GE(made.size(), 8u);
    // No generated kind of file in the project that the tool no longer makes.
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(kProject)) {
        std::string rel = fs::relative(e.path(), kProject).string();
        std::string ext = e.path().extension().string();
        if (e.is_regular_file() && (ext == ".png" || ext == ".json" || ext == ".tansy")) {
            EXPECT_EQ(made.count(rel), 1u) << rel << " is stale";
        }
    }
}

}  // namespace
