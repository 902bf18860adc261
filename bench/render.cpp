// One frame of N textured 1×1-pixel quads, each its own mesh instance with its own matrix as the
// facade draws images, through the renderer layer (Frame/rv/N) beside a hand-written OpenGL loop
// making the same draws, state changes and uniform uploads (Frame/rawgl/N). Record/rv/N times the
// recording alone. Headless: SDL's offscreen driver, the same context for both.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "RvOpenGL.h"

namespace {

const char* kVertex = R"(
in vec4 position;
in vec2 texcoord;
uniform mat4 modelViewProj;
uniform mat4 textureMatrix;
uniform vec4 color;
out vec4 varyingColor;
out vec2 varyingTexcoord;
void main() {
    gl_Position = modelViewProj * vec4(position.xyz, 1);
    varyingColor = color;
    varyingTexcoord = (textureMatrix * vec4(texcoord.xy, 0, 1)).xy;
}
)";

const char* kFragment = R"(
in vec4 varyingColor;
in vec2 varyingTexcoord;
uniform sampler2D colorMap;
out vec4 fragColor;
void main() { fragColor = varyingColor * texture(colorMap, varyingTexcoord); }
)";

constexpr int kTargetSize = 128;

// Column-major matrix placing a unit quad at pixel (x, y) of the target.
void quadMatrix(int index, float out[16]) {
    float x = static_cast<float>(index % kTargetSize),
          y = static_cast<float>((index / kTargetSize) % kTargetSize);
    for (int i = 0; i < 16; i++)
        out[i] = 0;
    out[0] = 2.0f / kTargetSize;
    out[5] = 2.0f / kTargetSize;
    out[10] = 1;
    out[12] = -1 + 2 * x / kTargetSize;
    out[13] = -1 + 2 * y / kTargetSize;
    out[15] = 1;
}

struct World {
    RvGraphicsDevice* device = nullptr;
    RvRenderer* renderer = nullptr;
    RvTexture* texture = nullptr;
    RvTexture* targetTexture = nullptr;
    RvRenderTarget* target = nullptr;
    RvShader* shader = nullptr;
    std::vector<RvMesh*> meshes;
    std::vector<RvMeshInstance*> instances;
    std::vector<float> matrices;  // 16 per quad

    // The hand-written side.
    GLuint program = 0, framebuffer = 0, colorTexture = 0, sampleTexture = 0;
    GLint mvpLocation = -1, textureMatrixLocation = -1, colorLocation = -1, samplerLocation = -1;
    std::vector<GLuint> arrays, buffers;
};

World& world() {
    static World w;
    return w;
}

const float kQuad[16] = {0, 0, 0, 0, 1, 0, 1, 0, 0, 1, 0, 1, 1, 1, 1, 1};  // x, y, u, v × 4 (strip)
const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
const float kColor[4] = {1, 0.5f, 0.25f, 1};

bool setUpLayer(World& w, size_t quads) {
    if (!w.device) {
        if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
        w.device = RvNewOpenGLGraphicsDevice();
        if (!w.device) return false;
        w.renderer = RvNewRenderer(w.device, kRvOpenGLRendererOptions, nullptr);
        w.texture = RvNewTexture(w.device, kRvAccessDynamic);
        RvTextureSetSolidColor(w.texture, KuColor{1, 1, 1, 1});
        w.targetTexture = RvNewTexture(w.device, 0);
        w.target = RvNewRenderTarget(w.device);
        RvRenderTargetSetLayout(w.target, kTargetSize, kTargetSize, 1);
        RvRenderTargetSetColorFormat(w.target, kRvBufferFormatRGBA8, w.targetTexture);
        w.shader = RvNewShader(w.device);
        RvShaderSetVertexShaderSource(w.shader, kVertex);
        RvShaderSetFragmentShaderSource(w.shader, kFragment);
        RvShaderSetBlendMode(w.shader, kRvBlendAlpha);
    }
    while (w.meshes.size() < quads) {
        RvVertexBuffer* vb = RvNewVertexBuffer(w.device, kRvAccessDynamic);
        RvVertexBufferSetStreams(vb, 2, 4);
        RvData* data = RvNewData(kQuad, sizeof kQuad);
        RvVertexBufferSetInterleavedStreamData(vb, 0, "position", kRvVertexPosition2f, data, 0, 16);
        RvVertexBufferSetInterleavedStreamData(vb, 1, "texcoord", kRvVertexTexCoord2f, data, 8, 16);
        KuRelease(data);
        RvMesh* mesh = RvNewMesh(w.device, 5, vb, nullptr, w.shader);
        KuRelease(vb);
        RvMeshInstance* instance = RvNewRenderInstance(mesh, nullptr);
        RvShaderInstance* values = RvMeshInstanceGetShaderInstance(instance);
        RvShaderInstanceSetNumber(values, "textureMatrix", RvShaderWriteNumber, kIdentity, kRvEncodingMat4);
        RvShaderInstanceSetNumber(values, "color", RvShaderWriteNumber, kColor, kRvEncodingVec4);
        RvShaderInstanceSetValue(values, "colorMap", w.texture);
        w.meshes.push_back(mesh);
        w.instances.push_back(instance);
        float m[16];
        quadMatrix(static_cast<int>(w.matrices.size() / 16), m);
        w.matrices.insert(w.matrices.end(), m, m + 16);
    }
    return true;
}

void recordLayerFrame(World& w, size_t quads) {
    RvRenderer* r = w.renderer;
    RvRendererBeginFrame(r, w.target);
    RvRendererBeginPass(r, w.target, kRvClearColor, KuColor{0, 0, 0, 1}, 0, 1);
    for (size_t i = 0; i < quads; i++) {
        RvMeshInstance* instance = w.instances[i];
        // Each image writes its own matrix every frame, in place.
        RvShaderInstanceSetNumber(RvMeshInstanceGetShaderInstance(instance), "modelViewProj",
                                  RvShaderWriteNumber, &w.matrices[i * 16], kRvEncodingMat4);
        RvRenderInstanceUpdate(instance, r);
        RvRenderInstanceDraw(instance, r);
    }
    RvRendererEndPass(r);
    RvRendererEndFrame(r);
}

void finishGPU(World& w) {
    RvOpenGLRendererLock(w.renderer);
    glFinish();
    RvOpenGLRendererUnlock(w.renderer);
}

void FrameLayer(benchmark::State& state) {
    World& w = world();
    auto quads = static_cast<size_t>(state.range(0));
    if (!setUpLayer(w, quads)) {
        state.SkipWithError("no OpenGL 3.2 core context");
        return;
    }
    for (int warmUp = 0; warmUp < 3; warmUp++) {
        recordLayerFrame(w, quads);
        RvRendererRenderFrame(w.renderer);
    }
    finishGPU(w);
    for (auto _ : state) {
        recordLayerFrame(w, quads);
        RvRendererRenderFrame(w.renderer);
        finishGPU(w);
    }
    state.counters["ns/draw"] =
        benchmark::Counter(static_cast<double>(quads),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void RecordLayer(benchmark::State& state) {
    World& w = world();
    auto quads = static_cast<size_t>(state.range(0));
    if (!setUpLayer(w, quads)) {
        state.SkipWithError("no OpenGL 3.2 core context");
        return;
    }
    for (auto _ : state) {
        recordLayerFrame(w, quads);
        state.PauseTiming();
        RvRendererRenderFrame(w.renderer);
        state.ResumeTiming();
    }
    finishGPU(w);
    state.counters["ns/draw"] =
        benchmark::Counter(static_cast<double>(quads),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

GLuint compile(GLenum stage, const char* body) {
    const char* parts[2] = {"#version 150\n", body};
    GLuint s = glCreateShader(stage);
    glShaderSource(s, 2, parts, nullptr);
    glCompileShader(s);
    return s;
}

bool setUpRaw(World& w, size_t quads) {
    if (!setUpLayer(w, 0)) return false;
    RvOpenGLRendererLock(w.renderer);
    if (!w.program) {
        GLuint vs = compile(GL_VERTEX_SHADER, kVertex), fs = compile(GL_FRAGMENT_SHADER, kFragment);
        w.program = glCreateProgram();
        glAttachShader(w.program, vs);
        glAttachShader(w.program, fs);
        glBindAttribLocation(w.program, 0, "position");
        glBindAttribLocation(w.program, 1, "texcoord");
        glLinkProgram(w.program);
        glDeleteShader(vs);
        glDeleteShader(fs);
        w.mvpLocation = glGetUniformLocation(w.program, "modelViewProj");
        w.textureMatrixLocation = glGetUniformLocation(w.program, "textureMatrix");
        w.colorLocation = glGetUniformLocation(w.program, "color");
        w.samplerLocation = glGetUniformLocation(w.program, "colorMap");
        glGenTextures(1, &w.colorTexture);
        glBindTexture(GL_TEXTURE_2D, w.colorTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kTargetSize, kTargetSize, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glGenFramebuffers(1, &w.framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, w.framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, w.colorTexture, 0);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        uint8_t white[4 * 16];
        for (uint8_t& b : white)
            b = 255;
        glGenTextures(1, &w.sampleTexture);
        glBindTexture(GL_TEXTURE_2D, w.sampleTexture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    while (w.arrays.size() < quads) {
        GLuint array = 0, buffer = 0;
        glGenVertexArrays(1, &array);
        glBindVertexArray(array);
        glGenBuffers(1, &buffer);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_DYNAMIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, nullptr);
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(8));
        w.arrays.push_back(array);
        w.buffers.push_back(buffer);
    }
    glBindVertexArray(0);
    RvOpenGLRendererUnlock(w.renderer);
    while (w.matrices.size() < quads * 16) {
        float m[16];
        quadMatrix(static_cast<int>(w.matrices.size() / 16), m);
        w.matrices.insert(w.matrices.end(), m, m + 16);
    }
    return true;
}

// The same work per frame as the layer does: bind the framebuffer, clear, set the blend state once,
// the texture once, then per quad its vertex array, its three uniforms and the draw.
void drawRawFrame(World& w, size_t quads) {
    glBindFramebuffer(GL_FRAMEBUFFER, w.framebuffer);
    glViewport(0, 0, kTargetSize, kTargetSize);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBlendEquation(GL_FUNC_ADD);
    glUseProgram(w.program);
    // One texture for every quad: bound once, as the layer's texture-unit cache does.
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, w.sampleTexture);
    glUniform1i(w.samplerLocation, 0);
    for (size_t i = 0; i < quads; i++) {
        glBindVertexArray(w.arrays[i]);
        glUniformMatrix4fv(w.mvpLocation, 1, GL_FALSE, &w.matrices[i * 16]);
        glUniformMatrix4fv(w.textureMatrixLocation, 1, GL_FALSE, kIdentity);
        glUniform4fv(w.colorLocation, 1, kColor);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    glBindVertexArray(0);
    glUseProgram(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glFinish();
}

void FrameRaw(benchmark::State& state) {
    World& w = world();
    auto quads = static_cast<size_t>(state.range(0));
    if (!setUpRaw(w, quads)) {
        state.SkipWithError("no OpenGL 3.2 core context");
        return;
    }
    RvOpenGLRendererLock(w.renderer);
    for (int warmUp = 0; warmUp < 3; warmUp++)
        drawRawFrame(w, quads);
    for (auto _ : state)
        drawRawFrame(w, quads);
    RvOpenGLRendererUnlock(w.renderer);
    state.counters["ns/draw"] =
        benchmark::Counter(static_cast<double>(quads),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(FrameLayer)->Name("Frame/rv")->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(FrameRaw)->Name("Frame/rawgl")->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(RecordLayer)->Name("Record/rv")->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
