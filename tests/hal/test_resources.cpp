// Vertex and index buffers, meshes, mesh instances, shaders and shader instances, without a GPU.
#include <cstring>

#include "HalTestSupport.h"

namespace {

class ResourceTest : public KuPoolTest {
protected:
    void SetUp() override {
        KuPoolTest::SetUp();
        device = RvNewGraphicsDevice(nullptr);
    }
    void TearDown() override {
        KuRelease(device);
        KuPoolTest::TearDown();
    }
    RvGraphicsDevice* device = nullptr;
};

// >>buffers

TEST_F(ResourceTest, StreamChangesMarkTheStreamsTheyAffect) {
    RvVertexBuffer* vb = RvNewVertexBuffer(device, 0);
    RvVertexBufferSetStreams(vb, 3, 4);
    EXPECT_EQ(vb->layoutChanged, 0x7FFFFFFFu);
    RvData* positions = RvNewMutableData(4 * 8);
    RvData* colours = RvNewMutableData(4 * 16);
    RvVertexBufferSetStreamData(vb, 0, "position", kRvVertexPosition2f, positions);
    RvVertexBufferSetStreamData(vb, 1, "color", kRvVertexColor4f, colours);
    RvVertexBufferSetStreamData(vb, 2, "texcoord", kRvVertexTexCoord2f, nullptr);
    vb->layoutChanged = vb->dataChanged = 0;

    struct Row {
        const char* name;
        std::function<void()> change;
        uint32_t layout, data;
    } rows[] = {
        {"new data only", [&] { RvVertexBufferSetStreamData(vb, 1, "color", kRvVertexColor4f, colours); }, 0,
         0x2},
        {"other type", [&] { RvVertexBufferSetStreamData(vb, 1, "color", kRvVertexColor4ub, nullptr); },
         0x7FFFFFFEu, 0x7FFFFFFEu},
        {"other name", [&] { RvVertexBufferSetStreamData(vb, 2, "uv", kRvVertexTexCoord2f, nullptr); },
         0x7FFFFFFCu, 0x7FFFFFFCu},
        {"needs update", [&] { RvVertexBufferSetNeedsUpdate(vb, 0); }, 0, 0x1},
        {"index out of range", [&] { RvVertexBufferSetStreamData(vb, 3, "x", kRvVertexPosition2f, nullptr); },
         0, 0},
        {"same counts", [&] { RvVertexBufferSetStreams(vb, 3, 4); }, 0, 0},
    };
    for (const Row& row : rows) {
        vb->layoutChanged = vb->dataChanged = 0;
        row.change();
        EXPECT_EQ(vb->layoutChanged, row.layout) << row.name;
        EXPECT_EQ(vb->dataChanged, row.data) << row.name;
    }
    EXPECT_EQ(RvVertexBufferGetStreamAtIndex(vb, 1)->data, nullptr)
        << "elements of another size dropped the data";
    EXPECT_EQ(RvVertexBufferGetStream(vb, "position")->data, positions);
    EXPECT_EQ(RvVertexBufferGetStream(vb, "texcoord"), nullptr);
    EXPECT_EQ(RvVertexBufferGetStreamCount(vb), 3);
    RvVertexBufferSetStreams(vb, 2, 4);
    EXPECT_EQ(RvVertexBufferGetStream(vb, "position"), nullptr) << "new counts make new, unnamed streams";
    EXPECT_EQ(RvVertexBufferGetStreamAtIndex(vb, 0)->data, nullptr);
    EXPECT_EQ(positions->refCount, 1);
    KuRelease(positions);
    KuRelease(colours);
    KuRelease(vb);
}

TEST_F(ResourceTest, MutableStreamDataCopiesSharedBytesAndReadsInterleavedStreams) {
    float interleaved[3][4] = {{1, 2, 10, 11}, {3, 4, 12, 13}, {5, 6, 14, 15}};
    RvData* view = RvNewDataNoCopy(interleaved, sizeof interleaved);
    RvVertexBuffer* vb = RvNewVertexBuffer(device, 0);
    RvVertexBufferSetStreams(vb, 2, 3);
    RvVertexBufferSetInterleavedStreamData(vb, 0, "position", kRvVertexPosition2f, view, 0, 16);
    RvVertexBufferSetInterleavedStreamData(vb, 1, "texcoord", kRvVertexTexCoord2f, view, 8, 16);
    float packed[6] = {};
    EXPECT_EQ(RvVertexBufferCopyInterleavedStreamData(vb, 1, packed), sizeof packed);
    float expected[6] = {10, 11, 12, 13, 14, 15};
    EXPECT_EQ(memcmp(packed, expected, sizeof packed), 0);
    EXPECT_EQ(RvVertexBufferGetStreamDataSize(vb, 1), 8u + 2 * 16 + 8);

    auto* writable = static_cast<float*>(RvVertexBufferGetMutableStreamDataPtr(vb, 1));
    ASSERT_NE(writable, nullptr);
    writable[2] = 99;  // stream 1's first texcoord, through the copy
    EXPECT_EQ(interleaved[0][2], 10) << "the caller's memory is not written";
    EXPECT_NE(RvVertexBufferGetStreamAtIndex(vb, 1)->data, view);
    EXPECT_EQ(RvVertexBufferGetStreamAtIndex(vb, 0)->data, view);
    EXPECT_EQ(RvVertexBufferGetMutableStreamDataPtr(vb, 2), nullptr);
    EXPECT_EQ(RvVertexBufferGetMutableStreamDataPtr(nullptr, 0), nullptr);

    // Formats compare names, types and placement, not the data.
    RvVertexBuffer* twin = RvNewVertexBuffer(device, 0);
    RvVertexBufferSetStreams(twin, 2, 3);
    RvVertexBufferSetInterleavedStreamData(twin, 0, "position", kRvVertexPosition2f, nullptr, 0, 16);
    RvVertexBufferSetInterleavedStreamData(twin, 1, "texcoord", kRvVertexTexCoord2f, nullptr, 8, 16);
    EXPECT_TRUE(RvVertexFormatEqual(RvVertexBufferGetVertexFormat(vb), RvVertexBufferGetVertexFormat(twin)));
    RvVertexBufferSetInterleavedStreamData(twin, 1, "normal", kRvVertexTexCoord2f, nullptr, 8, 16);
    EXPECT_FALSE(RvVertexFormatEqual(RvVertexBufferGetVertexFormat(vb), RvVertexBufferGetVertexFormat(twin)));
    RvVertexBufferSetInterleavedStreamData(twin, 1, "texcoord", kRvVertexTexCoord2f, nullptr, 4, 16);
    EXPECT_FALSE(RvVertexFormatEqual(RvVertexBufferGetVertexFormat(vb), RvVertexBufferGetVertexFormat(twin)));
    KuRelease(twin);
    KuRelease(vb);
    KuRelease(view);
}

TEST_F(ResourceTest, IndexBufferCountsAndCopies) {
    uint32_t indices[5] = {0, 1, 2, 3, 4};
    RvData* data = RvNewDataNoCopy(indices, sizeof indices);
    RvIndexBuffer* ib = RvNewIndexBuffer(device, 0);
    EXPECT_EQ(RvIndexBufferGetIndexType(ib), kRvIndex16);
    RvIndexBufferSetData(ib, kRvIndex32, 0, data);
    EXPECT_EQ(RvIndexBufferGetIndexCount(ib), 5);
    EXPECT_EQ(ib->elementSize, 4);
    auto* writable = static_cast<uint32_t*>(RvIndexBufferGetMutableDataPtr(ib));
    writable[0] = 7;
    EXPECT_EQ(indices[0], 0u);
    RvIndexBufferSetData(ib, kRvIndex16, 6, nullptr);
    EXPECT_EQ(ib->data, nullptr) << "another size drops the old indices";
    EXPECT_EQ(RvDataGetLength(static_cast<RvData*>(nullptr)), 0u);
    ASSERT_NE(RvIndexBufferGetMutableDataPtr(ib), nullptr);
    EXPECT_EQ(RvDataGetLength(ib->data), 12u);
    EXPECT_EQ(RvIndexBufferGetIndexType(nullptr), kRvIndex16);
    KuRelease(ib);
    KuRelease(data);
}

// >>meshes

TEST_F(ResourceTest, MeshesFromPrototypesShareTheirBuffersAndSubmeshes) {
    RvVertexBuffer* vb = RvNewVertexBuffer(device, 0);
    RvVertexBufferSetStreams(vb, 1, 3);
    RvIndexBuffer* ib = RvNewIndexBuffer(device, 0);
    RvShader* shader = RvNewShader(device);
    RvMesh* prototype = RvNewMeshPrototype(device, 2, vb, ib);
    RvSubmesh parts[2] = {{2, 0, 2}, {5, 2, 1}};
    RvMeshSetSubmeshes(prototype, parts, 2);
    RvBounds box;
    box.max = {4, 5, 6};
    RvMeshSetBounds(prototype, box);

    RvMesh* made = RvNewMeshWithPrototype(prototype, shader);
    EXPECT_NE(made, prototype);
    EXPECT_EQ(RvMeshGetShader(made), shader);
    EXPECT_EQ(RvMeshGetShader(prototype), nullptr);
    EXPECT_EQ(RvMeshGetVertexBuffer(made), vb);
    EXPECT_EQ(RvMeshGetIndexBuffer(made), ib);
    EXPECT_EQ(RvMeshGetSubmeshCount(made), 2);
    EXPECT_EQ(RvMeshGetSubmesh(made, 1).primitiveType, 5);
    EXPECT_EQ(RvMeshGetBounds(made).max.y, 5);
    EXPECT_FALSE(RvMeshIsEmpty(made));
    RvMesh* same = RvNewMeshWithPrototype(made, shader);
    EXPECT_EQ(same, made) << "the same shader gives the same mesh";
    EXPECT_EQ(made->refCount, 2);
    KuRelease(same);

    RvMeshSetSubmeshes(prototype, nullptr, 0);
    EXPECT_EQ(RvMeshGetSubmeshCount(made), 1);
    RvSubmesh reset = RvMeshGetSubmesh(made, 0);
    EXPECT_EQ(reset.primitiveType, 4);
    EXPECT_EQ(reset.count, 0);
    EXPECT_EQ(RvMeshGetSubmesh(made, 5).primitiveType, 4) << "out of range reads the default";

    CapturedReports reports;
    RvMeshCaluclateBounds(prototype);
    EXPECT_TRUE(reports.contains("RvMeshCaluclateBounds is not implemented."));
    EXPECT_EQ(RvMeshGetBounds(made).max.x, 1);
    for (KuObject* o : std::initializer_list<KuObject*>{made, prototype, shader, ib, vb})
        KuRelease(o);
}

TEST_F(ResourceTest, InstancesPickTheirShaderFromWhatTheyAreGiven) {
    RvShader* own = RvNewShader(device);
    RvShader* other = RvNewShader(device);
    RvMesh* mesh = RvNewMesh(device, 4, nullptr, nullptr, own);
    RvShaderInstance* values = RvNewShaderInstance(other);

    RvMeshInstance* plain = RvNewRenderInstance(mesh, nullptr);
    EXPECT_EQ(RvMeshInstanceGetMesh(plain), mesh);
    EXPECT_EQ(RvShaderInstanceGetShader(RvMeshInstanceGetShaderInstance(plain)), own);
    EXPECT_EQ(RvMeshInstanceGetSubmeshMask(plain), 0xFFFFFFFFu);

    RvMeshInstance* withShader = RvNewRenderInstance(mesh, other);
    EXPECT_EQ(RvMeshGetShader(RvMeshInstanceGetMesh(withShader)), other);
    EXPECT_EQ(RvMeshInstanceGetMesh(withShader)->prototype, mesh);

    RvMeshInstance* withValues = RvNewRenderInstance(mesh, values);
    EXPECT_EQ(RvMeshInstanceGetShaderInstance(withValues), values);
    EXPECT_EQ(RvMeshGetShader(RvMeshInstanceGetMesh(withValues)), other);
    EXPECT_TRUE(RvMeshIsEmpty(mesh));
    EXPECT_EQ(RvNewRenderInstance(nullptr, nullptr), nullptr);
    for (KuObject* o :
         std::initializer_list<KuObject*>{plain, withShader, withValues, values, mesh, other, own})
        KuRelease(o);
}

// >>shaders

TEST_F(ResourceTest, ShaderSourcesAndParametersMarkTheShaderForABuild) {
    RvShader* s = RvNewShader(device);
    RvShaderSetVertexShaderSource(s, "void main() {}");
    EXPECT_TRUE(s->sourcesChanged);
    s->sourcesChanged = false;
    RvShaderSetVertexShaderSource(s, "void main() {}");
    EXPECT_FALSE(s->sourcesChanged) << "the same text again is no change";
    RvShaderSetVertexShaderSource(s, nullptr);
    EXPECT_TRUE(s->sourcesChanged);
    EXPECT_FALSE(s->hasVertexSource);

    RvGraphicsResourceLock(s, kRvLockRead);
    RvGraphicsResourceUnlockWithStatus(s, kRvStatusBuilt);
    RvShaderParameter* p = RvShaderGetParameter(s, "color");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->type.load(), kRvParameterUnknown);
    EXPECT_TRUE(s->parametersAdded);
    EXPECT_EQ(RvGraphicsResourceGetStatus(s), kRvStatusNeedsBuild);
    EXPECT_FALSE(RvGraphicsResourceIsLocked(s));
    EXPECT_EQ(RvShaderGetParameter(s, "color"), p);
    EXPECT_EQ(RvShaderGetParameter(s, nullptr), nullptr);
    RvShaderGetParameter(s, "other")->type = kRvParameterConstant;
    RvShaderInvalidateUnknownParameters(s);
    EXPECT_EQ(p->type.load(), kRvParameterInvalid);
    EXPECT_EQ(RvShaderGetParameter(s, "other")->type.load(), kRvParameterConstant);
    int seen = 0;
    RvShaderEnumerateParameters(
        s, [](RvShaderParameter*, void* count) { ++*static_cast<int*>(count); }, &seen);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(RvShaderGetBlendMode(nullptr), 1);
    EXPECT_EQ(RvShaderGetColorMode(nullptr), 1);
    KuRelease(s);
}

TEST_F(ResourceTest, ShaderInstanceValuesAreNormalisedAndShared) {
    RvShader* s = RvNewShader(device);
    RvDictionary* defaults = RvNewDictionary();
    double twoDoubles[2] = {0.5, 0.25};
    int16_t shortValue = -12;
    float colour[4] = {1, 0, 0, 1};
    RvNumber* doubles = RvNewNumber(twoDoubles, RvMakeEncoding(kRvScalarDouble, 2));
    RvNumber* shortNumber = RvNewNumber(&shortValue, RvMakeEncoding(kRvScalarInt16, 1));
    RvNumber* shared = RvNewNumber(colour, kRvEncodingVec4);
    RvString* symbol = RvNewString("$ScreenPixelPitch");
    RvDictionarySetValue(defaults, "scale", doubles);
    RvDictionarySetValue(defaults, "count", shortNumber);
    RvDictionarySetValue(defaults, "color", shared);
    RvDictionarySetValue(defaults, "pitch", symbol);
    RvShaderSetDefaultValues(s, defaults);
    RvShaderInstance* instance = RvNewShaderInstance(s);

    auto* scale = dynamic_cast<RvNumber*>(RvShaderInstanceGetValue(instance, "scale"));
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(RvNumberGetEncoding(scale), RvMakeEncoding(kRvScalarFloat, 2));
    EXPECT_FLOAT_EQ(static_cast<const float*>(RvNumberGetBytes(scale))[1], 0.25f);
    auto* count = dynamic_cast<RvNumber*>(RvShaderInstanceGetValue(instance, "count"));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(RvNumberGetEncoding(count), kRvEncodingInt);
    EXPECT_EQ(*static_cast<const int32_t*>(RvNumberGetBytes(count)), -12);
    EXPECT_EQ(RvShaderInstanceGetValue(instance, "color"), shared) << "float numbers are shared, not copied";
    EXPECT_EQ(RvShaderInstanceGetValue(instance, "pitch"), nullptr) << "symbols store no value";
    EXPECT_EQ(instance->variables.at("pitch")->method, RvShaderWriteMethodForSymbol("$ScreenPixelPitch"));

    // Null and unknown symbols leave the value as it was.
    RvTexture* texture = RvNewTexture(device, 0);
    RvShaderInstanceSetValue(instance, "colorMap", texture);
    RvShaderInstanceSetValue(instance, "colorMap", nullptr);
    EXPECT_EQ(RvShaderInstanceGetValue(instance, "colorMap"), texture);
    CapturedReports reports;
    RvString* bad = RvNewString("$Nonsense");
    RvShaderInstanceSetValue(instance, "colorMap", bad);
    EXPECT_EQ(reports.all(),
              std::vector<std::string>{
                  "RvShaderInstance: Unrecognized symbolic shader constant colorMap = '$Nonsense'"});
    EXPECT_EQ(RvShaderInstanceGetValue(instance, "colorMap"), texture);

    RvDictionary* values = RvShaderInstanceGetValues(instance);
    EXPECT_EQ(RvDictionaryGetCount(values), 4);  // scale, count, color, colorMap (the symbol has no value)
    for (KuObject* o : std::initializer_list<KuObject*>{values, bad, texture, instance, symbol, shared,
                                                        shortNumber, doubles, defaults, s})
        KuRelease(o);
}

TEST_F(ResourceTest, SetNumberRewritesInPlaceWhileTheEncodingHolds) {
    RvShader* s = RvNewShader(device);
    RvShaderInstance* instance = RvNewShaderInstance(s);
    float a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8};
    RvShaderInstanceSetNumber(instance, "tint", RvShaderWriteNumber, a, kRvEncodingVec4);
    KuObject* first = RvShaderInstanceGetValue(instance, "tint");
    RvShaderInstanceSetNumber(instance, "tint", RvShaderWriteNumber, b, kRvEncodingVec4);
    EXPECT_EQ(RvShaderInstanceGetValue(instance, "tint"), first);
    EXPECT_EQ(static_cast<const float*>(RvNumberGetBytes(static_cast<RvNumber*>(first)))[3], 8);
    RvShaderInstanceSetNumber(instance, "tint", RvShaderWriteNumber, a, kRvEncodingVec3);
    auto* replaced = static_cast<RvNumber*>(RvShaderInstanceGetValue(instance, "tint"));
    EXPECT_EQ(RvNumberGetEncoding(replaced), kRvEncodingVec3);

    // A copy never writes into the number it shares with the original.
    RvShaderInstance* copy = RvShaderInstanceCopy(instance);
    EXPECT_EQ(RvShaderInstanceGetValue(copy, "tint"), replaced);
    RvShaderInstanceSetNumber(copy, "tint", RvShaderWriteNumber, b, kRvEncodingVec3);
    EXPECT_EQ(static_cast<const float*>(RvNumberGetBytes(replaced))[0], 1);
    EXPECT_NE(RvShaderInstanceGetValue(copy, "tint"), replaced);
    KuRelease(copy);
    KuRelease(instance);
    KuRelease(s);
}

TEST_F(ResourceTest, CopyFollowsTheOriginalsInPlaceSetsUntilItSetsItsOwn) {
    RvShader* s = RvNewShader(device);
    RvShaderInstance* instance = RvNewShaderInstance(s);
    float a[4] = {1, 2, 3, 4}, b[4] = {5, 6, 7, 8}, c[4] = {9, 10, 11, 12};
    auto tint = [](RvShaderInstance* i) {
        return static_cast<const float*>(
            RvNumberGetBytes(static_cast<RvNumber*>(RvShaderInstanceGetValue(i, "tint"))));
    };
    RvShaderInstanceSetNumber(instance, "tint", RvShaderWriteNumber, a, kRvEncodingVec4);
    RvShaderInstance* copy = RvShaderInstanceCopy(instance);
    RvShaderInstanceSetNumber(instance, "tint", RvShaderWriteNumber, b, kRvEncodingVec4);
    EXPECT_EQ(tint(copy)[0], 5) << "the copy shares the number the original rewrites in place";
    RvShaderInstanceSetNumber(copy, "tint", RvShaderWriteNumber, c, kRvEncodingVec4);
    EXPECT_EQ(tint(copy)[0], 9);
    EXPECT_EQ(tint(instance)[0], 5) << "the copy's own set leaves the original alone";
    RvDictionary* values = RvShaderInstanceGetValues(instance);
    auto* listed = static_cast<RvNumber*>(RvDictionaryGetValue(values, "tint"));
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(static_cast<const float*>(RvNumberGetBytes(listed))[3], 8);
    KuRelease(values);
    KuRelease(copy);
    KuRelease(instance);
    KuRelease(s);
}

}  // namespace
