// Sections: >>shader >>variables >>program texts >>built-in programs >>line and circle helpers >>projection
#include <cmath>

#include "KuGraphics.h"
#include "RvMesh.h"
#include "RvShader.h"
#include "RvTexture.h"

// >>shader

KuGraphicsShader::KuGraphicsShader() : shader(RvNewShader(KuSharedRvDevice())) {}

KuGraphicsShader::~KuGraphicsShader() {
    KuRelease(shader);
}

void KuGraphicsShader::setShaderSource(const char* vertex, const char* fragment) {
    if (!shader) return;
    RvResourceLock lock(shader, kRvLockWrite);
    RvShaderSetVertexShaderSource(shader, vertex);
    RvShaderSetFragmentShaderSource(shader, fragment);
}

void KuGraphicsShader::setDefaultValues(int firstType, ...) {
    va_list args;
    va_start(args, firstType);
    setDefaultValues(firstType, args);
    va_end(args);
}

void KuGraphicsShader::setDefaultValues(int firstType, va_list args) {
    RvDictionary* values = RvNewDictionary();
    for (int type = firstType; type != 0; type = va_arg(args, int)) {
        const char* name = va_arg(args, const char*);
        KuObject* value = nullptr;
        switch (type) {
        case 1: {
            float f = static_cast<float>(va_arg(args, double));
            value = RvNewFloatNumber(&f, 1);
            break;
        }
        case 2: {
            const KuColor* c = va_arg(args, const KuColor*);
            float f[4] = {c ? c->red : 0, c ? c->green : 0, c ? c->blue : 0, c ? c->alpha : 0};
            value = RvNewNumber(f, kRvEncodingVec4);
            break;
        }
        case 3: {
            const KuPoint* p = va_arg(args, const KuPoint*);
            float f[2] = {p ? p->x : 0, p ? p->y : 0};
            value = RvNewNumber(f, kRvEncodingVec2);
            break;
        }
        case 4: {
            const KuMatrix* m = va_arg(args, const KuMatrix*);
            KuMatrix identity = KuMatrixIdentity();
            value = RvNewNumber(m ? m->m : identity.m, kRvEncodingMat4);
            break;
        }
        case 5:
            value = RvNewString(va_arg(args, const char*));
            break;
        case 6: {
            auto* texture = va_arg(args, KuGraphicsTexture*);
            value = texture ? texture->texture : nullptr;
            KuRetain(value);
            break;
        }
        default:
            // The size of an unknown value is unknown: nothing after it can be read.
            type = 0;
            break;
        }
        if (type == 0) break;
        if (name && value) RvDictionarySetValue(values, name, value);
        KuRelease(value);
    }
    if (shader) {
        RvResourceLock lock(shader, kRvLockWrite);
        RvShaderSetDefaultValues(shader, values);
    }
    KuRelease(values);
}

void KuGraphicsShader::setBlendMode(KuGraphicsBlendMode mode) {
    if (!shader) return;
    RvResourceLock lock(shader, kRvLockWrite);
    RvShaderSetBlendMode(shader, mode);
}

void KuGraphicsShader::setShader(const char* vertex, const char* fragment, KuGraphicsBlendMode mode,
                                 int firstType, ...) {
    setShaderSource(vertex, fragment);
    setBlendMode(mode);
    va_list args;
    va_start(args, firstType);
    setDefaultValues(firstType, args);
    va_end(args);
}

// >>variables

KuGraphicsVariable::KuGraphicsVariable(const void* initial, uint32_t encoding)
    : number(RvNewNumber(initial, encoding)) {}

KuGraphicsVariable::~KuGraphicsVariable() {
    KuRelease(number);
}

void KuGraphicsVariable::bind(const char* name, KuGraphicsDrawable* drawable) {
    if (!drawable || !name) return;
    RvShaderInstanceSetValue(drawable->shaderInstance(), name, number);
}

void KuGraphicsVariable::store(const void* bytes) {
    RvNumberSetBytes(number, bytes, RvNumberGetEncoding(number));
}

const float* KuGraphicsVariable::floats() const {
    return static_cast<const float*>(RvNumberGetBytes(number));
}

KuGraphicsColor::KuGraphicsColor() : KuGraphicsVariable(nullptr, kRvEncodingVec4) {}
KuColor KuGraphicsColor::get() const {
    const float* f = floats();
    return KuColor{f[0], f[1], f[2], f[3]};
}
void KuGraphicsColor::set(const KuColor& c) {
    float f[4] = {c.red, c.green, c.blue, c.alpha};
    store(f);
}

KuGraphicsPoint::KuGraphicsPoint() : KuGraphicsVariable(nullptr, kRvEncodingVec2) {}
KuPoint KuGraphicsPoint::get() const {
    const float* f = floats();
    return KuPoint{f[0], f[1]};
}
void KuGraphicsPoint::set(const KuPoint& p) {
    float f[2] = {p.x, p.y};
    store(f);
}

KuGraphicsMatrix::KuGraphicsMatrix() : KuGraphicsVariable(KuMatrixIdentity().m, kRvEncodingMat4) {}
KuMatrix KuGraphicsMatrix::get() const {
    KuMatrix m;
    const float* f = floats();
    for (int i = 0; i < 16; i++)
        m.m[i] = f[i];
    return m;
}
void KuGraphicsMatrix::set(const KuMatrix& m) {
    store(m.m);
}
void KuGraphicsMatrix::set(const _Quad2f& quad) {
    KuMatrix m{};
    const KuPoint& a = quad.corners[0];
    const KuPoint& b = quad.corners[3];
    m.m[0] = b.x - a.x;
    m.m[5] = b.y - a.y;
    m.m[12] = a.x;
    m.m[13] = a.y;
    m.m[15] = 1;
    store(m.m);
}

// >>program texts
// GLSL 1.50 bodies; the back end puts the version and platform lines in front.

namespace KuShaderSource {

const char* const SolidColorVertex = R"(
in vec4 position;
out vec4 varyingColor;
uniform mat4 modelViewProj;
uniform vec4 color;
void main() {
    gl_Position = modelViewProj * vec4( position.xyz, 1 );
    varyingColor = color;
}
)";

const char* const VaryingColorVertex = R"(
in vec4 position;
in vec4 vtxcolor;
out vec4 varyingColor;
uniform mat4 modelViewProj;
uniform vec4 color;
void main() {
    gl_Position = modelViewProj * vec4( position.xyz, 1 );
    varyingColor = color * vtxcolor;
}
)";

const char* const FillColorFragment = R"(
in lowp vec4 varyingColor;
out lowp vec4 fragColor;
void main() {
    fragColor = varyingColor;
}
)";

const char* const TextureWithSolidColorVertex = R"(
in vec4 position;
in vec2 texcoord;
out vec4 varyingColor;
out vec2 varyingTexcoord;
uniform mat4 modelViewProj;
uniform mat4 textureMatrix;
uniform vec4 color;
void main() {
    gl_Position = modelViewProj * vec4( position.xyz, 1 );
    varyingColor = color;
    varyingTexcoord = (textureMatrix * vec4( texcoord.xy, 0, 1 )).xy;
}
)";

const char* const TextureWithVaryingColorVertex = R"(
in vec4 position;
in vec2 texcoord;
in vec4 vtxcolor;
out vec4 varyingColor;
out vec2 varyingTexcoord;
uniform mat4 modelViewProj;
uniform mat4 textureMatrix;
uniform vec4 color;
void main() {
    gl_Position = modelViewProj * vec4( position.xyz, 1 );
    varyingColor = color * vtxcolor;
    varyingTexcoord = (textureMatrix * vec4( texcoord.xy, 0, 1 )).xy;
}
)";

const char* const FillTextureFragment = R"(
in lowp vec4 varyingColor;
in lowp vec2 varyingTexcoord;
out lowp vec4 fragColor;
uniform sampler2D colorMap;
void main() {
    fragColor = varyingColor * texture( colorMap, varyingTexcoord );
}
)";

const char* const MaskTextureFragment = R"(
in lowp vec4 varyingColor;
in lowp vec2 varyingTexcoord;
out lowp vec4 fragColor;
uniform sampler2D colorMap;
void main() {
    lowp vec4 textureColor = texture( colorMap, varyingTexcoord );
    fragColor = varyingColor * vec4( 1, 1, 1, textureColor.r );
}
)";

const char* const PostProcessLightingVertex = R"(
in vec4 position;
in vec2 texcoord;
out vec2 varyingTexcoord;
uniform mat4 modelViewProj;
void main() {
    gl_Position = modelViewProj * vec4( position.xyz, 1 );
    varyingTexcoord = texcoord.xy;
}
)";

const char* const PostProcessDistortionVertex = PostProcessLightingVertex;

const char* const PostProcessLightingFragment = R"(
in vec2 varyingTexcoord;
out lowp vec4 fragColor;
uniform sampler2D colorMap;
uniform sampler2D lightMap;
uniform lowp vec4 ambientFactor;
uniform lowp vec4 dynamicFactor;
uniform lowp vec4 shadowColor;
uniform lowp vec4 midtoneColor;
uniform lowp vec4 highlightColor;
uniform mediump float highlightIntensity;
uniform mediump float highlightPower;
lowp vec3 PostProcessLightingFragmentColorize( lowp vec3 baseColor, lowp vec3 tintColor, lowp float saturation ) {
    lowp float brightness = dot( baseColor, vec3( 0.3, 0.59, 0.11 ) );
    return mix( vec3( brightness ), baseColor, saturation ) * tintColor;
}
void main() {
    lowp vec4 unlit = texture( colorMap, varyingTexcoord );
    lowp vec4 lightColor = texture( lightMap, varyingTexcoord );
    lowp vec3 light = ambientFactor.xyz + lightColor.xyz * dynamicFactor.xyz;
    lowp float bloom = ambientFactor.w + dot( lightColor.xyz, vec3( 0.3, 0.59, 0.11 ) ) * dynamicFactor.w;
    lowp vec3 shadows = PostProcessLightingFragmentColorize( unlit.xyz, shadowColor.xyz, shadowColor.w );
    lowp vec3 midtones = PostProcessLightingFragmentColorize( unlit.xyz, midtoneColor.xyz, midtoneColor.w );
    lowp vec3 highlights = PostProcessLightingFragmentColorize( unlit.xyz, highlightColor.xyz, highlightColor.w );
    highlights = pow( highlights, vec3( highlightPower ) ) * highlightIntensity;
    lowp vec3 lightingResult = mix( shadows + highlights, midtones + highlights * bloom, light );
    fragColor = vec4( lightingResult, 1.0 );
}
)";

const char* const PostProcessDistortionFragment = R"(
in vec2 varyingTexcoord;
out lowp vec4 fragColor;
uniform sampler2D colorMap;
uniform sampler2D normalMap;
uniform highp vec2 screenPitch;
uniform highp float distortionAmount;
void main() {
    highp vec2 nrmmap = texture( normalMap, varyingTexcoord ).xy + ( 0.5 / 255.0 );
    highp vec2 normal = 2.0 * nrmmap - 1.0;
    highp vec2 offset = normal.xy * screenPitch * distortionAmount;
    fragColor = texture( colorMap, varyingTexcoord + offset );
}
)";

const char* const DebugLinesVertex = R"(
in vec4 position;
out vec4 varyingColor;
uniform mat4 modelViewProj;
uniform vec4 color;
uniform vec2 vertex_min;
uniform vec2 vertex_max;
void main() {
    vec2 pos = mix( vertex_min, vertex_max, position.xy );
    gl_Position = modelViewProj * vec4( pos, 0.0, 1.0 );
    varyingColor = color;
}
)";

}  // namespace KuShaderSource

// >>built-in programs

std::vector<KuShader*> KuShader::shaderList;

KuShader* textureShaderProgram = nullptr;
KuShader* solidShaderProgram = nullptr;
KuShader* colorShaderProgram = nullptr;
KuShader* blitShaderProgram = nullptr;
KuShader* particleShaderProgram = nullptr;
KuShader* postProcessLightingShaderProgram = nullptr;
KuShader* postProcessDistortionShaderProgram = nullptr;
KuShader* debugLinesShaderProgram = nullptr;
KuShader* flashBackSepiaShaderProgram = nullptr;
KuShader* egaShaderProgram = nullptr;
KuShader* vhsShaderProgram = nullptr;
KuShader* ghostRoomShaderProgram = nullptr;
KuShader* ghostRoomSimpleShaderProgram = nullptr;
KuShader* grassShaderProgram = nullptr;
KuShader* textureColShaderProgram = nullptr;
KuShader* textureMaskShaderProgram = nullptr;
KuShader* greyscaleShaderProgram = nullptr;
KuShader* tintedVerbShaderProgram = nullptr;

KuShader::KuShader(int t) : type(t) {
    using namespace KuShaderSource;
    const KuColor white{1, 1, 1, 1};
    const KuMatrix identity = KuMatrixIdentity();
    switch (type) {
    case 1:
    case 4:
        shader.setShader(TextureWithSolidColorVertex, FillTextureFragment,
                         type == 4 ? kKuBlendOpaque : kKuBlendAlpha, 4, "textureMatrix", &identity, 2,
                         "color", &white, 0);
        break;
    case 3:
        shader.setShader(VaryingColorVertex, FillColorFragment, kKuBlendAlpha, 2, "color", &white, 0);
        break;
    case 5:
    case 17:
        shader.setShader(TextureWithVaryingColorVertex, FillTextureFragment, kKuBlendAlpha, 4,
                         "textureMatrix", &identity, 2, "color", &white, 0);
        break;
    case 18:
        shader.setShader(TextureWithVaryingColorVertex, MaskTextureFragment, kKuBlendAlpha, 4,
                         "textureMatrix", &identity, 2, "color", &white, 0);
        break;
    case 6: {
        const KuColor highlight{0, 0, 0, 1};
        shader.setShader(PostProcessLightingVertex, PostProcessLightingFragment, kKuBlendOpaque, 4,
                         "modelViewProj", &identity, 2, "ambientFactor", &white, 2, "dynamicFactor", &white,
                         2, "shadowColor", &white, 2, "midtoneColor", &white, 2, "highlightColor", &highlight,
                         1, "highlightIntensity", 1.0, 1, "highlightPower", 2.0, 0);
        break;
    }
    case 7:
        shader.setShader(PostProcessDistortionVertex, PostProcessDistortionFragment, kKuBlendOpaque, 4,
                         "modelViewProj", &identity, 5, "screenPitch", "$ScreenPixelPitch", 1,
                         "distortionAmount", 10.0, 0);
        break;
    case 8:
        shader.setShader(DebugLinesVertex, FillColorFragment, kKuBlendAlpha, 2, "color", &white, 0);
        break;
    default:  // 2 and every effect without a program of its own
        shader.setShader(SolidColorVertex, FillColorFragment, kKuBlendAlpha, 2, "color", &white, 0);
        break;
    }
    shaderList.push_back(this);
}

KuShader::~KuShader() {
    for (size_t i = 0; i < shaderList.size(); i++)
        if (shaderList[i] == this) {
            shaderList.erase(shaderList.begin() + static_cast<long>(i));
            break;
        }
}

void KuShader::destroyShaders() {
    // The helpers' drawables hold programs of the list.
    KuDestroyDrawHelpers();
    std::vector<KuShader*> all;
    all.swap(shaderList);
    for (KuShader* s : all) {
        KuShader** globals[] = {&textureShaderProgram,
                                &solidShaderProgram,
                                &colorShaderProgram,
                                &blitShaderProgram,
                                &particleShaderProgram,
                                &postProcessLightingShaderProgram,
                                &postProcessDistortionShaderProgram,
                                &debugLinesShaderProgram,
                                &flashBackSepiaShaderProgram,
                                &egaShaderProgram,
                                &vhsShaderProgram,
                                &ghostRoomShaderProgram,
                                &ghostRoomSimpleShaderProgram,
                                &grassShaderProgram,
                                &textureColShaderProgram,
                                &textureMaskShaderProgram,
                                &greyscaleShaderProgram,
                                &tintedVerbShaderProgram};
        // A global left pointing at a deleted program would be used after free.
        for (KuShader** g : globals)
            if (*g == s) *g = nullptr;
        delete s;
    }
}

// >>line and circle helpers

namespace {
struct HelperDrawable {
    KuGraphicsDrawable* drawable = nullptr;
    KuGraphicsMatrix* modelViewProj = nullptr;
    KuGraphicsColor* color = nullptr;
    KuGraphicsPoint* vertexMin = nullptr;
    KuGraphicsPoint* vertexMax = nullptr;

    void destroy() {
        KuRelease(drawable);
        delete modelViewProj;
        delete color;
        delete vertexMin;
        delete vertexMax;
        *this = HelperDrawable{};
    }
};

HelperDrawable lineHelper, circleHelper, filledCircleHelper;

// Made on first use with the debug-lines program; false while there is no such program.
bool prepare(HelperDrawable& h, int flags, const std::vector<KuPoint>& vertices) {
    if (h.drawable) return true;
    if (!debugLinesShaderProgram) return false;
    h.drawable = new KuGraphicsDrawable;
    h.drawable->initWithShader(debugLinesShaderProgram->shader, flags);
    h.modelViewProj = new KuGraphicsMatrix;
    h.color = new KuGraphicsColor;
    h.vertexMin = new KuGraphicsPoint;
    h.vertexMax = new KuGraphicsPoint;
    h.modelViewProj->bind("modelViewProj", h.drawable);
    h.color->bind("color", h.drawable);
    h.vertexMin->bind("vertex_min", h.drawable);
    h.vertexMax->bind("vertex_max", h.drawable);
    KuGraphicsDrawable::MeshWriter w = h.drawable->beginVertices(static_cast<unsigned>(vertices.size()));
    for (unsigned i = 0; i < vertices.size(); i++)
        w.setVertex(i, vertices[i].x, vertices[i].y);
    h.drawable->end(w);
    return true;
}

void drawHelper(HelperDrawable& h, KuPoint min, KuPoint max, KuColor color) {
    h.modelViewProj->set(*KuProjectTopMatrix());
    h.color->set(color);
    h.vertexMin->set(min);
    h.vertexMax->set(max);
    h.drawable->update();
    h.drawable->draw();
}

KuPoint rimPoint(int degrees) {
    const double radians = degrees * M_PI / 180.0;
    return KuPoint{static_cast<float>(std::cos(radians) * 0.5 + 0.5),
                   static_cast<float>(std::sin(radians) * 0.5 + 0.5)};
}
}  // namespace

void KuDrawLine(KuPoint from, KuPoint to, KuColor color) {
    if (!prepare(lineHelper, kKuMeshLines, {{0, 0}, {1, 1}})) return;
    drawHelper(lineHelper, from, to, color);
}

void KuDrawCircle(KuPoint centre, float radius, KuColor color) {
    std::vector<KuPoint> rim;
    if (!circleHelper.drawable)
        for (int degrees = 0; degrees <= 360; degrees += 10)
            rim.push_back(rimPoint(degrees));
    if (!prepare(circleHelper, kKuMeshLineStrip, rim)) return;
    drawHelper(circleHelper, KuPoint{centre.x - radius, centre.y - radius},
               KuPoint{centre.x + radius, centre.y + radius}, color);
}

void KuDrawFilledCircle(KuPoint centre, float radius, KuColor color) {
    std::vector<KuPoint> fan;
    if (!filledCircleHelper.drawable)
        for (int degrees = 0; degrees < 360; degrees += 10) {
            fan.push_back(KuPoint{0.5f, 0.5f});
            fan.push_back(rimPoint(degrees));
            fan.push_back(rimPoint(degrees + 10));
        }
    if (!prepare(filledCircleHelper, 0, fan)) return;
    drawHelper(filledCircleHelper, KuPoint{centre.x - radius, centre.y - radius},
               KuPoint{centre.x + radius, centre.y + radius}, color);
}

void KuDestroyDrawHelpers() {
    lineHelper.destroy();
    circleHelper.destroy();
    filledCircleHelper.destroy();
}

// >>projection

const KuMatrix* KuProjectTopMatrix() {
    static KuMatrix result;
    int depth = matrixStackDepth;
    if (depth < 0) depth = 0;
    if (depth >= kKuMatrixStackSize) depth = kKuMatrixStackSize - 1;
    Matrix3DMultiply(projectionMatrix, matrixStack[depth], result);
    return &result;
}

namespace {
bool projectHomogeneous(const KuMatrix& m, float x, float y, float z, const KuViewportRect& viewport,
                        float out[3]) {
    const float* a = m.m;
    float tx = a[0] * x + a[4] * y + a[8] * z + a[12];
    float ty = a[1] * x + a[5] * y + a[9] * z + a[13];
    float tz = a[2] * x + a[6] * y + a[10] * z + a[14];
    float tw = a[3] * x + a[7] * y + a[11] * z + a[15];
    if (tw == 0) return false;
    out[0] = (tx / tw * 0.5f + 0.5f) * static_cast<float>(viewport.width) + static_cast<float>(viewport.x);
    out[1] = (ty / tw * 0.5f + 0.5f) * static_cast<float>(viewport.height) + static_cast<float>(viewport.y);
    out[2] = tz / tw * 0.5f + 0.5f;
    return true;
}
}  // namespace

bool KuProject(KuPoint point, const KuMatrix& matrix, const KuViewportRect& viewport, KuPoint* out) {
    float r[3];
    if (!projectHomogeneous(matrix, point.x, point.y, 0, viewport, r)) return false;
    if (out) *out = KuPoint{r[0], r[1]};
    return true;
}

bool KuProject(const float vector[3], const KuMatrix& matrix, const KuViewportRect& viewport, float out[3]) {
    if (!vector) return false;
    float r[3];
    if (!projectHomogeneous(matrix, vector[0], vector[1], vector[2], viewport, r)) return false;
    if (out) {
        out[0] = r[0];
        out[1] = r[1];
        out[2] = r[2];
    }
    return true;
}

bool KuProject(KuPoint point, KuPoint* out) {
    KuGraphics* graphics = KuGraphics::SharedObject();
    KuViewportRect viewport = graphics->renderer ? graphics->renderer->viewport() : KuViewportRect{};
    return KuProject(point, *KuProjectTopMatrix(), viewport, out);
}
