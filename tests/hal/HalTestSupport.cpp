#include "HalTestSupport.h"

#include <SDL.h>
#include <dlfcn.h>
#include <epoxy/gl.h>
#include <link.h>

#include <algorithm>
#include <cstdio>

// >>reports

namespace {
std::mutex reportMutex;
std::vector<std::string> reports;

void capture(const char* text) {
    std::lock_guard<std::mutex> lock(reportMutex);
    reports.emplace_back(text);
}
}  // namespace

CapturedReports::CapturedReports() {
    clear();
    RvLogCallbacks callbacks;
    callbacks.warning = capture;
    callbacks.error = capture;
    RvSetLogCallbacks(&callbacks);
}

CapturedReports::~CapturedReports() {
    RvSetLogCallbacks(nullptr);
}

std::vector<std::string> CapturedReports::all() const {
    std::lock_guard<std::mutex> lock(reportMutex);
    return reports;
}

bool CapturedReports::contains(const std::string& fragment) const {
    std::lock_guard<std::mutex> lock(reportMutex);
    for (const std::string& r : reports)
        if (r.find(fragment) != std::string::npos) return true;
    return false;
}

void CapturedReports::clear() {
    std::lock_guard<std::mutex> lock(reportMutex);
    reports.clear();
}

// >>world

namespace {
class GLEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        GLWorld& w = glWorld();
        KuRelease(w.renderer);
        KuRelease(w.device);
        if (w.window) SDL_DestroyWindow(w.window);
        w = GLWorld{};
        // SDL stays initialised: quitting unloads the GL driver, whose own process-lifetime
        // allocations would then be reported as leaks of an unknown module.
    }
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new GLEnvironment);
}  // namespace

// The GL loader unloads its driver libraries at exit, before the leak checker runs: their own
// process-lifetime allocations would then belong to unknown modules, and their thread-local blocks
// to nothing. Every library loaded so far is made undeletable.
static int pinLibrary(struct dl_phdr_info* info, size_t, void*) {
    if (info->dlpi_name && info->dlpi_name[0])
        dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    return 0;
}

static void pinLoadedLibraries() {
    dl_iterate_phdr(pinLibrary, nullptr);
}

GLWorld& glWorld() {
    static GLWorld world;
    static bool tried = false;
    if (tried) return world;
    tried = true;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return world;
    world.device = RvNewOpenGLGraphicsDevice();
    if (!world.device) return world;
    RvOpenGLPixelFormat format;
    std::string error;
    if (!RvOpenGLRendererCreatePixelFormat(world.device, 1, 3, 5, 0, &format, &error)) return world;
    RvOpenGLPixelFormatApply(format);
    world.window = SDL_CreateWindow("hal tests", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64, 64,
                                    SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    world.renderer = RvNewRenderer(world.device, kRvOpenGLRendererOptions, nullptr);
    pinLoadedLibraries();
    if (world.renderer && world.window &&
        !RvOpenGLRendererCreateOpenGLContext(world.renderer, format, world.window, &error)) {
        fprintf(stderr, "window context: %s\n", error.c_str());
    }
    return world;
}

void GLTest::SetUp() {
    KuPoolTest::SetUp();
    GLWorld& w = glWorld();
    if (!w.device || !w.renderer) GTEST_SKIP() << "no OpenGL 3.2 core context available";
    device = w.device;
    renderer = w.renderer;
}

// >>drawing

TextureTarget::TextureTarget(RvGraphicsDevice* device, int width, int height) {
    texture = RvNewTexture(device, kRvAccessDynamic);
    target = RvNewRenderTarget(device);
    RvResourceLock lock(target, kRvLockWrite);
    RvRenderTargetSetLayout(target, width, height, 1);
    RvRenderTargetSetColorFormat(target, kRvBufferFormatRGBA8, texture);
}

TextureTarget::~TextureTarget() {
    KuRelease(target);
    KuRelease(texture);
}

RvShader* newShader(RvGraphicsDevice* device, const char* vertex, const char* fragment, int blendMode) {
    RvShader* s = RvNewShader(device);
    RvResourceLock lock(s, kRvLockWrite);
    RvShaderSetVertexShaderSource(s, vertex);
    RvShaderSetFragmentShaderSource(s, fragment);
    RvShaderSetBlendMode(s, blendMode);
    return s;
}

static const char* kSolidVertex = R"(
in vec4 position;
uniform mat4 modelViewProj;
void main() { gl_Position = modelViewProj * vec4(position.xy, 0.0, 1.0); }
)";

static const char* kSolidFragment = R"(
uniform vec4 color;
out vec4 fragColor;
void main() { fragColor = color; }
)";

static const char* kTexturedVertex = R"(
in vec4 position;
in vec2 texcoord;
uniform mat4 modelViewProj;
out vec2 varyingTexcoord;
void main() {
    gl_Position = modelViewProj * vec4(position.xy, 0.0, 1.0);
    varyingTexcoord = texcoord;
}
)";

static const char* kTexturedFragment = R"(
uniform vec4 color;
uniform sampler2D colorMap;
in vec2 varyingTexcoord;
out vec4 fragColor;
void main() { fragColor = color * texture(colorMap, varyingTexcoord); }
)";

RvShader* newSolidShader(RvGraphicsDevice* device, int blendMode) {
    return newShader(device, kSolidVertex, kSolidFragment, blendMode);
}

RvShader* newTexturedShader(RvGraphicsDevice* device, int blendMode) {
    return newShader(device, kTexturedVertex, kTexturedFragment, blendMode);
}

RvMesh* newQuadMesh(RvGraphicsDevice* device, RvShader* shader, float x0, float y0, float x1, float y1,
                    float u0, float v0, float u1, float v1) {
    RvVertexBuffer* vb = RvNewVertexBuffer(device, kRvAccessDynamic);
    {
        RvResourceLock lock(vb, kRvLockWrite);
        RvVertexBufferSetStreams(vb, 2, 4);
        float positions[8] = {x0, y0, x1, y0, x0, y1, x1, y1};
        float texcoords[8] = {u0, v0, u1, v0, u0, v1, u1, v1};
        RvData* p = RvNewData(positions, sizeof positions);
        RvData* t = RvNewData(texcoords, sizeof texcoords);
        RvVertexBufferSetStreamData(vb, 0, "position", kRvVertexPosition2f, p);
        RvVertexBufferSetStreamData(vb, 1, "texcoord", kRvVertexTexCoord2f, t);
        KuRelease(p);
        KuRelease(t);
    }
    RvMesh* mesh = RvNewMesh(device, 5, vb, nullptr, shader);
    KuRelease(vb);
    return mesh;
}

void setColor(RvMeshInstance* instance, const char* name, const KuColor& color) {
    float c[4] = {color.red, color.green, color.blue, color.alpha};
    RvShaderInstanceSetNumber(RvMeshInstanceGetShaderInstance(instance), name, RvShaderWriteNumber, c,
                              kRvEncodingVec4);
}

RvMeshInstance* newInstance(RvMesh* mesh, const KuColor& color) {
    RvMeshInstance* instance = RvNewRenderInstance(mesh, nullptr);
    RvString* symbol = RvNewString("$ViewProjectionMatrix");
    RvShaderInstanceSetValue(RvMeshInstanceGetShaderInstance(instance), "modelViewProj", symbol);
    KuRelease(symbol);
    setColor(instance, "color", color);
    return instance;
}

void drawFrame(RvRenderer* renderer, RvRenderTarget* target, const KuColor& clear,
               const std::function<void()>& draw) {
    ASSERT_TRUE(RvRendererBeginFrame(renderer, target));
    ASSERT_TRUE(
        RvRendererBeginPass(renderer, target, kRvClearColor | kRvClearDepth | kRvClearStencil, clear, 0, 1));
    RvRendererSetCamera(renderer, target);
    if (draw) draw();
    RvRendererEndPass(renderer);
    RvRendererEndFrame(renderer);
    ASSERT_TRUE(RvRendererRenderFrame(renderer));
}

Pixel storedPixel(RvTexture* texture, int x, int y) {
    int height = RvTextureGetStorageHeight(texture, 0);
    auto* pixels = static_cast<const uint8_t*>(RvTextureGetPixels(texture, 0));
    if (!pixels || x < 0 || y < 0 || x >= RvTextureGetStorageWidth(texture, 0) || y >= height)
        return {-1, -1, -1, -1};
    // The read-back flips a drawn texture so that storage row 0 is the top of the image.
    const uint8_t* p = pixels +
                       static_cast<size_t>(height - 1 - y) * RvTextureGetStorageBytesPerRow(texture, 0) +
                       static_cast<size_t>(x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

Pixel pixelAt(RvRenderer* renderer, RvTexture* texture, int x, int y) {
    RvRendererReadPixels(renderer, texture);
    return storedPixel(texture, x, y);
}

unsigned glErrorOf(RvRenderer* renderer) {
    RvOpenGLRendererLock(renderer);
    GLenum first = glGetError();
    while (glGetError() != GL_NO_ERROR) {
    }
    RvOpenGLRendererUnlock(renderer);
    return first;
}

Pixel rgba(int r, int g, int b, int a) {
    return {r, g, b, a};
}

std::string describe(const Pixel& p) {
    char text[64];
    snprintf(text, sizeof text, "(%d, %d, %d, %d)", p[0], p[1], p[2], p[3]);
    return text;
}
