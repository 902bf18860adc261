// Sections: >>mesh >>instances
#include "RvMesh.h"

#include "RvRenderer.h"

// >>mesh

RvMesh::~RvMesh() {
    KuRelease(vertexBuffer);
    KuRelease(indexBuffer);
    KuRelease(prototype);
    KuRelease(shader);
}

RvMesh* RvMesh::newEmptyMesh() {
    return new RvMesh(device);
}
RvMeshInstance* RvMesh::newInstance() {
    return new RvMeshInstance;
}

// The mesh that holds the buffers, submeshes and bounds: the end of the prototype chain.
static const RvMesh* dataMesh(const RvMesh* m) {
    while (m && m->prototype)
        m = m->prototype;
    return m;
}

RvMesh* RvNewMeshPrototype(RvGraphicsDevice* device, int primitiveType, RvVertexBuffer* vertices,
                           RvIndexBuffer* indices) {
    return RvNewMesh(device, primitiveType, vertices, indices, nullptr);
}

RvMesh* RvNewMeshWithPrototype(RvMesh* mesh, RvShader* shader) {
    if (!mesh) return nullptr;
    if (!shader || shader == mesh->shader) {
        KuRetain(mesh);
        return mesh;
    }
    RvMesh* made = mesh->newEmptyMesh();
    KuSetRetained(made->prototype, mesh);
    KuSetRetained(made->shader, shader);
    return made;
}

RvShader* RvMeshGetShader(const RvMesh* m) {
    return m ? m->shader : nullptr;
}
RvVertexBuffer* RvMeshGetVertexBuffer(const RvMesh* m) {
    const RvMesh* d = dataMesh(m);
    return d ? d->vertexBuffer : nullptr;
}
RvIndexBuffer* RvMeshGetIndexBuffer(const RvMesh* m) {
    const RvMesh* d = dataMesh(m);
    return d ? d->indexBuffer : nullptr;
}

void RvMeshSetSubmeshes(RvMesh* m, const RvSubmesh* list, int count) {
    if (!m) return;
    if (count <= 0 || !list) {
        m->submeshes.assign(nullptr, nullptr);
        return;
    }
    m->submeshes.assign(list, list + count);
}

int RvMeshGetSubmeshCount(const RvMesh* m) {
    const RvMesh* d = dataMesh(m);
    return d ? static_cast<int>(d->submeshes.size()) : 0;
}

RvSubmesh RvMeshGetSubmesh(const RvMesh* m, int index) {
    const RvMesh* d = dataMesh(m);
    if (!d || index < 0 || index >= static_cast<int>(d->submeshes.size())) return RvSubmesh{};
    return d->submeshes[static_cast<size_t>(index)];
}

bool RvMeshIsEmpty(const RvMesh* m) {
    return RvVertexBufferGetVertexCount(RvMeshGetVertexBuffer(m)) == 0;
}

RvBounds RvMeshGetBounds(const RvMesh* m) {
    const RvMesh* d = dataMesh(m);
    return d ? d->bounds : RvBounds{};
}

void RvMeshSetBounds(RvMesh* m, const RvBounds& bounds) {
    if (m) m->bounds = bounds;
}

void RvMeshCaluclateBounds(RvMesh* m) {
    RvWarning("RvMeshCaluclateBounds is not implemented.");
    if (m) m->bounds = RvBounds{};
}

void RvMeshUpdate(RvMesh*, RvRenderer*) {}

// >>instances

RvMeshInstance::~RvMeshInstance() {
    KuRelease(shaderInstance_);
    KuRelease(mesh_);
}

void RvMeshInstance::update(RvRenderer* renderer) {
    RvMeshUpdate(mesh_, renderer);
    RvShaderInstanceUpdate(shaderInstance_, renderer);
}

RvMeshInstance* RvNewRenderInstance(RvMesh* mesh, KuObject* object) {
    if (!mesh) return nullptr;
    RvMeshInstance* instance = mesh->newInstance();
    if (auto* shaderInstance = dynamic_cast<RvShaderInstance*>(object)) {
        KuSetRetained(instance->shaderInstance_, shaderInstance);
        instance->mesh_ = RvNewMeshWithPrototype(mesh, shaderInstance->shader);
    } else if (auto* shader = dynamic_cast<RvShader*>(object)) {
        instance->mesh_ = RvNewMeshWithPrototype(mesh, shader);
        instance->shaderInstance_ = RvNewShaderInstance(shader);
    } else {
        KuSetRetained(instance->mesh_, mesh);
        instance->shaderInstance_ = RvNewShaderInstance(mesh->shader);
    }
    return instance;
}

RvMesh* RvMeshInstanceGetMesh(const RvMeshInstance* i) {
    return i ? i->mesh_ : nullptr;
}
RvShaderInstance* RvMeshInstanceGetShaderInstance(const RvMeshInstance* i) {
    return i ? i->shaderInstance_ : nullptr;
}
RvBounds RvMeshInstanceGetBounds(const RvMeshInstance* i) {
    return i ? i->bounds() : RvBounds{};
}
uint32_t RvMeshInstanceGetSubmeshMask(const RvMeshInstance* i) {
    return i ? i->submeshMask : 0;
}
void RvMeshInstanceSetSubmeshMask(RvMeshInstance* i, uint32_t mask) {
    if (i) i->submeshMask = mask;
}

void RvRenderInstanceUpdate(RvRenderInstance* i, RvRenderer* r) {
    if (i) i->update(r);
}
void RvRenderInstanceDraw(RvRenderInstance* i, RvRenderer* r) {
    if (i) i->draw(r);
}
