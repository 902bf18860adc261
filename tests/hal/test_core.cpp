// The renderer layer's core without a GPU: encodings, enumerations, reports, the command buffer,
// matrices, the device, the resource lock protocol and render targets.
#include <cstring>
#include <thread>

#include "HalTestSupport.h"

namespace {

class CoreTest : public KuPoolTest {};

// >>encodings and enumerations

TEST_F(CoreTest, EncodedValuesConvertElementByElement) {
    struct Row {
        const char* name;
        uint32_t from;
        double values[4];  // as the source type holds them
        uint32_t to;
        double expected[4];
    } rows[] = {
        {"double to float", RvMakeEncoding(kRvScalarDouble, 2), {1.5, -2.25}, kRvEncodingVec2, {1.5, -2.25}},
        {"int16 to int32", RvMakeEncoding(kRvScalarInt16, 1), {-3}, kRvEncodingInt, {-3}},
        {"float truncates to int", kRvEncodingVec2, {2.9, -2.9}, RvMakeEncoding(kRvScalarInt32, 2), {2, -2}},
        {"uint8 to float", RvMakeEncoding(kRvScalarUInt8, 1), {200}, kRvEncodingFloat, {200}},
        {"short source zero-fills", kRvEncodingVec2, {1, 2}, kRvEncodingVec4, {1, 2, 0, 0}},
        {"long source is cut", kRvEncodingVec4, {1, 2, 3, 4}, kRvEncodingFloat, {1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        uint8_t source[64] = {}, out[64] = {};
        int type = RvEncodingScalarType(row.from), size = RvScalarTypeSize(type);
        for (int i = 0; i < RvEncodingCount(row.from); i++) {
            uint8_t* p = source + i * size;
            if (type == kRvScalarDouble) {
                double v = row.values[i];
                memcpy(p, &v, 8);
            } else if (type == kRvScalarFloat) {
                float v = static_cast<float>(row.values[i]);
                memcpy(p, &v, 4);
            } else if (type == kRvScalarInt16) {
                int16_t v = static_cast<int16_t>(row.values[i]);
                memcpy(p, &v, 2);
            } else if (type == kRvScalarUInt8) {
                p[0] = static_cast<uint8_t>(row.values[i]);
            }
        }
        ASSERT_TRUE(RvConvertEncodedValue(source, row.from, out, row.to, sizeof out));
        for (int i = 0; i < RvEncodingCount(row.to); i++) {
            if (RvEncodingScalarType(row.to) == kRvScalarFloat) {
                float v;
                memcpy(&v, out + i * 4, 4);
                EXPECT_FLOAT_EQ(v, static_cast<float>(row.expected[i])) << i;
            } else {
                int32_t v;
                memcpy(&v, out + i * 4, 4);
                EXPECT_EQ(v, static_cast<int32_t>(row.expected[i])) << i;
            }
        }
    }
    uint8_t small[4];
    float vec[4] = {1, 2, 3, 4};
    EXPECT_FALSE(RvConvertEncodedValue(vec, kRvEncodingVec4, small, kRvEncodingVec4, sizeof small));
    EXPECT_FALSE(RvConvertEncodedValue(vec, RvMakeEncoding(99, 1), small, kRvEncodingFloat, sizeof small));
}

TEST_F(CoreTest, EnumerationsMapNamesBothWays) {
    struct Row {
        const RvEnum* table;
        const char* name;
        bool found;
        int value;
    } rows[] = {
        {&RvBlendModeEnum, "", true, 0},
        {&RvBlendModeEnum, "PremultipliedAlpha", true, 0x10006},
        {&RvBlendModeEnum, "premultipliedalpha", false, -7},
        {&RvColorModeEnum, "", true, 1},
        {&RvColorModeEnum, "AlphaOnly", true, 3},
        {&RvPrimitiveTypeEnum, "TriangleStrip", true, 5},
        {&RvIndexTypeEnum, "Index32", true, 0x40013},
        {&RvProjectionEnum, "FOV", true, 2},
        {&RvPrimitiveSemanticEnum, "texcoord7", true, 16},
        {&RvPrimitiveSemanticEnum, "boneweight", true, 18},
        {&RvVertexTypeEnum, "Color4ub", true, 0x02010410},
        {&RvVertexTypeEnum, "Tangent3f", true, 0x07000418},
        {&RvPixelTypeEnum, "PREMUL_BGRA8", true, 0x20402006},
        {&RvPixelTypeEnum, "DXT5", true, 0x0842100F},
        {&RvPixelTypeEnum, "Nonsense", false, -7},
        {&RvPixelTypeEnum, nullptr, false, -7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.table->tableName) + " " + (row.name ? row.name : "(null)"));
        int value = -7;
        EXPECT_EQ(RvEnumFindValue(*row.table, row.name, &value), row.found);
        EXPECT_EQ(value, row.value);
        EXPECT_EQ(RvEnumGetValue(*row.table, row.name, -7), row.value);
    }
    EXPECT_STREQ(RvEnumGetName(RvColorModeEnum, 1), "Enabled");  // a named entry beats the default
    EXPECT_STREQ(RvEnumGetName(RvBlendModeEnum, 0), "");
    EXPECT_EQ(RvEnumGetName(RvBlendModeEnum, 9), nullptr);
    // The encodings of the vertex types agree with their declared element sizes.
    EXPECT_EQ(RvVertexTypeSize(RvEnumGetValue(RvVertexTypeEnum, "Color4ub", 0)), 4);
    EXPECT_EQ(RvVertexTypeSize(RvEnumGetValue(RvVertexTypeEnum, "Position3f", 0)), 12);
    EXPECT_EQ(RvPixelTypeBytesPerPixel(RvEnumGetValue(RvPixelTypeEnum, "RGB8", 0)), 3);
}

TEST_F(CoreTest, ReportsReachTheInstalledCallbacksAndAreCutSafely) {
    CapturedReports reports;
    RvWarning("RvTest: %s %d", "value", 42);
    std::string longText(5000, 'x');
    RvError("%s", longText.c_str());
    RvLog("never captured");
    std::vector<std::string> all = reports.all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], "RvTest: value 42");
    EXPECT_EQ(all[1], std::string(2047, 'x'));
}

TEST_F(CoreTest, NumbersRewriteInPlaceOnlyWithTheirEncoding) {
    float a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8};
    RvNumber* n = RvNewNumber(a, kRvEncodingVec4);
    const void* bytes = RvNumberGetBytes(n);
    EXPECT_TRUE(RvNumberSetBytes(n, b, kRvEncodingVec4));
    EXPECT_EQ(RvNumberGetBytes(n), bytes) << "rewritten where it was";
    EXPECT_EQ(memcmp(RvNumberGetBytes(n), b, sizeof b), 0);
    EXPECT_FALSE(RvNumberSetBytes(n, a, kRvEncodingVec3));
    EXPECT_EQ(memcmp(RvNumberGetBytes(n), b, sizeof b), 0);
    KuRelease(n);

    RvDictionary* d = RvNewDictionary();
    RvString* s = RvNewString("$AlphaID");
    RvDictionarySetValue(d, "symbol", s);
    EXPECT_EQ(s->refCount, 2);
    RvDictionarySetValue(d, "symbol", nullptr);
    EXPECT_EQ(s->refCount, 1);
    EXPECT_EQ(RvDictionaryGetCount(d), 0);
    KuRelease(s);
    KuRelease(d);
}

// >>command buffer

struct Note {
    int value;
};

std::vector<int>* executed = nullptr;
void noteExecute(RvRenderer*, const void* payload) {
    executed->push_back(static_cast<const Note*>(payload)->value);
}
void bigExecute(RvRenderer*, const void* payload) {
    auto* bytes = static_cast<const uint8_t*>(payload);
    executed->push_back(bytes[0] + bytes[19999]);
}

TEST_F(CoreTest, CommandBufferGrowsByDoublingAndRunsRecordsInOrder) {
    std::vector<int> log;
    executed = &log;
    RvCommandBuffer buffer;
    EXPECT_EQ(buffer.capacity(), 16384u);
    for (int i = 0; i < 1000; i++)
        buffer.append<Note>(noteExecute)->value = i;  // 24 bytes each
    EXPECT_EQ(buffer.length(), 24000u);
    EXPECT_EQ(buffer.capacity(), 32768u);
    auto* big = static_cast<uint8_t*>(buffer.append(bigExecute, 20000));
    big[0] = 3;
    big[19999] = 4;
    EXPECT_EQ(buffer.capacity(), 65536u);
    size_t at = 0;
    bool aligned = true;
    buffer.forEach([&](const RvCommandHeader& header, const void* payload) {
        aligned = aligned && reinterpret_cast<uintptr_t>(payload) % 8 == 0 && header.size % 8 == 0;
        at += static_cast<size_t>(header.size);
    });
    EXPECT_TRUE(aligned);
    EXPECT_EQ(at, buffer.length());
    buffer.execute(nullptr);
    ASSERT_EQ(log.size(), 1001u);
    for (int i = 0; i < 1000; i++)
        ASSERT_EQ(log[static_cast<size_t>(i)], i);
    EXPECT_EQ(log.back(), 7);
    EXPECT_EQ(buffer.length(), 0u);
    EXPECT_EQ(buffer.capacity(), 65536u) << "capacity is kept for the next frame";
    executed = nullptr;
}

TEST_F(CoreTest, CommandBufferKeepsItsObjectsUntilReset) {
    RvData* data = RvNewData("abc", 3);
    RvCommandBuffer buffer;
    buffer.retain(data);
    buffer.retain(nullptr);
    KuRelease(data);  // the engine lets go during the frame
    EXPECT_EQ(data->refCount, 1);
    buffer.execute(nullptr);
    EXPECT_EQ(buffer.retainedCount(), 1u);
    EXPECT_EQ(RvDataGetLength(data), 3u) << "still alive after execution";
    buffer.retain(data);
    EXPECT_EQ(data->refCount, 2);
    buffer.reset();  // the last reference goes: freed here (the sanitizer checks)
    EXPECT_EQ(buffer.retainedCount(), 0u);
}

// >>matrices

TEST_F(CoreTest, OrthographicMatrixScalesDepthByPlusTwo) {
    struct Row {
        float l, r, b, t, n, f;
    } rows[] = {{0, 640, 0, 360, -65535, 65535}, {-2, 6, 1, 5, 1, 9}, {10, 20, -10, 30, -1, 1}};
    for (const Row& o : rows) {
        RvMatrix4 m = RvMatrix4Ortho(o.l, o.r, o.b, o.t, o.n, o.f);
        float expected[16] = {2 / (o.r - o.l),
                              0,
                              0,
                              0,
                              0,
                              2 / (o.t - o.b),
                              0,
                              0,
                              0,
                              0,
                              2 / (o.f - o.n),
                              0,
                              -(o.r + o.l) / (o.r - o.l),
                              -(o.t + o.b) / (o.t - o.b),
                              -(o.f + o.n) / (o.f - o.n),
                              1};
        for (int i = 0; i < 16; i++)
            EXPECT_FLOAT_EQ(m.m[i], expected[i]) << "element " << i;
        // Corners land on the unit cube: (l, b, n) → (-1, -1, -1), (r, t, f) → (1, 1, 1).
        RvVector4 low = RvMatrix4Transform(m, {o.l, o.b, o.n, 1}),
                  high = RvMatrix4Transform(m, {o.r, o.t, o.f, 1});
        EXPECT_NEAR(low.x, -1, 1e-5);
        EXPECT_NEAR(low.z, -1, 1e-5);
        EXPECT_NEAR(high.y, 1, 1e-5);
        EXPECT_NEAR(high.z, 1, 1e-5);
    }
}

TEST_F(CoreTest, InverseUndoesTheMatrix) {
    RvMatrix4 m = RvMatrix4Ortho(-3, 5, 2, 7, -4, 9);
    m.m[4] = 0.5f;  // some shear
    RvMatrix4 inverse;
    ASSERT_TRUE(RvMatrix4Invert(m, &inverse));
    RvMatrix4 product = RvMatrix4Multiply(inverse, m), identity = RvMatrix4Identity();
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(product.m[i], identity.m[i], 1e-5) << i;
    RvMatrix4 singular{};
    EXPECT_FALSE(RvMatrix4Invert(singular, &inverse));
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(inverse.m[i], identity.m[i]);
}

// >>device and resources

TEST_F(CoreTest, DeviceCountersAndPointScale) {
    RvGraphicsDevice* d = RvNewGraphicsDevice(nullptr);
    for (float given : {0.0f, -1.0f, 1e-8f}) {
        RvGraphicsDeviceSetPointScale(d, given);
        EXPECT_EQ(RvGraphicsDeviceGetPointScale(d), 1.0f) << given;
    }
    RvGraphicsDeviceSetPointScale(d, 2);
    EXPECT_EQ(RvGraphicsDeviceGetPointScale(d), 2.0f);
    EXPECT_EQ(RvGraphicsDeviceGetResourceVersion(d), 1u);
    d->buildNumber = UINT32_MAX - 1;
    EXPECT_EQ(RvGraphicsDeviceIncrementBuildNumber(d), UINT32_MAX);
    EXPECT_EQ(RvGraphicsDeviceIncrementBuildNumber(d), 1u) << "0 is skipped";
    d->resourceVersion = UINT32_MAX;
    RvGraphicsDeviceInvalidateResources(d);
    EXPECT_EQ(RvGraphicsDeviceGetResourceVersion(d), 1u);
    // Without local-storage discarding the access bit is dropped at creation.
    RvGraphicsCapabilities caps;
    caps.supportsDiscardLocalStorage = false;
    RvGraphicsDevice* keeping = RvNewGraphicsDevice(&caps);
    RvTexture* t = RvNewTexture(keeping, kRvAccessDiscardLocalStorage | kRvAccessDynamic);
    EXPECT_EQ(t->accessMode, kRvAccessDynamic);
    KuRelease(t);
    KuRelease(keeping);
    KuRelease(d);
    EXPECT_EQ(RvNewTexture(nullptr, 0), nullptr);
    EXPECT_EQ(RvGraphicsMaxTextureSamplers(nullptr), 0);
}

TEST_F(CoreTest, ResourceStatusFollowsLocksAndVersions) {
    RvGraphicsDevice* d = RvNewGraphicsDevice(nullptr);
    RvGraphicsResource* r = RvNewShader(d);
    EXPECT_EQ(RvGraphicsResourceGetStatus(r), kRvStatusNew);
    RvGraphicsResourceReadLock(r);
    EXPECT_TRUE(RvGraphicsResourceIsLocked(r));
    RvGraphicsResourceUnlock(r);
    EXPECT_EQ(RvGraphicsResourceGetStatus(r), kRvStatusNew) << "reading changes nothing";
    EXPECT_FALSE(RvGraphicsResourceLockWhenStatus(r, kRvStatusNeedsBuild, kRvLockWrite));

    // A read lock nested in a write lock keeps the write: the unlock marks a rebuild.
    RvGraphicsResourceWriteLock(r);
    RvGraphicsResourceReadLock(r);
    RvGraphicsResourceUnlock(r);
    EXPECT_EQ(r->lockMode.load(), kRvLockWrite);
    RvGraphicsResourceUnlock(r);
    EXPECT_FALSE(RvGraphicsResourceIsLocked(r));
    EXPECT_EQ(r->lockMode.load(), kRvLockRead);
    EXPECT_EQ(RvGraphicsResourceGetStatus(r), kRvStatusNeedsBuild);

    // Another thread cannot take it while the back end rebuilds.
    ASSERT_TRUE(RvGraphicsResourceLockWhenStatus(r, kRvStatusNeedsBuild, kRvLockWrite));
    bool taken = true;
    std::thread([&] { taken = RvGraphicsResourceTryLock(r, kRvLockRead); }).join();
    EXPECT_FALSE(taken);
    RvGraphicsResourceUnlockWithStatus(r, kRvStatusBuilt);
    EXPECT_EQ(RvGraphicsResourceGetStatus(r), kRvStatusBuilt);
    EXPECT_EQ(RvGraphicsResourceGetBuildCount(r), 1u);
    EXPECT_FALSE(RvGraphicsResourceLockWhenStatus(r, kRvStatusNeedsBuild, kRvLockWrite));

    // First met: the version differs once; after a lost context, once more.
    EXPECT_TRUE(RvGraphicsResourceVersionChanged(r));
    EXPECT_FALSE(RvGraphicsResourceVersionChanged(r));
    RvGraphicsResourceLock(r, kRvLockRead);
    RvGraphicsResourceUnlockWithStatus(r, kRvStatusBuilt);
    RvGraphicsDeviceInvalidateResources(d);
    EXPECT_TRUE(RvGraphicsResourceVersionChanged(r));
    EXPECT_EQ(RvGraphicsResourceGetStatus(r), kRvStatusNeedsBuild);
    EXPECT_FALSE(RvGraphicsResourceVersionChanged(r));
    KuRelease(r);
    KuRelease(d);
}

// >>render targets

TEST_F(CoreTest, RenderTargetSizesCameraAndPitches) {
    RvGraphicsDevice* d = RvNewGraphicsDevice(nullptr);
    RvGraphicsDeviceSetPointScale(d, 3);
    RvRenderTarget* t = RvNewRenderTarget(d);
    RvRenderTargetSetLayout(t, 1280, 720, 2);
    RvVector2 points = RvRenderTargetGetSizeInPoints(t);
    EXPECT_EQ(points.x, 640);
    EXPECT_EQ(points.y, 360);
    RvViewBounds bounds = t->viewBounds();
    EXPECT_EQ(bounds.width, 640);
    EXPECT_EQ(bounds.height, 360);
    RvRenderTargetSetLayout(t, 90, 30, 0);
    EXPECT_EQ(RvRenderTargetGetPointScale(t), 3) << "scale 0 takes the device's";

    struct Row {
        int width, height;
        float scale;
        RvVector2 screen, pixel, point;
    } rows[] = {
        {200, 100, 1, {1, 0.5f}, {1 / 200.0f, 1 / 100.0f}, {1 / 200.0f, 1 / 100.0f}},
        {100, 400, 2, {0.75f, 1}, {1 / 100.0f, 1 / 400.0f}, {1 / 200.0f, 1 / 800.0f}},
        {64, 64, 1, {0, 1}, {1 / 64.0f, 1 / 64.0f}, {1 / 64.0f, 1 / 64.0f}},
        {0, 0, 1, {1, 1}, {1, 1}, {1, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        RvRenderTargetSetLayout(t, row.width, row.height, row.scale);
        RvVector2 screen = RvRenderTargetGetScreenPitch(t), pixel = RvRenderTargetGetPixelPitch(t),
                  point = RvRenderTargetGetPointPitch(t);
        EXPECT_FLOAT_EQ(screen.x, row.screen.x);
        EXPECT_FLOAT_EQ(screen.y, row.screen.y);
        EXPECT_FLOAT_EQ(pixel.x, row.pixel.x);
        EXPECT_FLOAT_EQ(pixel.y, row.pixel.y);
        EXPECT_FLOAT_EQ(point.x, row.point.x);
        EXPECT_FLOAT_EQ(point.y, row.point.y);
    }
    EXPECT_EQ(RvRenderTargetGetScreenPitch(nullptr).x, 1);
    EXPECT_EQ(RvRenderTargetGetSizeInPixels(nullptr).x, 0);
    EXPECT_EQ(RvRenderTargetGetPointScale(nullptr), 1);
    KuRelease(t);
    KuRelease(d);
}

TEST_F(CoreTest, AttachedTexturesFollowTheTargetLayout) {
    RvGraphicsCapabilities caps;
    caps.supportsNonPOTTextures = false;  // render-target textures are never padded regardless
    RvGraphicsDevice* d = RvNewGraphicsDevice(&caps);
    RvRenderTarget* t = RvNewRenderTarget(d);
    t->flipVertically = true;
    RvTexture* colour = RvNewTexture(d, 0);
    RvRenderTargetSetLayout(t, 100, 50, 1);
    RvRenderTargetSetColorFormat(t, kRvBufferFormatRGBA8, colour);
    EXPECT_EQ(RvTextureGetWidth(colour), 100) << "laid out when attached";
    EXPECT_EQ(RvTextureGetStorageWidth(colour, 0), 100);
    EXPECT_TRUE(RvTextureGetFlipVertically(colour));
    EXPECT_EQ(RvTextureGetSamplerState(colour), kRvTextureLinearMin | kRvTextureLinearMag);
    EXPECT_FALSE(t->isScreenTarget());

    int statusBefore = RvGraphicsResourceGetStatus(t);
    RvRenderTargetResize(t, 100, 50, 1);
    EXPECT_EQ(RvGraphicsResourceGetStatus(t), statusBefore) << "an unchanged size is no edit";
    RvRenderTargetResize(t, 30, 20, 1);
    EXPECT_EQ(RvGraphicsResourceGetStatus(t), kRvStatusNeedsBuild);
    EXPECT_EQ(RvTextureGetWidth(colour), 30);
    EXPECT_EQ(RvTextureGetHeight(colour), 20);
    EXPECT_EQ(RvGraphicsResourceGetStatus(colour), kRvStatusNeedsBuild);
    RvRenderTarget* other = RvNewRenderTarget(d);
    EXPECT_FALSE(RvRenderTargetWillResolveToRenderTarget(t, other));
    RvRenderTargetSetColorFormat(other, kRvBufferFormatRGBA8, colour);
    EXPECT_TRUE(RvRenderTargetWillResolveToRenderTarget(t, other));
    KuRelease(other);
    KuRelease(colour);
    KuRelease(t);
    KuRelease(d);
}

}  // namespace
