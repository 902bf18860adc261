// The engine's graphics facade over the renderer layer: the shared graphics object, its device and
// renderer (frames, passes, viewport, scissor, the window surface and its pacing), drawables with
// their mesh writer, textures, shaders and shared shader variables, the built-in shader programs,
// the line and circle helpers and the projection helpers. Main thread only, except where a
// contract says the presentation side runs elsewhere.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "KuData.h"
#include "KuDictionary.h"
#include "KuObject.h"
#include "KuString.h"
#include "KuTypes.h"

struct SDL_Window;
struct SDL_Thread;
class RvGraphicsDevice;
class RvRenderer;
class RvRenderTarget;
class RvMeshInstance;
class RvShaderInstance;
class RvShader;
class RvTexture;
class RvNumber;
class RvVertexBuffer;
class RvIndexBuffer;
class RvData;
class KuGraphicsTexture;

// >>shared value types

// 4 × 4 float matrix, column-major (element index = column × 4 + row; 12 and 13 hold the translation).
struct KuMatrix {
    float m[16];
};

KuMatrix KuMatrixIdentity();
void Matrix3DMultiply(const KuMatrix& a, const KuMatrix& b, KuMatrix& out);  // out = a × b (out may alias)

// The scene graph's transform state: the model-view matrix stack (entry 0 the base, depth the index
// of the top entry) and the projection whoever draws a frame sets before rendering. They live here
// so that the facade's projection helpers can read them without reaching up into the scene layer.
constexpr int kKuMatrixStackSize = 25;
extern KuMatrix matrixStack[kKuMatrixStackSize];
extern int matrixStackDepth;
extern KuMatrix projectionMatrix;

// Viewport or scissor rectangle in target pixels, origin at the bottom left.
struct KuViewportRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Four corners of a quad in mesh order: (x0, y0), (x1, y0), (x0, y1), (x1, y1) for an axis-aligned box.
struct _Quad2f {
    KuPoint corners[4];
};

// One vertex of a particle quad: 20 bytes, read in place by the drawable.
struct KuQuadVertex {
    float x, y;
    uint8_t r, g, b, a;
    float u, v;
};
struct KuQuadSprite {
    KuQuadVertex vertices[4];
};
static_assert(sizeof(KuQuadVertex) == 20, "particle vertices are 20 bytes");
static_assert(sizeof(KuQuadSprite) == 80, "particle quads are 80 bytes");

// A laid-out text: per glyph four corners, four texture coordinates, six indices, a pen position and
// four colours. The arrays belong to the struct's holder (the text layer).
struct VTIStruct {
    int32_t count = 0;  // glyphs (quads)
    KuPoint* vertices = nullptr;
    KuPoint* texcoords = nullptr;
    uint16_t* indices = nullptr;
    KuPoint* positions = nullptr;
    KuColor* colors = nullptr;
};

// Defaults of new images. The image layer gives the fields their meaning; the record lives here
// because new textures take their filters from its first two fields.
struct KuImageProps {
    bool linearMinFilter = true;  // first byte: linear minification of new textures
    bool linearMagFilter = true;  // second byte: linear magnification
    bool centerX = true;
    bool centerY = true;
    bool pixelSnap = false;
    KuColor color{1, 1, 1, 1};
};
extern KuImageProps defaultImageProps;

// Blend modes are the renderer layer's values.
enum KuGraphicsBlendMode : int {
    kKuBlendOpaque = 1,
    kKuBlendAlpha = 2,
    kKuBlendAdd = 3,
    kKuBlendMultiply = 4,
    kKuBlendSubtract = 5,
    kKuBlendPremultipliedAlpha = 0x10006,
    kKuBlendPremultipliedAdd = 0x10007,
    kKuBlendPremultipliedSubtract = 0x10008,
};

// What the facade asks of the application above it; the application installs itself
// (KuGraphics::SetAppHooks). With no hooks installed both do nothing.
class KuGraphicsAppHooks {
public:
    virtual ~KuGraphicsAppHooks() = default;
    virtual void resetFrameDelta() {}      // a long load must not count as one frame's time step
    virtual void appRenderingFailure() {}  // the display asked 100 times in a row without a draw
};

// >>device

class KuGraphicsDevice {
public:
    KuGraphicsDevice() = default;
    virtual ~KuGraphicsDevice();  // releases the layer's device
    KuGraphicsDevice(const KuGraphicsDevice&) = delete;
    KuGraphicsDevice& operator=(const KuGraphicsDevice&) = delete;

    // Picks the device: "metal" / "opengl" (any case) first when given, else Metal then OpenGL.
    // With no device at all: the fatal error "Your graphics card does not support the %s features
    // the game requires." and false.
    bool Init(const char* api, int videoDevice);

    RvGraphicsDevice* device = nullptr;     // retained; null until initialised
    const char* apiName = "Uninitialized";  // static text: "Uninitialized", "Metal" or "OpenGL"
};

// >>window surface

// How the window's target reaches the screen on this platform: the SDL window's own OpenGL context
// (default framebuffer) presented by a buffer swap. It keeps the pacing contract with the main loop:
// at most one recorded frame waits for presentation; while one waits the main loop's frame step is
// skipped. Asynchronous surfaces present on a presentation thread on the display's schedule;
// synchronous ones (preference "useSynchronousOpenGL") present on the main thread after each step.
class KuGraphicsSurface {
public:
    KuGraphicsSurface(RvRenderer* renderer, SDL_Window* window, bool synchronous);  // retains the renderer
    ~KuGraphicsSurface();  // stops the presentation thread, releases the renderer
    KuGraphicsSurface(const KuGraphicsSurface&) = delete;
    KuGraphicsSurface& operator=(const KuGraphicsSurface&) = delete;

    // Main thread: true (waitingToRender now set) when a game frame may be recorded, false while a
    // recorded frame has not been shown yet.
    bool beginGameFrame();
    // Main thread, after the step: needsClearContext off; a synchronous surface draws now, an
    // asynchronous one is woken.
    void endGameFrame();
    // Shows what is ready: a synchronous surface draws now, an asynchronous one wakes its display.
    void requestDraw();
    // The display's question before each draw: always true; counts requests without a draw. When
    // the count was exactly 100 a rendering failure is pending.
    bool canDraw();
    // Main thread: counts the display periods a waiting frame has gone without a draw (a stalled
    // presentation asks nothing itself) and returns, once, whether a rendering failure is pending.
    bool checkPresentation();
    // The presentation step: reset the count, execute the waiting frame, clear to transparent black
    // when nothing was ready after a resize, present, clear waitingToRender.
    void draw();
    // A new drawable size: the next draw clears when no frame is ready.
    void boundsChanged() { needsClearContext = true; }
    // Stops (true) or resumes the display's draws of an asynchronous surface, e.g. while the window
    // is not shown; a stopped surface keeps its waiting frame.
    void setPresentationPaused(bool paused);
    // Main thread: waits up to `ms` for the waiting frame to be shown; true when none waits.
    bool waitForPresentation(int ms);
    void presentationLoop();  // body of the presentation thread

    bool isSynchronous() const { return synchronous; }
    bool isWaitingToRender() const { return waitingToRender.load(); }
    int droppedFrameCount() const { return droppedFrames.load(); }
    int presentCount() const { return presents.load(); }  // buffer swaps made

    std::atomic<bool> waitingToRender{false};
    std::atomic<bool> needsClearContext{false};
    std::atomic<int> droppedFrames{0};

private:
    RvRenderer* renderer;
    SDL_Window* window;
    bool synchronous;
    std::atomic<int> presents{0};
    std::atomic<bool> failureReported{false};
    std::atomic<int64_t> lastDrawNs{0};
    std::mutex mutex;  // guards the wake-up state below
    std::condition_variable wake;
    std::condition_variable shown;
    bool redrawRequested = false;
    bool paused = false;
    bool stopping = false;
    SDL_Thread* thread = nullptr;  // the presentation thread of an asynchronous surface
};

// >>renderer

class KuGraphicsRenderer {
public:
    KuGraphicsRenderer() = default;
    virtual ~KuGraphicsRenderer();  // detaches from the window
    KuGraphicsRenderer(const KuGraphicsRenderer&) = delete;
    KuGraphicsRenderer& operator=(const KuGraphicsRenderer&) = delete;

    // attachToWindow; a missing renderer or window target ends in a fatal error and false.
    bool Init(SDL_Window* window, int flags);
    void attachToWindow(SDL_Window* window);
    void detachFromWindow();

    bool beginFrame();  // the layer's beginFrame on the window's target
    void endFrame();    // the layer's endFrame; fills the statistics record

    // Passes. A null texture means the window's target. Only what is given is cleared (depth 1.0
    // and stencil 0 stand in for missing values). The viewport and scissor rectangle become the
    // whole target, scissor off, depth test off, depth clamp, stencil off, no culling.
    bool beginPass(const KuColor& color);  // clears colour, depth (1.0) and stencil (0)
    bool beginPass(const KuColor* color, const float* depth, const int* stencil);
    bool beginPass(KuGraphicsTexture* texture, const KuColor* color, const float* depth, const int* stencil);
    void endPass();  // releases the pass texture, then the layer's endPass

    void setViewport(KuViewportRect rect);
    void setScissor(bool enable, KuViewportRect rect);
    void setScissor(bool enable);  // with the stored rectangle
    KuViewportRect viewport() const { return currentViewport; }
    KuViewportRect scissorRect() const { return currentScissor; }
    KuPoint getRenderTargetSize();  // pixels: the pass texture's target, else the window's

    // A frame that only clears the window's target; outside a game frame it is presented at once.
    void videoBlank(const KuColor& color);

    // Runs `step` (which records and ends one frame) unless a recorded frame still waits to be
    // shown; true when it ran. Follows the window's drawable size first.
    bool runSyncedToDisplay(const std::function<void()>& step);

    void windowDidResize() {}  // the target follows the drawable by itself
    bool windowWasRestored();  // the window is shown and not minimised
    bool isFullScreen();
    void setFullScreen(bool on);

    // Replaces the surface by a synchronous (presents on the main thread after each step) or an
    // asynchronous one; a waiting frame is shown first.
    void setSynchronousPresentation(bool synchronous);

    // Follows the window's drawable: forced size at scale 1 when both sides are above 0, else the
    // drawable size in pixels at scale drawable ÷ window width. True when the target changed.
    bool updateTargetSize();

    SDL_Window* window = nullptr;
    RvRenderer* renderer = nullptr;          // retained
    RvRenderTarget* windowTarget = nullptr;  // retained
    KuGraphicsSurface* surface = nullptr;    // owned: shows the window's target
    bool forceSynchronous = false;           // kKuGraphicsSynchronousSurface given to Init
    int frameRateHint = 60;
    float forcedWidth = 0, forcedHeight = 0;   // 0: follow the window
    KuGraphicsTexture* passTexture = nullptr;  // retained while a pass into it runs
    KuViewportRect currentViewport;
    KuViewportRect currentScissor;
};

// >>facade

// Flags of KuGraphics::Initialize and KuGraphicsRenderer::Init.
enum : int {
    kKuGraphicsSynchronousSurface = 1,  // present on the main thread even without the preference
};

struct KuGraphicsStatistics {
    uint32_t framesRecorded = 0;
    uint32_t framesExecuted = 0;
    uint32_t framesDropped = 0;
};

class KuGraphics {
public:
    // Routes the layer's reports into the engine's logging, makes the shared object, picks the
    // device (`api` may be null) and attaches the renderer to `window`. True; failures end in
    // fatal errors (which return false when they do not end the process).
    static bool Initialize(const char* api, int videoDevice, SDL_Window* window, int flags);
    static void Terminate();            // deletes the renderer, then the device, then the object
    static KuGraphics* SharedObject();  // created on first use
    static int CurrentAPI();            // 1 Metal, 2 OpenGL, 0 none
    static void SetAppHooks(KuGraphicsAppHooks* hooks);  // not owned; null removes
    static KuGraphicsAppHooks* AppHooks();
    // Sets the SDL OpenGL attributes (3.2 core, double buffer, RGBA8, depth 24, stencil 8) the
    // window must be created with (SDL_WINDOW_OPENGL) to carry the window's target.
    static void PrepareWindowAttributes();

    // Debug filter overrides from the preferences: 0 none, 1 force nearest, other force linear.
    static int _DebugTextureMinFilter;
    static int _DebugTextureMagFilter;

    KuGraphicsDevice* device = nullptr;      // owned
    KuGraphicsRenderer* renderer = nullptr;  // owned
    KuGraphicsStatistics statistics;         // filled at the end of every frame
};

// Shorthands for the shared layer objects; null before initialisation.
RvGraphicsDevice* KuSharedRvDevice();
RvRenderer* KuSharedRvRenderer();

// >>textures

class KuGraphicsTexture : public KuObject {
public:
    enum PixelFormat : int { kPixelFormatOther = 0, kPixelFormatAlpha8 = 1, kPixelFormatRGBA8 = 2 };

    explicit KuGraphicsTexture(int32_t typeWord = kKuTypeObject);  // owned, empty
    ~KuGraphicsTexture() override;
    const char* typeStr() const override { return "KuGraphicsTexture"; }

    void allocTexture(int accessMode);  // a new layer texture on the shared device (the old freed)
    void allocRenderTarget();           // a new render target (the old released)
    void freeTexture();
    void freeRenderTarget();
    virtual void unloadTexture();  // frees the texture unless `keepLoaded` is set
    virtual void reloadTexture();  // unload, then initWithName with the kept name

    // Loads a ".png" or ".jpg" resource through the pack-file manager. False when missing or undecodable.
    bool initWithName(KuString* name);
    // Decodes PNG or JPEG bytes; the suffix of `name` picks the codec (case-sensitive). False for
    // null data, another suffix ("Unsupported image format: '%s'.") or a decoding failure.
    bool createImageWithData(KuData* data, KuString* name, float scale, bool keepPixels);
    // With renderTarget: a texture to draw into (target of the size at scale 1), no pixels uploaded.
    // Without: an RGBA8 texture of the size with all pixels zero; true when laid out and filled.
    bool initWithSize(KuPoint size, bool renderTarget, bool keepPixels);
    bool createWithColor(const KuColor& color);  // 4 × 4 of one colour on the current texture
    bool createWithRGBA8(const void* pixels, unsigned width, unsigned height, bool keepPixels);
    bool createWithAlpha8(const void* pixels, unsigned width, unsigned height, bool keepPixels);

    int width();
    int height();
    int storageWidth();
    int storageHeight();
    int storageSize();  // bytes per row × storage height
    bool premultAlpha();
    float scale();
    void scale(float s);
    bool linearMinFilter();
    void linearMinFilter(bool on);  // the debug override wins over the argument
    bool linearMagFilter();
    void linearMagFilter(bool on);
    void setFilter(bool min, bool mag);
    bool isFlippedVertically();
    static bool DefaultMinFilter();
    static bool DefaultMagFilter();
    static bool UseMinLinearFilter(bool b);
    static bool UseMagLinearFilter(bool b);

    void resizeRenderTarget(KuPoint size);
    KuPoint getRenderTargetSize();  // pixels, (0, 0) without a render target

    // Locks the texture (write when asked) and returns its level-0 pixels (storage made on demand);
    // null (still locked) without a layout. Every call is paired with unlockPixels(); a write lock
    // marks the pixels for upload at the next draw.
    void* lockPixels(PixelFormat* format, unsigned* width, unsigned* height, bool write);
    void unlockPixels();
    void readPixelsFromGPU();  // records (or, between frames, performs) the read-back
    // Autoreleased copies of RGBA8 storage that has pixels, or null. The size is the storage size.
    KuData* getPixelDataAsRGBA(KuPoint* size);
    KuData* getPixelDataAsPNG(bool withAlpha);
    KuData* getPixelDataAsJPEG();

    KuString* filename = nullptr;            // retained
    bool keepLoaded = false;                 // set by subclasses: unloadTexture leaves the texture alone
    RvTexture* texture = nullptr;            // retained
    RvRenderTarget* renderTarget = nullptr;  // retained; textures that can be drawn into

private:
    uint32_t filterOptions() const;
    void registerForDebugging();
};

// Debug registry: with _debugTextures above 0 every loaded texture is listed in _debugTextureDict
// ("0x%p" of the layer texture → "%s (%dx%d)"); above 2 creations and deletions are also logged.
extern int _debugTextures;
extern KuDictionary* _debugTextureDict;  // created on first registration

// >>shaders

class KuGraphicsShader {
public:
    KuGraphicsShader();  // a layer shader on the shared device
    virtual ~KuGraphicsShader();
    KuGraphicsShader(const KuGraphicsShader&) = delete;
    KuGraphicsShader& operator=(const KuGraphicsShader&) = delete;

    void setShaderSource(const char* vertex, const char* fragment);
    // (type, name, value) triples ended by type 0: 1 float (a double), 2 const KuColor*, 3 const
    // KuPoint*, 4 const KuMatrix*, 5 symbolic constant (const char*), 6 KuGraphicsTexture*.
    void setDefaultValues(int firstType, ...);
    void setDefaultValues(int firstType, va_list args);
    void setBlendMode(KuGraphicsBlendMode mode);
    void setShader(const char* vertex, const char* fragment, KuGraphicsBlendMode mode, int firstType, ...);

    RvShader* shader = nullptr;  // retained
};

// The built-in programs by type (see KuShader's table); each made one is listed in shaderList.
class KuShader {
public:
    explicit KuShader(int type);
    ~KuShader();
    KuShader(const KuShader&) = delete;
    KuShader& operator=(const KuShader&) = delete;

    static void destroyShaders();  // deletes every listed program and empties the list
    static std::vector<KuShader*> shaderList;

    int type;
    KuGraphicsShader shader;
};

// The programs the application makes at start-up (null until then).
extern KuShader* textureShaderProgram;                // 1
extern KuShader* solidShaderProgram;                  // 2
extern KuShader* colorShaderProgram;                  // 3
extern KuShader* blitShaderProgram;                   // 4
extern KuShader* particleShaderProgram;               // 5
extern KuShader* postProcessLightingShaderProgram;    // 6
extern KuShader* postProcessDistortionShaderProgram;  // 7
extern KuShader* debugLinesShaderProgram;             // 8
extern KuShader* flashBackSepiaShaderProgram;         // 11
extern KuShader* egaShaderProgram;                    // 12
extern KuShader* vhsShaderProgram;                    // 13
extern KuShader* ghostRoomShaderProgram;              // 14
extern KuShader* ghostRoomSimpleShaderProgram;        // 15
extern KuShader* grassShaderProgram;                  // 16
extern KuShader* textureColShaderProgram;             // 17
extern KuShader* textureMaskShaderProgram;            // 18
extern KuShader* greyscaleShaderProgram;              // 19
extern KuShader* tintedVerbShaderProgram;             // 20

// The GLSL bodies of the built-in programs (the back end adds the version line).
namespace KuShaderSource {
extern const char* const SolidColorVertex;
extern const char* const VaryingColorVertex;
extern const char* const FillColorFragment;
extern const char* const TextureWithSolidColorVertex;
extern const char* const TextureWithVaryingColorVertex;
extern const char* const FillTextureFragment;
extern const char* const MaskTextureFragment;
extern const char* const PostProcessLightingVertex;
extern const char* const PostProcessDistortionVertex;
extern const char* const PostProcessLightingFragment;
extern const char* const PostProcessDistortionFragment;
extern const char* const DebugLinesVertex;
}  // namespace KuShaderSource

// >>drawables

// Mesh flags of initWithShader / createMesh.
enum : int {
    kKuMeshIndexed = 1,
    kKuMeshTriangleStrip = 2,
    kKuMeshLines = 4,
    kKuMeshLineStrip = 8,
};

class KuGraphicsDrawable : public KuObject {
public:
    // What a begin call opened: pointers into the locked buffers' storage; those not requested are
    // null. Setters ignore indexes outside the counts.
    struct MeshWriter {
        unsigned vertexCount = 0;
        unsigned indexCount = 0;
        float* positions = nullptr;  // 2 floats per vertex
        float* texcoords = nullptr;  // 2 floats per vertex
        float* colors = nullptr;     // 4 floats per vertex
        uint16_t* indices = nullptr;

        void setVertex(unsigned i, float x, float y);
        void setTexcoord(unsigned i, float u, float v);
        void setColor(unsigned i, float r, float g, float b, float a);
        void setColor(unsigned i, const KuColor& c);
        void setIndex(unsigned i, unsigned value);
        void setIndices(const unsigned short* values, unsigned count);  // at most indexCount
    };

    KuGraphicsDrawable();  // owned, empty until initWithShader
    ~KuGraphicsDrawable() override;
    const char* typeStr() const override { return "KuGraphicsDrawable"; }

    void initWithShader(KuGraphicsShader& shader, int flags);
    void createMesh(KuGraphicsShader& shader, int flags);

    void setShaderFloat(const char* name, float value);
    void setShaderColor(const char* name, const KuColor& color);
    void setShaderVector2(const char* name, const KuPoint& vector);
    void setShaderMatrix(const char* name, const KuMatrix& matrix);
    void setShaderSymbolic(const char* name, const char* symbol);
    void setTextureSampler(const char* name, KuGraphicsTexture* texture);  // null keeps the previous one

    void update();  // per-frame preparation with the shared renderer
    void draw();    // records the draw into the shared renderer's frame

    // Each begin write-locks the buffers it fills; end unlocks them. Begin while a writer is open
    // ends the open one first.
    MeshWriter beginQuads(unsigned quads);
    MeshWriter beginIndexedQuads(unsigned quads, unsigned indices);
    MeshWriter beginVertices(unsigned vertices);
    void end(MeshWriter& writer);

    void writeUnitSquare(bool flip);
    void writeQuads(const _Quad2f* positions, const _Quad2f* texcoords, unsigned quads,
                    const unsigned short* indices, unsigned indexCount);
    void writeVTIStruct(VTIStruct* vti, int quadsToIndex);
    void writeParticles(const KuQuadSprite* sprites, unsigned count);  // referenced in place, not copied
    void updateParticles(unsigned first, unsigned count);

    RvShaderInstance* shaderInstance() const;  // null before initWithShader

    RvMeshInstance* instance = nullptr;  // retained; made by createMesh

private:
    RvVertexBuffer* vertexBuffer() const;
    RvIndexBuffer* indexBuffer() const;
    void setStreams(int streamCount, unsigned vertexCount);
    bool writerOpen = false;
    bool writerHasIndices = false;
    // The instance's shader values (held by the instance): every frame's value sets reach them
    // without first loading the instance.
    RvShaderInstance* values = nullptr;
};

// >>variables

// A boxed number shared by every drawable it is bound to: set() changes what each of them draws
// with at its next draw.
class KuGraphicsVariable {
public:
    virtual ~KuGraphicsVariable();
    KuGraphicsVariable(const KuGraphicsVariable&) = delete;
    KuGraphicsVariable& operator=(const KuGraphicsVariable&) = delete;

    void bind(const char* name, KuGraphicsDrawable* drawable);  // null drawable ignored

    RvNumber* number = nullptr;  // retained

protected:
    KuGraphicsVariable(const void* initial, uint32_t encoding);
    void store(const void* bytes);
    const float* floats() const;
};

class KuGraphicsColor : public KuGraphicsVariable {
public:
    KuGraphicsColor();  // (0, 0, 0, 0)
    KuColor get() const;
    void set(const KuColor& color);
};

class KuGraphicsPoint : public KuGraphicsVariable {
public:
    KuGraphicsPoint();  // (0, 0)
    KuPoint get() const;
    void set(const KuPoint& point);
};

class KuGraphicsMatrix : public KuGraphicsVariable {
public:
    KuGraphicsMatrix();  // identity
    KuMatrix get() const;
    void set(const KuMatrix& matrix);
    // Maps the unit square onto the box from the quad's first corner to its fourth.
    void set(const _Quad2f& quad);
};

// >>helpers

// Lines and circles under KuProjectTopMatrix(), each through one drawable made on first use.
void KuDrawLine(KuPoint from, KuPoint to, KuColor color);
void KuDrawCircle(KuPoint centre, float radius, KuColor color);
void KuDrawFilledCircle(KuPoint centre, float radius, KuColor color);
// Releases the helpers' drawables (before the shaders are destroyed).
void KuDestroyDrawHelpers();

// projectionMatrix × the top of the matrix stack, in a static matrix overwritten by the next call.
const KuMatrix* KuProjectTopMatrix();
// Window coordinates of a point (z 0) or vector through `matrix` and `viewport`; false when the
// homogeneous w is 0.
bool KuProject(KuPoint point, const KuMatrix& matrix, const KuViewportRect& viewport, KuPoint* out);
bool KuProject(const float vector[3], const KuMatrix& matrix, const KuViewportRect& viewport, float out[3]);
// Through KuProjectTopMatrix() and the renderer's current viewport.
bool KuProject(KuPoint point, KuPoint* out);
