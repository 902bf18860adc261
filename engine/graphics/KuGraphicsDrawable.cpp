// Sections: >>lifecycle >>shader values >>writer >>begin and end >>whole meshes >>particles
#include <cstring>

#include "KuGraphics.h"
#include "RvMesh.h"
#include "RvRenderer.h"
#include "RvTexture.h"

// >>lifecycle

KuGraphicsDrawable::KuGraphicsDrawable() : KuObject(kKuTypeObject) {}

KuGraphicsDrawable::~KuGraphicsDrawable() {
    if (writerOpen) {
        MeshWriter open;
        end(open);
    }
    KuRelease(instance);
}

void KuGraphicsDrawable::initWithShader(KuGraphicsShader& shader, int flags) {
    if (writerOpen) {
        MeshWriter open;
        end(open);
    }
    KuRelease(instance);
    instance = nullptr;
    values = nullptr;
    createMesh(shader, flags);
}

void KuGraphicsDrawable::createMesh(KuGraphicsShader& shader, int flags) {
    RvGraphicsDevice* device = KuSharedRvDevice();
    if (!device) return;
    RvVertexBuffer* vertices = RvNewVertexBuffer(device, kRvAccessDynamic);
    RvIndexBuffer* indices = (flags & kKuMeshIndexed) ? RvNewIndexBuffer(device, kRvAccessDynamic) : nullptr;
    int primitive = (flags & kKuMeshLineStrip)       ? 3
                    : (flags & kKuMeshLines)         ? 2
                    : (flags & kKuMeshTriangleStrip) ? 5
                                                     : 4;
    RvMesh* mesh = RvNewMesh(device, primitive, vertices, indices, shader.shader);
    KuRelease(instance);
    instance = mesh ? RvNewRenderInstance(mesh, nullptr) : nullptr;
    values = RvMeshInstanceGetShaderInstance(instance);
    KuRelease(mesh);
    KuRelease(vertices);
    KuRelease(indices);
}

RvShaderInstance* KuGraphicsDrawable::shaderInstance() const {
    // The draw that follows the value sets reads the instance: start loading it now.
    __builtin_prefetch(instance);
    return values;
}

RvVertexBuffer* KuGraphicsDrawable::vertexBuffer() const {
    return instance ? RvMeshGetVertexBuffer(RvMeshInstanceGetMesh(instance)) : nullptr;
}

RvIndexBuffer* KuGraphicsDrawable::indexBuffer() const {
    return instance ? RvMeshGetIndexBuffer(RvMeshInstanceGetMesh(instance)) : nullptr;
}

// >>shader values

void KuGraphicsDrawable::setShaderFloat(const char* name, float value) {
    RvShaderInstanceSetNumber(shaderInstance(), name, RvShaderWriteNumber, &value, kRvEncodingFloat);
}

void KuGraphicsDrawable::setShaderColor(const char* name, const KuColor& color) {
    float values[4] = {color.red, color.green, color.blue, color.alpha};
    RvShaderInstanceSetNumber(shaderInstance(), name, RvShaderWriteNumber, values, kRvEncodingVec4);
}

void KuGraphicsDrawable::setShaderVector2(const char* name, const KuPoint& vector) {
    float values[2] = {vector.x, vector.y};
    RvShaderInstanceSetNumber(shaderInstance(), name, RvShaderWriteNumber, values, kRvEncodingVec2);
}

void KuGraphicsDrawable::setShaderMatrix(const char* name, const KuMatrix& matrix) {
    RvShaderInstanceSetNumber(shaderInstance(), name, RvShaderWriteNumber, matrix.m, kRvEncodingMat4);
}

void KuGraphicsDrawable::setShaderSymbolic(const char* name, const char* symbol) {
    if (!symbol) return;
    RvString* value = RvNewString(symbol);
    RvShaderInstanceSetValue(shaderInstance(), name, value);
    KuRelease(value);
}

void KuGraphicsDrawable::setTextureSampler(const char* name, KuGraphicsTexture* texture) {
    if (!texture || !texture->texture) return;
    RvShaderInstanceSetValue(shaderInstance(), name, texture->texture);
}

void KuGraphicsDrawable::update() {
    if (instance) RvRenderInstanceUpdate(instance, KuSharedRvRenderer());
}

void KuGraphicsDrawable::draw() {
    if (instance) RvRenderInstanceDraw(instance, KuSharedRvRenderer());
}

// >>writer

void KuGraphicsDrawable::MeshWriter::setVertex(unsigned i, float x, float y) {
    if (!positions || i >= vertexCount) return;
    positions[2 * i] = x;
    positions[2 * i + 1] = y;
}

void KuGraphicsDrawable::MeshWriter::setTexcoord(unsigned i, float u, float v) {
    if (!texcoords || i >= vertexCount) return;
    texcoords[2 * i] = u;
    texcoords[2 * i + 1] = v;
}

void KuGraphicsDrawable::MeshWriter::setColor(unsigned i, float r, float g, float b, float a) {
    if (!colors || i >= vertexCount) return;
    float* c = colors + 4 * static_cast<size_t>(i);
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

void KuGraphicsDrawable::MeshWriter::setColor(unsigned i, const KuColor& c) {
    setColor(i, c.red, c.green, c.blue, c.alpha);
}

void KuGraphicsDrawable::MeshWriter::setIndex(unsigned i, unsigned value) {
    if (!indices || i >= indexCount) return;
    indices[i] = static_cast<uint16_t>(value);
}

void KuGraphicsDrawable::MeshWriter::setIndices(const unsigned short* values, unsigned count) {
    if (!indices || !values) return;
    if (count > indexCount) count = indexCount;
    memcpy(indices, values, static_cast<size_t>(count) * sizeof(uint16_t));
}

// >>begin and end

void KuGraphicsDrawable::setStreams(int streamCount, unsigned vertexCount) {
    RvVertexBuffer* vb = vertexBuffer();
    // Vertex counts beyond what 16-bit indices and int sizes address are cut.
    if (vertexCount > 0x1000000) vertexCount = 0x1000000;
    RvVertexBufferSetStreams(vb, streamCount, static_cast<int>(vertexCount));
}

KuGraphicsDrawable::MeshWriter KuGraphicsDrawable::beginQuads(unsigned quads) {
    MeshWriter writer;
    RvVertexBuffer* vb = vertexBuffer();
    if (!vb) return writer;
    if (writerOpen) end(writer);
    RvGraphicsResourceWriteLock(vb);
    writerOpen = true;
    writerHasIndices = false;
    if (quads > 0x400000) quads = 0x400000;
    setStreams(2, quads * 4);
    RvVertexBufferSetStreamData(vb, 0, "position", kRvVertexPosition2f, nullptr);
    RvVertexBufferSetStreamData(vb, 1, "texcoord", kRvVertexTexCoord2f, nullptr);
    writer.vertexCount = static_cast<unsigned>(RvVertexBufferGetVertexCount(vb));
    if (writer.vertexCount) {
        writer.positions = static_cast<float*>(RvVertexBufferGetMutableStreamDataPtr(vb, 0));
        writer.texcoords = static_cast<float*>(RvVertexBufferGetMutableStreamDataPtr(vb, 1));
    }
    return writer;
}

KuGraphicsDrawable::MeshWriter KuGraphicsDrawable::beginIndexedQuads(unsigned quads, unsigned indexCount) {
    MeshWriter writer = beginQuads(quads);
    RvIndexBuffer* ib = indexBuffer();
    if (!writerOpen || !ib) return writer;
    RvGraphicsResourceWriteLock(ib);
    writerHasIndices = true;
    if (indexCount > 0x1000000) indexCount = 0x1000000;
    RvIndexBufferSetData(ib, kRvIndex16, static_cast<int>(indexCount), nullptr);
    writer.indexCount = static_cast<unsigned>(RvIndexBufferGetIndexCount(ib));
    if (writer.indexCount) writer.indices = static_cast<uint16_t*>(RvIndexBufferGetMutableDataPtr(ib));
    return writer;
}

KuGraphicsDrawable::MeshWriter KuGraphicsDrawable::beginVertices(unsigned vertices) {
    MeshWriter writer;
    RvVertexBuffer* vb = vertexBuffer();
    if (!vb) return writer;
    if (writerOpen) end(writer);
    RvGraphicsResourceWriteLock(vb);
    writerOpen = true;
    writerHasIndices = false;
    setStreams(1, vertices);
    RvVertexBufferSetStreamData(vb, 0, "position", kRvVertexPosition2f, nullptr);
    writer.vertexCount = static_cast<unsigned>(RvVertexBufferGetVertexCount(vb));
    if (writer.vertexCount)
        writer.positions = static_cast<float*>(RvVertexBufferGetMutableStreamDataPtr(vb, 0));
    return writer;
}

void KuGraphicsDrawable::end(MeshWriter& writer) {
    if (writerOpen) {
        if (writerHasIndices) RvGraphicsResourceUnlock(indexBuffer());
        RvGraphicsResourceUnlock(vertexBuffer());
    }
    writerOpen = false;
    writerHasIndices = false;
    writer = MeshWriter{};
}

// >>whole meshes

void KuGraphicsDrawable::writeUnitSquare(bool flip) {
    MeshWriter w = beginQuads(1);
    static const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
    static const float coords[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (unsigned i = 0; i < 4; i++) {
        w.setVertex(i, corners[i][0], corners[i][1]);
        w.setTexcoord(i, coords[i][0], flip ? 1 - coords[i][1] : coords[i][1]);
    }
    end(w);
}

void KuGraphicsDrawable::writeQuads(const _Quad2f* positions, const _Quad2f* texcoords, unsigned quads,
                                    const unsigned short* indices, unsigned indexCount) {
    MeshWriter w = indices ? beginIndexedQuads(quads, indexCount) : beginQuads(quads);
    unsigned written = w.vertexCount / 4;
    for (unsigned q = 0; q < written; q++)
        for (unsigned c = 0; c < 4; c++) {
            if (positions) w.setVertex(q * 4 + c, positions[q].corners[c].x, positions[q].corners[c].y);
            if (texcoords) w.setTexcoord(q * 4 + c, texcoords[q].corners[c].x, texcoords[q].corners[c].y);
        }
    if (indices) w.setIndices(indices, indexCount);
    end(w);
}

void KuGraphicsDrawable::writeVTIStruct(VTIStruct* vti, int quadsToIndex) {
    RvVertexBuffer* vb = vertexBuffer();
    if (!vb) return;
    unsigned quads = (vti && quadsToIndex > 0 && vti->count > 0) ? static_cast<unsigned>(vti->count) : 0;
    unsigned indexed = quads ? static_cast<unsigned>(quadsToIndex) : 0;
    if (indexed > quads) indexed = quads;  // never index vertices the description does not have
    if (quads > 0x400000) quads = indexed = 0;
    {
        RvResourceLock lock(vb, kRvLockWrite);
        RvVertexBufferSetStreams(vb, 3, static_cast<int>(quads * 4));
        RvVertexBufferSetStreamData(vb, 0, "position", kRvVertexPosition2f, nullptr);
        RvVertexBufferSetStreamData(vb, 1, "texcoord", kRvVertexTexCoord2f, nullptr);
        RvVertexBufferSetStreamData(vb, 2, "vtxcolor", kRvVertexColor4f, nullptr);
        if (quads) {
            size_t points = static_cast<size_t>(quads) * 4;
            if (vti->vertices)
                memcpy(RvVertexBufferGetMutableStreamDataPtr(vb, 0), vti->vertices, points * sizeof(KuPoint));
            if (vti->texcoords)
                memcpy(RvVertexBufferGetMutableStreamDataPtr(vb, 1), vti->texcoords,
                       points * sizeof(KuPoint));
            if (vti->colors)
                memcpy(RvVertexBufferGetMutableStreamDataPtr(vb, 2), vti->colors, points * sizeof(KuColor));
        }
    }
    RvIndexBuffer* ib = indexBuffer();
    if (!ib) return;
    RvResourceLock lock(ib, kRvLockWrite);
    RvIndexBufferSetData(ib, kRvIndex16, static_cast<int>(indexed * 6), nullptr);
    if (indexed && vti->indices)
        memcpy(RvIndexBufferGetMutableDataPtr(ib), vti->indices,
               static_cast<size_t>(indexed) * 6 * sizeof(uint16_t));
}

// >>particles

void KuGraphicsDrawable::writeParticles(const KuQuadSprite* sprites, unsigned count) {
    RvVertexBuffer* vb = vertexBuffer();
    if (!vb) return;
    if (!sprites || count > 0x3FFF) count = sprites ? 0x3FFF : 0;  // 16-bit indices reach 65535
    {
        RvResourceLock lock(vb, kRvLockWrite);
        RvVertexBufferSetStreams(vb, 3, static_cast<int>(count * 4));
        RvData* data = RvNewDataNoCopy(sprites, static_cast<size_t>(count) * sizeof(KuQuadSprite));
        const int stride = sizeof(KuQuadVertex);
        RvVertexBufferSetInterleavedStreamData(vb, 0, "position", kRvVertexPosition2f, data, 0, stride);
        RvVertexBufferSetInterleavedStreamData(vb, 1, "vtxcolor", kRvVertexColor4ub, data, 8, stride);
        RvVertexBufferSetInterleavedStreamData(vb, 2, "texcoord", kRvVertexTexCoord2f, data, 12, stride);
        KuRelease(data);
    }
    if (RvIndexBuffer* ib = indexBuffer()) {
        RvResourceLock lock(ib, kRvLockWrite);
        RvIndexBufferSetData(ib, kRvIndex16, static_cast<int>(count * 6), nullptr);
        auto* indices = count ? static_cast<uint16_t*>(RvIndexBufferGetMutableDataPtr(ib)) : nullptr;
        static const uint16_t pattern[6] = {0, 1, 2, 3, 2, 1};
        for (unsigned q = 0; indices && q < count; q++)
            for (unsigned k = 0; k < 6; k++)
                indices[q * 6 + k] = static_cast<uint16_t>(pattern[k] + 4 * q);
    }
    RvMesh* mesh = RvMeshInstanceGetMesh(instance);
    RvMeshInstanceSetSubmeshMask(instance, 0xFFFFFFFFu);
    RvSubmesh all{4, 0, 0};
    RvResourceLock lock(mesh, kRvLockWrite);
    RvMeshSetSubmeshes(mesh, &all, 1);
}

void KuGraphicsDrawable::updateParticles(unsigned first, unsigned count) {
    RvVertexBuffer* vb = vertexBuffer();
    if (!vb) return;
    RvMesh* mesh = RvMeshInstanceGetMesh(instance);
    // A submesh count of 0 means "all" to the layer: no live quads must draw nothing instead.
    RvMeshInstanceSetSubmeshMask(instance, count ? 0xFFFFFFFFu : 0u);
    {
        RvSubmesh range{4, static_cast<int>(first * 6), static_cast<int>(count * 6)};
        RvResourceLock lock(mesh, kRvLockWrite);
        RvMeshSetSubmeshes(mesh, &range, 1);
    }
    RvResourceLock lock(vb, kRvLockWrite);
    for (int i = 0; i < 3; i++)
        RvVertexBufferSetNeedsUpdate(vb, i);
}
