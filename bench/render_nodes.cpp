// One frame of N textured quads, each its own drawable, into the window, side by side:
//   Frame/nodes/<N>  a tree of render nodes drawn through the graphics facade and the renderer
//                    layer (recorded into a command buffer, executed in OpenGL, presented);
//   Frame/rawgl/<N>  the same quads drawn by a plain OpenGL loop (a vertex array per quad, one
//                    program, the program's three uniforms per draw, then the buffer swap).
// (render.cpp measures the renderer layer alone the same way, into a texture.)
// Both finish every frame (glFinish), so each measures CPU and GPU work together.
// Headless: SDL's offscreen driver unless SDL_VIDEODRIVER says otherwise.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "KuGraphics.h"
#include "KuRenderNode.h"
#include "KuSDLApp.h"
#include "RvOpenGL.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr float kQuadSide = 4;

KuMatrix ortho() {
    KuMatrix m = KuMatrixIdentity();
    m.m[0] = 2.0f / kWidth;
    m.m[5] = 2.0f / kHeight;
    m.m[12] = -1;
    m.m[13] = -1;
    return m;
}

// Quad i of a grid filling the window.
KuPoint quadPosition(int i) {
    int perRow = static_cast<int>(kWidth / (kQuadSide + 1));
    return KuPoint{static_cast<float>(i % perRow) * (kQuadSide + 1),
                   static_cast<float>((i / perRow) % static_cast<int>(kHeight / (kQuadSide + 1))) *
                       (kQuadSide + 1)};
}

const unsigned char kTexels[4 * 4 * 4] = {
    255, 255, 255, 255, 200, 200, 255, 255, 255, 255, 255, 255, 200, 200, 255, 255,
    200, 200, 255, 255, 255, 255, 255, 255, 200, 200, 255, 255, 255, 255, 255, 255,
    255, 255, 255, 255, 200, 200, 255, 255, 255, 255, 255, 255, 200, 200, 255, 255,
    200, 200, 255, 255, 255, 255, 255, 255, 200, 200, 255, 255, 255, 255, 255, 255,
};

// >>nodes

class QuadNode : public KuRenderNode {
public:
    explicit QuadNode(KuGraphicsTexture* texture) {
        drawable = new KuGraphicsDrawable;
        drawable->initWithShader(textureShaderProgram->shader, kKuMeshTriangleStrip);
        _Quad2f corners{{{0, 0}, {kQuadSide, 0}, {0, kQuadSide}, {kQuadSide, kQuadSide}}};
        _Quad2f coords{{{0, 0}, {1, 0}, {0, 1}, {1, 1}}};
        drawable->writeQuads(&corners, &coords, 1, nullptr, 0);
        drawable->setTextureSampler("colorMap", texture);
    }
    void render() override {
        if (_hidden) return;
        preRender();
        drawable->setShaderMatrix("modelViewProj", *KuProjectTopMatrix());
        drawable->setShaderColor("color", _color);
        drawable->update();
        drawable->draw();
        postRender();
    }
};

struct NodeWorld {
    SDL_Window* window = nullptr;
    KuGraphicsTexture* texture = nullptr;
    bool ready = false;

    NodeWorld() {
        KuAutoreleasePool::initThreadPool();
        KuGraphics::PrepareWindowAttributes();
        window = SDL_CreateWindow("nodes", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL);
        if (!window) return;
        KuGraphics::Initialize(nullptr, 0, window, kKuGraphicsSynchronousSurface);
        if (!KuSharedRvRenderer()) return;
        KuCreateBuiltInShaders();
        texture = new KuGraphicsTexture;
        texture->createWithRGBA8(kTexels, 4, 4, false);
        ready = true;
    }
    KuRenderNode* newScene(int n) const {
        KuRenderNode* root = new KuRenderNode;
        for (int i = 0; i < n; i++) {
            QuadNode* q = new QuadNode(texture);
            q->position(quadPosition(i));
            q->color(KuColor{1, 1 - (i % 7) / 10.0f, 1, 1});
            root->addRender(q);
            KuRelease(q);
        }
        return root;
    }
    void frame(KuRenderNode* root) const {
        KuGraphicsRenderer* renderer = KuGraphics::SharedObject()->renderer;
        renderer->runSyncedToDisplay([&] {
            if (!renderer->beginFrame()) return;
            if (renderer->beginPass(KuColor{0, 0, 0, 1})) {
                KuMatrixStackReset();
                projectionMatrix = ortho();
                root->render();
                renderer->endPass();
            }
            renderer->endFrame();
        });
        RvOpenGLRendererLock(KuSharedRvRenderer());
        glFinish();
        RvOpenGLRendererUnlock(KuSharedRvRenderer());
        KuAutoreleasePool::drainCurrentPool();
    }
};

// >>raw OpenGL

const char* const kVertex = R"(#version 150 core
in vec4 position;
in vec2 texcoord;
out vec4 varyingColor;
out vec2 varyingTexcoord;
uniform mat4 modelViewProj;
uniform mat4 textureMatrix;
uniform vec4 color;
void main() {
    gl_Position = modelViewProj * vec4(position.xyz, 1);
    varyingColor = color;
    varyingTexcoord = (textureMatrix * vec4(texcoord.xy, 0, 1)).xy;
})";

const char* const kFragment = R"(#version 150 core
in vec4 varyingColor;
in vec2 varyingTexcoord;
out vec4 fragColor;
uniform sampler2D colorMap;
void main() {
    fragColor = varyingColor * texture(colorMap, varyingTexcoord);
})";

struct RawWorld {
    SDL_Window* window = nullptr;
    SDL_GLContext context = nullptr;
    GLuint program = 0, texture = 0;
    GLint mvpAt = -1, textureMatrixAt = -1, colorAt = -1;
    bool ready = false;

    RawWorld() {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        window = SDL_CreateWindow("raw", 0, 0, kWidth, kHeight, SDL_WINDOW_OPENGL);
        if (!window) return;
        context = SDL_GL_CreateContext(window);
        if (!context) return;
        SDL_GL_MakeCurrent(window, context);
        SDL_GL_SetSwapInterval(0);
        program = glCreateProgram();
        for (auto [kind, text] :
             {std::pair<GLenum, const char*>{GL_VERTEX_SHADER, kVertex}, {GL_FRAGMENT_SHADER, kFragment}}) {
            GLuint s = glCreateShader(kind);
            glShaderSource(s, 1, &text, nullptr);
            glCompileShader(s);
            glAttachShader(program, s);
            glDeleteShader(s);
        }
        glBindAttribLocation(program, 0, "position");
        glBindAttribLocation(program, 1, "texcoord");
        glLinkProgram(program);
        GLint linked = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (!linked) return;
        mvpAt = glGetUniformLocation(program, "modelViewProj");
        textureMatrixAt = glGetUniformLocation(program, "textureMatrix");
        colorAt = glGetUniformLocation(program, "color");
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, kTexels);
        ready = true;
    }

    struct Quads {
        std::vector<GLuint> arrays, buffers;
        std::vector<KuPoint> positions;
        std::vector<KuColor> colors;
    };
    Quads newQuads(int n) const {
        Quads q;
        q.arrays.resize(static_cast<size_t>(n));
        q.buffers.resize(static_cast<size_t>(n));
        glGenVertexArrays(n, q.arrays.data());
        glGenBuffers(n, q.buffers.data());
        const float vertices[] = {0, 0,         0, 0, kQuadSide, 0,         1, 0,
                                  0, kQuadSide, 0, 1, kQuadSide, kQuadSide, 1, 1};
        for (int i = 0; i < n; i++) {
            glBindVertexArray(q.arrays[i]);
            glBindBuffer(GL_ARRAY_BUFFER, q.buffers[i]);
            glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
            glEnableVertexAttribArray(0);
            glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
            glEnableVertexAttribArray(1);
            glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<void*>(8));
            q.positions.push_back(quadPosition(i));
            q.colors.push_back(KuColor{1, 1 - (i % 7) / 10.0f, 1, 1});
        }
        glBindVertexArray(0);
        return q;
    }
    void deleteQuads(Quads& q) const {
        glDeleteVertexArrays(static_cast<GLsizei>(q.arrays.size()), q.arrays.data());
        glDeleteBuffers(static_cast<GLsizei>(q.buffers.size()), q.buffers.data());
    }
    void frame(const Quads& q) const {
        SDL_GL_MakeCurrent(window, context);
        glViewport(0, 0, kWidth, kHeight);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glUseProgram(program);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture);
        KuMatrix projection = ortho();
        KuMatrix identity = KuMatrixIdentity();
        for (size_t i = 0; i < q.arrays.size(); i++) {
            KuMatrix mvp = projection;
            mvp.m[12] += projection.m[0] * q.positions[i].x;
            mvp.m[13] += projection.m[5] * q.positions[i].y;
            glUniformMatrix4fv(mvpAt, 1, GL_FALSE, mvp.m);
            glUniformMatrix4fv(textureMatrixAt, 1, GL_FALSE, identity.m);
            glUniform4fv(colorAt, 1, &q.colors[i].red);
            glBindVertexArray(q.arrays[i]);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        glBindVertexArray(0);
        SDL_GL_SwapWindow(window);
        glFinish();
    }
};

NodeWorld* nodeWorld = nullptr;
RawWorld* rawWorld = nullptr;

void FrameNodes(benchmark::State& state) {
    if (!nodeWorld->ready) {
        state.SkipWithError("no OpenGL window for the facade");
        return;
    }
    KuRenderNode* root = nodeWorld->newScene(static_cast<int>(state.range(0)));
    for (auto _ : state)
        nodeWorld->frame(root);
    KuRelease(root);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void FrameRawGL(benchmark::State& state) {
    if (!rawWorld->ready) {
        state.SkipWithError("no OpenGL context for the raw loop");
        return;
    }
    SDL_GL_MakeCurrent(rawWorld->window, rawWorld->context);
    RawWorld::Quads quads = rawWorld->newQuads(static_cast<int>(state.range(0)));
    for (auto _ : state)
        rawWorld->frame(quads);
    rawWorld->deleteQuads(quads);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

int main(int argc, char** argv) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "SDL: %s\n", SDL_GetError());
        return 1;
    }
    rawWorld = new RawWorld;
    nodeWorld = new NodeWorld;
    for (int n : {1000, 10000}) {
        benchmark::RegisterBenchmark(("Frame/nodes/" + std::to_string(n)).c_str(), FrameNodes)
            ->Arg(n)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Frame/rawgl/" + std::to_string(n)).c_str(), FrameRawGL)
            ->Arg(n)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
