// A window with one textured square turning in the middle: the application shell, a scene of render
// nodes and the graphics facade working together. Needs a display; Escape or closing the window
// quits.
#include <cmath>

#include "KuBaseScene.h"
#include "KuGraphics.h"
#include "KuLayout.h"
#include "KuRenderNode.h"
#include "KuSDLApp.h"

namespace {

// A square of the given side centred on the node's origin, showing a texture.
class TexturedSquare : public KuRenderNode {
public:
    TexturedSquare(KuGraphicsTexture* texture, float side) : texture_(texture) {
        KuRetain(texture_);
        drawable = new KuGraphicsDrawable;
        drawable->initWithShader(textureShaderProgram->shader, kKuMeshTriangleStrip);
        float h = side / 2;
        _Quad2f corners{{{-h, -h}, {h, -h}, {-h, h}, {h, h}}};
        _Quad2f coords{{{0, 1}, {1, 1}, {0, 0}, {1, 0}}};
        drawable->writeQuads(&corners, &coords, 1, nullptr, 0);
        drawable->setTextureSampler("colorMap", texture_);
    }
    ~TexturedSquare() override { KuRelease(texture_); }

    void render() override {
        if (_hidden) return;
        preRender();
        drawable->setShaderMatrix("modelViewProj", *KuProjectTopMatrix());
        drawable->setShaderColor("color", _color);
        drawable->update();
        drawable->draw();
        postRender();
    }

private:
    KuGraphicsTexture* texture_;
};

// A 64 x 64 picture with an orange corner, so the turning shows.
KuGraphicsTexture* newPicture() {
    const int size = 64;
    unsigned char pixels[size * size * 4];
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            unsigned char* p = pixels + (y * size + x) * 4;
            bool light = ((x / 8) + (y / 8)) % 2 == 0;
            bool corner = x < 24 && y < 24;
            p[0] = corner ? 250 : (light ? 220 : 40);
            p[1] = corner ? 140 : (light ? 230 : 70);
            p[2] = corner ? 20 : (light ? 240 : 120);
            p[3] = 255;
        }
    }
    KuGraphicsTexture* texture = new KuGraphicsTexture;
    texture->createWithRGBA8(pixels, size, size, false);
    return texture;
}

class SpinScene : public KuBaseScene {
public:
    TexturedSquare* square = nullptr;  // a child; the children list holds it

    void openSceneWithObject(KuObject*) override {
        KuGraphicsTexture* picture = newPicture();
        square = addRender(KuAutorelease(new TexturedSquare(picture, 200)));
        KuRelease(picture);
    }
    void update(float dt) override {
        KuPoint window = KuWindowSize(kKuLayoutPoints);
        square->position(KuPoint{window.x / 2, window.y / 2});
        square->rotation(std::fmod(square->rotation() + 60 * dt, 360.0f));
        square->scale(1 + 0.15f * std::sin(static_cast<float>(_globalTime) * 2));
        KuBaseScene::update(dt);
    }
    bool keyDown(int key, int) override {
        if (key == SDLK_ESCAPE && app) app->quitRequested = true;
        return true;
    }
};

class SpinApp : public KuSDLApp {
public:
    bool initWithOptions(KuDictionary*) override {
        if (!createCanvas(KuPoint{640, 480}, KuPoint{0, 0}, KuPoint{640, 480}, kKuCanvasResizable))
            return false;
        setWindowTitle("Tansy: spinning node");
        KuBaseScene::newScene(new SpinScene, nullptr);
        return true;
    }
    void update(float dt) override {
        if (currentScene) currentScene->updateDispatch(dt);
    }
    void render() override {
        KuGraphicsRenderer* renderer = KuGraphics::SharedObject()->renderer;
        if (!renderer->beginPass(KuColor{0.08f, 0.1f, 0.16f, 1})) return;
        // One unit per window point, y up.
        KuPoint window = KuWindowSize(kKuLayoutPoints);
        projectionMatrix = KuMatrixIdentity();
        projectionMatrix.m[0] = 2 / window.x;
        projectionMatrix.m[5] = 2 / window.y;
        projectionMatrix.m[12] = -1;
        projectionMatrix.m[13] = -1;
        if (currentScene) currentScene->render();
        renderer->endPass();
    }
    void appWillTerminate() override {
        // The scene's texture and drawable go while the graphics layer still stands.
        KuBaseScene::newScene(nullptr, nullptr);
    }
};

}  // namespace

int main(int argc, char** argv) {
    SpinApp* spin = new SpinApp;
    int status = spin->initMain(argc, argv);
    delete spin;
    return status;
}
