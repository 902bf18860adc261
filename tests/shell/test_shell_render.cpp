// A scene of nodes drawn by the real application into its window: translated, scaled and rotated
// children, a hidden node, the event manager's render entries by order and pass, and later
// children over earlier ones; the pixels are read back from the window's framebuffer.
#include <string>
#include <vector>

#include "KuEventManager.h"
#include "KuGraphics.h"
#include "KuUserPrefs.h"
#include "ShellTestSupport.h"

namespace {

const KuColor kRed{1, 0, 0, 1}, kGreen{0, 1, 0, 1}, kBlue{0, 0, 1, 1}, kWhite{1, 1, 1, 1};
const KuColor kYellow{1, 1, 0, 1}, kMagenta{1, 0, 1, 1}, kCyan{0, 1, 1, 1};

Pixel pixelOf(const KuColor& c) {
    return {static_cast<int>(c.red * 255), static_cast<int>(c.green * 255), static_cast<int>(c.blue * 255),
            static_cast<int>(c.alpha * 255)};
}

// The scene, in a 64 x 48 window whose projection maps one unit to one pixel, y up.
void buildScene(KuBaseScene* scene) {
    scene->addRender(ColorQuad::make({8, 8}, {8, 8}, kRed));  // x 8-15, y 8-15

    KuRenderNode* scaled = scene->addRender(KuRenderNode::renderNode());
    scaled->position({32, 8});
    scaled->scale(2);
    scaled->addRender(ColorQuad::make({1, 0}, {4, 4}, kGreen));  // x 34-41, y 8-15

    KuRenderNode* turned = scene->addRender(KuRenderNode::renderNode());
    turned->position({16, 40});
    turned->rotation(90);  // clockwise: the square below and right of the turning point
    turned->addRender(ColorQuad::make({0, 0}, {8, 4}, kBlue));  // x 16-19, y 32-39

    KuRenderNode* hiddenParent = scene->addRender(KuRenderNode::renderNode());
    hiddenParent->hidden(true);
    hiddenParent->addRender(ColorQuad::make({40, 24}, {8, 8}, kWhite));

    scene->addRender(ColorQuad::make({0, 24}, {8, 8}, kRed));
    scene->addRender(ColorQuad::make({4, 24}, {8, 8}, kGreen));  // over the red one's right half

    // Render entries: drawn after the children, by order; pass 2 only in pass 2.
    eventManager->_addRenderOrderPass(ColorQuad::make({48, 32}, {8, 8}, kYellow), 5, 1);
    eventManager->_addRenderOrderPass(ColorQuad::make({48, 32}, {8, 8}, kMagenta), 1, 1);
    eventManager->_addRenderOrderPass(ColorQuad::make({56, 0}, {8, 8}, kMagenta), 10, 1);
    eventManager->_addRenderOrderPass(ColorQuad::make({56, 0}, {8, 8}, kYellow), 2, 1);
    eventManager->_addRenderOrderPass(ColorQuad::make({0, 40}, {8, 8}, kCyan), 0, 2);
    eventManager->_addRenderOrderPass(ColorQuad::make({2, 2}, {4, 4}, kWhite), 0, 1);
    scene->addRender(ColorQuad::make({0, 0}, {8, 8}, kBlue));  // under the white entry
}

struct Probe {
    const char* what;
    int x, y;
    KuColor expected;
};

const Probe kProbes[] = {
    {"translated child", 11, 11, kRed},
    {"left of it", 6, 11, {0, 0, 0, 1}},
    {"scaled child, near corner", 34, 8, kGreen},
    {"scaled child, far corner", 41, 15, kGreen},
    {"beyond the scaled child", 43, 12, {0, 0, 0, 1}},
    {"rotated child", 17, 33, kBlue},
    {"rotated child, far corner", 19, 39, kBlue},
    {"where it would be unrotated", 22, 42, {0, 0, 0, 1}},
    {"hidden node", 44, 28, {0, 0, 0, 1}},
    {"earlier child", 1, 28, kRed},
    {"later child over it", 6, 28, kGreen},
    {"higher order over lower", 52, 36, kYellow},
    {"order beats adding order", 60, 4, kMagenta},
    {"pass-2 entry", 4, 44, {0, 0, 0, 1}},
    {"entry over the children", 4, 4, kWhite},
    {"child under the entry", 1, 1, kBlue},
};

void checkProbes(const char* where) {
    for (const Probe& p : kProbes) {
        Pixel got = windowPixel(p.x, p.y);
        EXPECT_EQ(got, pixelOf(p.expected))
            << where << ": " << p.what << " at (" << p.x << ", " << p.y << ") shows " << describe(got);
    }
}

class ShellRender : public ShellTest {};

TEST_F(ShellRender, ASceneOfNodesShowsTheExpectedPixelsInTheWindow) {
    ShellTestApp app;
    bool checked = false;
    app.script = [&](ShellTestApp& a, int frame) {
        if (frame == 1) buildScene(currentScene);
        // Frame 2 was drawn and shown by the time frame 3 updates.
        if (frame == 3) {
            checkProbes("window");
            checked = true;
            a.quitRequested = true;
        }
    };
    EXPECT_EQ(app.run(), 0);
    EXPECT_TRUE(checked);
}

TEST_F(ShellRender, AsynchronousPresentationShowsTheSameScene) {
    defaultPrefs->setBool("useSynchronousOpenGL", false);
    ShellTestApp app;
    bool checked = false;
    app.script = [&](ShellTestApp& a, int frame) {
        if (frame == 1) buildScene(currentScene);
        if (frame == 4) {
            checkProbes("asynchronous window");
            checked = true;
            a.quitRequested = true;
        }
    };
    EXPECT_EQ(app.run(), 0);
    EXPECT_TRUE(checked);
}

}  // namespace
