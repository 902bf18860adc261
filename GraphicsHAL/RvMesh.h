// Meshes (buffers + shader + submeshes, optionally sharing a prototype's buffers) and mesh
// instances, the drawables the renderer draws with their own shader values.
#pragma once

#include <vector>

#include "RvBuffers.h"
#include "RvMath.h"
#include "RvShader.h"

class RvRenderer;
class RvMeshInstance;

struct RvSubmesh {
    int primitiveType = 4;  // RvPrimitiveTypeEnum; 0 means triangles
    int first = 0;          // first index (with an index buffer) or vertex
    int count = 0;          // 0: all
};

// A mesh's submeshes, never fewer than one. The first lives inside the list (inside the mesh):
// nearly every mesh has only that one, and drawing it then reads no further block.
class RvSubmeshList {
public:
    size_t size() const { return 1 + more_.size(); }
    RvSubmesh& operator[](size_t index) { return index ? more_[index - 1] : first_; }
    const RvSubmesh& operator[](size_t index) const { return index ? more_[index - 1] : first_; }
    // Replaces the list with [from, to); an empty range gives one default submesh.
    void assign(const RvSubmesh* from, const RvSubmesh* to) {
        first_ = from < to ? *from : RvSubmesh{};
        more_.assign(from < to ? from + 1 : to, to);
    }

private:
    RvSubmesh first_;
    std::vector<RvSubmesh> more_;
};

struct RvBounds {
    RvVector3 min{-1, -1, -1}, max{1, 1, 1};
};

class RvMesh : public RvGraphicsResource {
public:
    explicit RvMesh(RvGraphicsDevice* device) : RvGraphicsResource(device) {}
    ~RvMesh() override;
    const char* typeStr() const override { return "RvMesh"; }
    // A mesh of the same (back-end) class without buffers; owned.
    virtual RvMesh* newEmptyMesh();
    // The instance class of this back end; owned.
    virtual RvMeshInstance* newInstance();

    // The back end's note of the binding it last made for this mesh (its own meaning; 0 owner:
    // none), checked on every bind: kept beside the pointers a bind reads anyway.
    struct BindingNote {
        uint32_t name = 0, owner = 0, shaderBuild = 0, bufferBuilds = 0;
    };
    BindingNote binding;
    RvVertexBuffer* vertexBuffer = nullptr;  // retained
    RvIndexBuffer* indexBuffer = nullptr;    // retained
    RvMesh* prototype = nullptr;             // retained
    RvShader* shader = nullptr;              // retained; null: a prototype, not drawable
    RvSubmeshList submeshes;
    RvBounds bounds;
};

// Owned; null without a shader to make a prototype (RvNewMeshPrototype).
RvMesh* RvNewMeshPrototype(RvGraphicsDevice* device, int primitiveType, RvVertexBuffer* vertices,
                           RvIndexBuffer* indices);
// Owned: a mesh sharing `mesh`'s buffers, submeshes and bounds with another shader; the same mesh
// (retained) when the shader is null or already the mesh's.
RvMesh* RvNewMeshWithPrototype(RvMesh* mesh, RvShader* shader);
RvShader* RvMeshGetShader(const RvMesh* mesh);
RvVertexBuffer* RvMeshGetVertexBuffer(const RvMesh* mesh);  // follows the prototype chain
RvIndexBuffer* RvMeshGetIndexBuffer(const RvMesh* mesh);
// n = 0 resets to one submesh {triangles, 0, 0}.
void RvMeshSetSubmeshes(RvMesh* mesh, const RvSubmesh* submeshes, int count);
int RvMeshGetSubmeshCount(const RvMesh* mesh);
RvSubmesh RvMeshGetSubmesh(const RvMesh* mesh, int index);  // {4, 0, 0} out of range
bool RvMeshIsEmpty(const RvMesh* mesh);                     // no vertices to draw
RvBounds RvMeshGetBounds(const RvMesh* mesh);
void RvMeshSetBounds(RvMesh* mesh, const RvBounds& bounds);
void RvMeshCaluclateBounds(RvMesh* mesh);  // not implemented: warns and resets to the default box
// Per-frame preparation; meshes here need none beyond what the back end does when it binds them.
void RvMeshUpdate(RvMesh* mesh, RvRenderer* renderer);

// The renderer draws render instances.
class RvRenderInstance : public KuObject {
public:
    virtual void update(RvRenderer* renderer) = 0;
    virtual void draw(RvRenderer* renderer) = 0;
    virtual RvMesh* mesh() const = 0;
    virtual RvBounds bounds() const = 0;
    virtual RvShaderInstance* shaderInstance() const = 0;
};

class RvMeshInstance : public RvRenderInstance {
public:
    ~RvMeshInstance() override;
    const char* typeStr() const override { return "RvMeshInstance"; }
    void update(RvRenderer* renderer) override;  // mesh update, then shader-instance update
    void draw(RvRenderer*) override {}           // a mesh without a back end is not drawn
    RvMesh* mesh() const override { return mesh_; }
    RvBounds bounds() const override { return RvMeshGetBounds(mesh_); }
    RvShaderInstance* shaderInstance() const override { return shaderInstance_; }

    RvMesh* mesh_ = nullptr;                      // retained
    RvShaderInstance* shaderInstance_ = nullptr;  // retained
    uint32_t submeshMask = 0xFFFFFFFFu;
};

// Owned instance of the mesh's back end. `object` may be a shader instance (used as is, the mesh
// re-made for its shader), a shader (a new instance on it) or anything else (the mesh's own shader).
RvMeshInstance* RvNewRenderInstance(RvMesh* mesh, KuObject* object);
RvMesh* RvMeshInstanceGetMesh(const RvMeshInstance* instance);
RvShaderInstance* RvMeshInstanceGetShaderInstance(const RvMeshInstance* instance);
RvBounds RvMeshInstanceGetBounds(const RvMeshInstance* instance);
uint32_t RvMeshInstanceGetSubmeshMask(const RvMeshInstance* instance);
void RvMeshInstanceSetSubmeshMask(RvMeshInstance* instance, uint32_t mask);
void RvRenderInstanceUpdate(RvRenderInstance* instance, RvRenderer* renderer);
void RvRenderInstanceDraw(RvRenderInstance* instance, RvRenderer* renderer);
