// Pictures, measured side by side:
//   Decode/<codec>/<input>   PNG decoding into RGBA with the engine's codec (libpng) and with
//                            stb_image, on the shared texture atlas and on a generated 2048×2048 atlas;
//   SheetLoad/tansy/<input>  cacheSheetWithName of a 500-frame 2048×2048 sheet, control file, decode
//                            and GPU upload included (headless OpenGL), beside Decode/libpng/<input>;
//   Triangulate/<n>          ear clipping of a walkbox-like polygon of n points.
// Run with SDL_VIDEODRIVER=offscreen when there is no display.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <stb_image.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "KuArray.h"
#include "KuBaseScene.h"
#include "KuGraphics.h"
#include "KuLog.h"
#include "KuPolygonObject.h"
#include "KuSpriteSheet.h"
#include "KuString.h"
#include "KuTextureManager.h"
#include "RvImageCodec.h"
#include "headless_graphics.h"

namespace {

// >>inputs

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

constexpr int kAtlasSide = 2048;
constexpr int kCellsPerRow = 23;  // 23 × 22 cells of 89 pixels: at least 500 frames
constexpr int kCell = 89;
constexpr int kFrames = 500;

// A packed atlas as texture packers leave it: opaque, shaded sprites with soft edges on a
// transparent background, one per cell, each a little smaller than its cell.
std::vector<uint8_t> generatedAtlasPixels() {
    std::vector<uint8_t> pixels(size_t(kAtlasSide) * kAtlasSide * 4, 0);
    uint32_t noise = 12345;
    for (int frame = 0; frame < kFrames; frame++) {
        const int cx = (frame % kCellsPerRow) * kCell, cy = (frame / kCellsPerRow) * kCell;
        const float radius = 30.0f + static_cast<float>(frame % 13);
        for (int y = 0; y < kCell - 2; y++)
            for (int x = 0; x < kCell - 2; x++) {
                const float dx = static_cast<float>(x) - 43, dy = static_cast<float>(y) - 43;
                const float d = std::sqrt(dx * dx + dy * dy);
                if (d > radius) continue;
                noise = noise * 1664525u + 1013904223u;
                uint8_t* p = pixels.data() + ((size_t(cy + y) * kAtlasSide) + cx + x) * 4;
                p[0] = static_cast<uint8_t>((frame * 37 + x * 2) & 255);
                p[1] = static_cast<uint8_t>((frame * 11 + y * 2) & 255);
                p[2] = static_cast<uint8_t>(((frame * 5) ^ (x + y)) + ((noise >> 28) & 3));
                p[3] = d > radius - 2 ? 128 : 255;
            }
    }
    return pixels;
}

std::vector<uint8_t>& generatedAtlasPNG() {
    static std::vector<uint8_t> file;
    if (file.empty()) {
        std::vector<uint8_t> pixels = generatedAtlasPixels();
        std::string error;
        if (!RvImageEncodePNG(pixels.data(), kAtlasSide, kAtlasSide, kAtlasSide * 4, 4, &file, &error))
            fprintf(stderr, "atlas encoding failed: %s\n", error.c_str());
    }
    return file;
}

std::vector<uint8_t>& sharedAtlasPNG() {
    static std::vector<uint8_t> file =
        readFile(std::string(TANSY_SHARED_DATA_DIR) + "/spritesheets/monsters.png");
    return file;
}

const std::vector<uint8_t>* input(const std::string& name) {
    if (name == "monsters") return sharedAtlasPNG().empty() ? nullptr : &sharedAtlasPNG();
    return generatedAtlasPNG().empty() ? nullptr : &generatedAtlasPNG();
}

// >>decoding

void decodeWithLibpng(benchmark::State& state, const std::string& name) {
    const std::vector<uint8_t>* file = input(name);
    if (!file) {
        state.SkipWithError("input missing (shared data folder absent?)");
        return;
    }
    RvImageBitmap bitmap;
    std::string error;
    for (auto _ : state) {
        if (!RvImageDecodePNG(file->data(), file->size(), &bitmap, &error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(bitmap.pixels.size()));
}

void decodeWithStb(benchmark::State& state, const std::string& name) {
    const std::vector<uint8_t>* file = input(name);
    if (!file) {
        state.SkipWithError("input missing (shared data folder absent?)");
        return;
    }
    int64_t produced = 0;
    for (auto _ : state) {
        int w = 0, h = 0, channels = 0;
        stbi_uc* pixels =
            stbi_load_from_memory(file->data(), static_cast<int>(file->size()), &w, &h, &channels, 4);
        if (!pixels) {
            state.SkipWithError(stbi_failure_reason());
            return;
        }
        benchmark::DoNotOptimize(pixels);
        produced = int64_t(w) * h * 4;
        stbi_image_free(pixels);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * produced);
}

// >>sheet loading

// The generated atlas as a sprite sheet on disk: "atlas.png" and a format 4 control file naming
// its 500 frames, each trimmed a little inside its cell.
struct SheetFolder {
    std::string path;
    SheetFolder() {
        char pattern[] = "/tmp/tansy-bench-XXXXXX";
        if (!mkdtemp(pattern)) return;
        path = pattern;
        const std::vector<uint8_t>& png = generatedAtlasPNG();
        std::ofstream(path + "/atlas.png", std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        std::string control = "{\"frames\": {";
        for (int frame = 0; frame < kFrames; frame++) {
            const int x = (frame % kCellsPerRow) * kCell, y = (frame / kCellsPerRow) * kCell;
            char entry[400];
            snprintf(entry, sizeof entry,
                     "%s\"sprite_%03d\": {\"frame\": {\"x\": %d, \"y\": %d, \"w\": %d, \"h\": %d}, "
                     "\"rotated\": false, "
                     "\"trimmed\": true, \"spriteSourceSize\": {\"x\": 1, \"y\": 1, \"w\": %d, \"h\": %d}, "
                     "\"sourceSize\": {\"w\": %d, \"h\": %d}}",
                     frame ? ", " : "", frame, x, y, kCell - 2, kCell - 2, kCell - 2, kCell - 2, kCell,
                     kCell);
            control += entry;
        }
        control += "}, \"meta\": {\"app\": \"bench\", \"version\": \"1.0\", \"image\": \"atlas.png\"}}";
        std::ofstream(path + "/atlas.json") << control;
    }
    ~SheetFolder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
};

// One frame drawing the image into a small texture target: its atlas is uploaded by the frame.
void drawOnce(KuImage* image, KuGraphicsTexture* target) {
    KuGraphicsRenderer* r = KuGraphics::SharedObject()->renderer;
    const KuColor clear{0, 0, 0, 0};
    r->runSyncedToDisplay([&] {
        if (!r->beginFrame()) return;
        if (r->beginPass(target, &clear, nullptr, nullptr)) {
            projectionMatrix = KuMatrixIdentity();
            KuMatrixStackReset();
            image->renderAt(KuPoint{0, 0});
            r->endPass();
        }
        r->endFrame();
    });
}

// cacheSheetWithName of the 500-frame sheet from an empty cache: control file, decoding, texture
// and the frame that uploads it.
void sheetLoad(benchmark::State& state) {
    static SheetFolder folder;
    if (folder.path.empty() || !headlessGraphicsUp()) {
        state.SkipWithError("no temporary folder or no OpenGL context");
        return;
    }
    KuClearResourcePaths();
    KuAddResourcePath(folder.path.c_str());
    auto* target = new KuGraphicsTexture;
    target->initWithSize(KuPoint{16, 16}, true, false);
    KuString* name = KuString::newWithString("atlas");
    KuString* frame = KuString::newWithString("sprite_499");
    int frames = 0;
    for (auto _ : state) {
        KuSpriteSheet* sheet = KuSpriteSheet::cacheSheetWithName(name);
        KuImage* image = sheet ? sheet->copyImageNamed(frame, false) : nullptr;
        if (!image) {
            state.SkipWithError("the sheet did not load");
            break;
        }
        drawOnce(image, target);
        frames = sheet->frames->count();
        state.PauseTiming();
        KuSpriteSheet::releaseCache();
        KuAutoreleasePool::drainCurrentPool();
        state.ResumeTiming();
    }
    state.counters["frames"] = frames;
    KuRelease(frame);
    KuRelease(name);
    KuRelease(target);
    textureManager.releaseAllTextures();
    KuAutoreleasePool::drainCurrentPool();
}

// >>triangulation

// A walkbox-like outline: a wobbly ring of n points, clockwise with y up as walkboxes are drawn,
// with every third point pulled in so that the outline is concave.
KuPolygonObject* newWobblyPolygon(int n) {
    auto* polygon = new KuPolygonObject;
    for (int i = 0; i < n; i++) {
        const double angle = -2.0 * M_PI * i / n;
        const double radius = (i % 3 == 0) ? 70.0 : 100.0;
        polygon->addPointToBack(KuPoint{static_cast<float>(400 + radius * std::cos(angle)),
                                        static_cast<float>(300 + radius * 0.6 * std::sin(angle))});
    }
    return polygon;
}

void triangulate(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    KuPolygonObject* polygon = newWobblyPolygon(n);
    size_t triangles = 0;
    for (auto _ : state) {
        if (!polygon->makeTriangleVector(true)) {
            state.SkipWithError("triangulation failed");
            break;
        }
        triangles = polygon->triangleVector().size();
    }
    state.counters["triangles"] = static_cast<double>(triangles);
    state.SetComplexityN(n);
    KuRelease(polygon);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (const char* name : {"monsters", "atlas2048"}) {
        benchmark::RegisterBenchmark((std::string("Decode/libpng/") + name).c_str(), decodeWithLibpng, name)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("Decode/stb_image/") + name).c_str(), decodeWithStb, name)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("SheetLoad/tansy/atlas2048", sheetLoad)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Triangulate", triangulate)
        ->Arg(8)
        ->Arg(64)
        ->Arg(512)
        ->Complexity()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    KuAutoreleasePool::drainCurrentPool();
    return 0;
}
