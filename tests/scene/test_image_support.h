// Helpers of the picture tests (images, sprite sheets, animated sprites): captured reports, one
// hidden window with the shared graphics object and the texture program made on first use, frames
// drawn into a texture target and read back, and small atlases written into temporary folders.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "KuGraphics.h"
#include "KuImage.h"
#include "TestSupport.h"

using Pixel = std::array<int, 4>;
std::string describePixel(const Pixel& p);

// Fixture: installs report capturing, gives every test a temporary resource folder searched first,
// the editor's image defaults (pixel snap, nearest filtering) and a device scale of 1; afterwards
// empties the sheet cache and the texture cache, restores the defaults and drains the pool.
class PictureTest : public KuPoolTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // Makes the hidden window and graphics once per test binary; false when no OpenGL 3.2 context
    // can be had (the caller skips).
    static bool graphicsReady();

    std::vector<std::string> warnings() const;
    std::vector<std::string> errors() const;
    bool reported(const std::string& fragment) const;  // in any warning or error
    void clearReports();

    // Writes `name` (e.g. "sheet.png") in the temporary folder as a PNG of the pixels (RGBA rows,
    // top first). Returns false when encoding fails.
    bool writePNG(const std::string& name, int width, int height, const std::vector<uint8_t>& rgba);
    std::string writeText(const std::string& name, const std::string& text) {
        return folder.write(name, text);
    }

    TempFolder folder;

private:
    KuImageProps savedProps;
};

// Skips the test when there is no OpenGL.
#define REQUIRE_GRAPHICS()                                                                                   \
    do {                                                                                                     \
        if (!PictureTest::graphicsReady()) GTEST_SKIP() << "no OpenGL 3.2 core context available";           \
    } while (0)

// A fully opaque atlas whose every pixel differs from its neighbours: (x * 4, y * 4, x + 7y, 255)
// modulo 256, so that a pixel drawn from the wrong place shows.
std::vector<uint8_t> patternAtlas(int width, int height);
Pixel patternPixel(int x, int y);

// A texture target of the size that keeps its read-back pixels. Owned.
KuGraphicsTexture* newTarget(int width, int height);
// One frame into the target: cleared to transparent black, projection over (0, 0)–(width / scale,
// height / scale) points, `draw` called, then read back. False when no frame could be made.
bool drawInto(KuGraphicsTexture* target, float pointsToPixels, const std::function<void()>& draw);
// Pixel (x, y) of a read-back target, y from the bottom as drawn; (-1, -1, -1, -1) outside.
Pixel targetPixel(KuGraphicsTexture* target, int x, int y);
// Every read-back pixel, rows bottom first.
std::vector<Pixel> targetPixels(KuGraphicsTexture* target, int* width, int* height);
