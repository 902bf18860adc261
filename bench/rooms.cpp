// Rooms, measured side by side on one generated document of 2 000 objects and 100 walkboxes:
//   Parse/tansy/room2000  the bare parse of the document's text with the room symbols;
//   Open/room2000         GameScene::openSceneWithObject on the same file: reading, parsing,
//                         background, layers, every object's picture and the walkboxes (the
//                         sheet's texture already cached, as after the first room of a session);
//   Write/tansy/room2000  the bare writer: the parsed dictionary as text, saved to a file;
//   Save/room2000         GameScene::save of the open room: objects and walkboxes written back
//                         into the dictionary, then the same text and file save.
// Run with SDL_VIDEODRIVER=offscreen when there is no display.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "GameApp.h"
#include "GameScene.h"
#include "Interface.h"
#include "KuFile.h"
#include "KuGraphics.h"
#include "KuJson.h"
#include "KuSpriteSheet.h"
#include "KuTextureManager.h"
#include "RvImageCodec.h"
#include "headless_graphics.h"

namespace {

constexpr int kObjects = 2000;
constexpr int kWalkboxes = 100;

// >>the project

struct Frame {
    std::string name;
    int x, y, w, h;
};

std::vector<Frame> sheetFrames() {
    std::vector<Frame> frames = {{"bg_west", 0, 0, 256, 128},
                                 {"bg_east", 256, 0, 256, 128},
                                 {"far", 0, 128, 128, 64},
                                 {"near", 128, 128, 128, 64}};
    for (int i = 0; i < 32; i++)
        frames.push_back({"thing_" + std::to_string(i), 256 + (i % 16) * 16, 128 + (i / 16) * 16, 16, 16});
    for (int i = 0; i < 6; i++)
        frames.push_back({"anim_" + std::to_string(i), 256 + i * 16, 160, 16, 16});
    return frames;
}

std::string controlText(const std::vector<Frame>& frames) {
    std::string text = "{\"frames\": {";
    for (size_t i = 0; i < frames.size(); i++) {
        const Frame& f = frames[i];
        char entry[512];
        snprintf(entry, sizeof entry,
                 "%s\"%s\": {\"frame\": {\"x\": %d, \"y\": %d, \"w\": %d, \"h\": %d}, \"rotated\": false, "
                 "\"trimmed\": false, \"spriteSourceSize\": {\"x\": 0, \"y\": 0, \"w\": %d, \"h\": %d}, "
                 "\"sourceSize\": {\"w\": %d, \"h\": %d}}",
                 i ? ", " : "", f.name.c_str(), f.x, f.y, f.w, f.h, f.w, f.h, f.w, f.h);
        text += entry;
    }
    return text + "}, \"meta\": {\"version\": \"1.0\", \"image\": \"Bench.png\", \"size\": {\"w\": 512, "
                  "\"h\": 256}}}";
}

// The document as the editor writes it: every kind of object, unknown keys included, so that a
// save has everything to do that a real room asks of it.
std::string roomText() {
    std::string s =
        "sheet: \"Bench\"\nbackground: [\"bg_west\", \"bg_east\"]\nroom_scale: 3\nmusic: \"theme\"\n";
    s += "layers: [ {name: \"far\", zsort: 3, parallax: 0.5}, {name: \"near\", zsort: -1, parallax: (1.2,1)} "
         "]\n";
    s += "objects: [\n";
    uint32_t noise = 2024;
    auto next = [&noise](int range) {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<int>((noise >> 8) % static_cast<uint32_t>(range));
    };
    for (int i = 0; i < kObjects; i++) {
        char entry[1024];
        const int x = next(500), y = next(120);
        switch (i % 4) {
        case 0:
            snprintf(
                entry, sizeof entry,
                "{ name: \"animated_%d\", pos: (%d,%d), zsort: %d, hotspot: ((-8,-8),(8,8)), usepos: "
                "(0,-20), "
                "usedir: DIR_LEFT, animations: [ { name: \"idle\", fps: 4, loop: 1, frames: [\"anim_0\", "
                "\"anim_1\", \"anim_2\"] }, { name: \"use\", frames: [\"anim_3\", \"anim_4\", \"anim_5\"] } "
                "] }\n",
                i, x, y, y);
            break;
        case 1:
            snprintf(
                entry, sizeof entry,
                "{ name: \"thing_%d\", image: \"thing_%d\", pos: (%d,%d), zsort: %d, hotspot: "
                "((-8,-8),(8,8)), "
                "usepos: (4,-12), usedir: DIR_BACK, usepos2: (-4,-12), usedir2: DIR_FRONT, verb_look: \"A "
                "thing.\" }\n",
                i, i % 32, x, y, y);
            break;
        case 2:
            snprintf(
                entry, sizeof entry,
                "{ name: \"prop_%d\", image: \"thing_%d\", prop: 1, layer: 2, pos: (%d,%d), zsort: %d }\n", i,
                (i + 7) % 32, x, y, y);
            break;
        default:
            if (i % 8 == 3)
                snprintf(entry, sizeof entry,
                         "{ name: \"spot_%d\", spot: 1, usedir: DIR_RIGHT, pos: (%d,%d) }\n", i, x, y);
            else
                snprintf(
                    entry, sizeof entry,
                    "{ name: \"trigger_%d\", trigger: 1, pos: (%d,%d), hotspot: ((-20,-10),(20,10)), usepos: "
                    "(0,0), usedir: DIR_FRONT, zsort: %d }\n",
                    i, x, y, y);
        }
        s += entry;
    }
    s += "]\nwalkboxes: [\n";
    for (int i = 0; i < kWalkboxes; i++) {
        const int x = (i % 10) * 50, y = (i / 10) * 12;
        char entry[256];
        snprintf(entry, sizeof entry,
                 "{ name: \"floor_%d\", polygon: \"(%d,%d);(%d,%d);(%d,%d);(%d,%d);(%d,%d);(%d,%d)\" }\n", i,
                 x, y, x + 25, y - 2, x + 50, y, x + 50, y + 12, x + 25, y + 14, x, y + 12);
        s += entry;
    }
    return s + "]\n";
}

// A project in a temporary folder: the sheet, the room, a preferences folder.
struct Project {
    std::string root, room, bareCopy;
    Project() {
        char pattern[] = "/tmp/tansy-bench-rooms-XXXXXX";
        if (!mkdtemp(pattern)) return;
        root = pattern;
        std::filesystem::create_directories(root + "/SpriteSheets");
        std::filesystem::create_directories(root + "/Tansy");
        std::filesystem::create_directories(root + "/prefs");
        std::vector<uint8_t> pixels(512 * 256 * 4);
        for (size_t i = 0; i < pixels.size(); i++)
            pixels[i] = static_cast<uint8_t>(i % 4 == 3 ? 255 : (i * 13) % 251);
        std::vector<uint8_t> png;
        std::string error;
        if (!RvImageEncodePNG(pixels.data(), 512, 256, 512 * 4, 4, &png, &error)) return;
        std::ofstream(root + "/SpriteSheets/Bench.png", std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        std::ofstream(root + "/SpriteSheets/Bench.json") << controlText(sheetFrames());
        // The room in the writer's own layout, as every save leaves it.
        KuObject* parsed = quickParseKuJsonWithSymbolDict(KuString::stringWithString(roomText().c_str()),
                                                          roomSymbolDictionary(), false);
        if (!parsed || parsed->kindCode() != kKuTypeDictionary) return;
        room = root + "/Tansy/room2000.tansy";
        bareCopy = root + "/Tansy/bare.tansy";
        KuSaveStringToFile(KuString::stringWithString(room.c_str()),
                           KuJson::stringFromDict(static_cast<KuDictionary*>(parsed)));
        setenv("XDG_DATA_HOME", (root + "/prefs").c_str(), 1);
        KuSetCompanyAndProjectName(KuString::stringWithString("Mossbank"),
                                   KuString::stringWithString("Tansy"));
        GameApp::setSearchPaths(KuString::stringWithString(room.c_str()));
        KuAutoreleasePool::drainCurrentPool();
    }
    ~Project() {
        std::error_code ec;
        if (!root.empty()) std::filesystem::remove_all(root, ec);
    }
    bool ready() const { return !room.empty(); }
};

Project& project() {
    static Project p;
    return p;
}

bool ready(benchmark::State& state) {
    if (!headlessGraphicsUp()) {
        state.SkipWithError("no OpenGL context");
        return false;
    }
    if (!project().ready()) {
        state.SkipWithError("the generated project could not be written");
        return false;
    }
    return true;
}

KuString* roomText(const std::string& path) {
    return KuLoadFileAsString(KuString::stringWithString(path.c_str()));
}

// >>benchmarks

void parseRoom(benchmark::State& state) {
    if (!ready(state)) return;
    KuString* text = roomText(project().room);
    KuRetain(text);
    size_t bytes = text ? static_cast<size_t>(text->length) : 0;
    for (auto _ : state) {
        KuObject* root = quickParseKuJsonWithSymbolDict(text, roomSymbolDictionary(), false);
        benchmark::DoNotOptimize(root);
        state.PauseTiming();
        KuAutoreleasePool::drainCurrentPool();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
    KuRelease(text);
}

// One scene opened and closed, so that the sheet is cached before timing starts.
GameScene* openRoom() {
    auto* scene = new GameScene();
    scene->openSceneWithObject(KuString::stringWithString(project().room.c_str()));
    return scene;
}

void closeRoom(GameScene* scene) {
    scene->closeScene();
    KuRelease(scene);
    KuAutoreleasePool::drainCurrentPool();
}

void openRoomBench(benchmark::State& state) {
    if (!ready(state)) return;
    closeRoom(openRoom());
    int objects = 0;
    for (auto _ : state) {
        GameScene* scene = openRoom();
        state.PauseTiming();
        objects = scene->objects->count();
        if (!scene->isOpen()) state.SkipWithError("the room did not open");
        closeRoom(scene);
        state.ResumeTiming();
    }
    state.counters["objects"] = objects;
}

void writeRoom(benchmark::State& state) {
    if (!ready(state)) return;
    auto* dict = static_cast<KuDictionary*>(
        quickParseKuJsonWithSymbolDict(roomText(project().room), roomSymbolDictionary(), false));
    KuRetain(dict);
    KuString* path = KuString::newWithString(project().bareCopy.c_str());
    for (auto _ : state) {
        if (!KuSaveStringToFile(path, KuJson::stringFromDict(dict))) state.SkipWithError("the write failed");
        state.PauseTiming();
        KuAutoreleasePool::drainCurrentPool();
        state.ResumeTiming();
    }
    KuRelease(path);
    KuRelease(dict);
}

void saveRoom(benchmark::State& state) {
    if (!ready(state)) return;
    GameScene* scene = openRoom();
    KuAutoreleasePool::drainCurrentPool();
    for (auto _ : state) {
        scene->dirty(true, false);
        if (!scene->save()) state.SkipWithError("the save failed");
        state.PauseTiming();
        KuAutoreleasePool::drainCurrentPool();
        state.ResumeTiming();
    }
    closeRoom(scene);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("Parse/tansy/room2000", parseRoom)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Open/room2000", openRoomBench)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Write/tansy/room2000", writeRoom)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Save/room2000", saveRoom)->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Interface::reset();
    KuSpriteSheet::releaseCache();
    textureManager.releaseAllTextures();
    KuAutoreleasePool::drainCurrentPool();
    return 0;
}
