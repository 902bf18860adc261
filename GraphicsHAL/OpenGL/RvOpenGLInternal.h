// Shared between the OpenGL back end's sources: record payloads, execute functions and helpers.
// Not for use outside GraphicsHAL/OpenGL.
#pragma once

#include <epoxy/gl.h>

#include "RvOpenGL.h"

uint32_t RvOpenGLNextRendererSerial();
enum RvOpenGLObjectKind : int {
    kRvGLTexture,
    kRvGLBuffer,
    kRvGLProgram,
    kRvGLRenderbuffer,
    kRvGLFramebuffer,  // belongs to the context of the renderer with `ownerSerial`
};

// Hands a finalised resource's GPU object over for deletion: queued for the renderers while any
// exists, else deleted at once with the device's context.
void RvOpenGLReleaseObject(RvGraphicsDevice* device, int kind, uint32_t name, uint32_t ownerSerial = 0);
// Deletes what is queued for this renderer (its context current).
void RvOpenGLDeletePendingObjects(RvOpenGLRenderer* renderer);
// Drops the framebuffers queued for a renderer whose context is gone (they went with it).
void RvOpenGLForgetPendingFramebuffers(RvOpenGLGraphicsDevice* device, uint32_t rendererSerial);
void RvOpenGLRendererRegister(RvOpenGLGraphicsDevice* device);
// The last renderer leaving deletes what is still queued with the device's context.
void RvOpenGLRendererUnregister(RvOpenGLGraphicsDevice* device);
// A context on `window` sharing the device's objects; the calling thread's current context is kept.
void* RvOpenGLCreateSharedContext(RvOpenGLGraphicsDevice* device, SDL_Window* window);

// >>payloads

struct RvOpenGLObjectRecord {
    void* object;
};

struct RvOpenGLWriteConstantRecord {
    RvOpenGLShaderParameter* parameter;
    uint32_t encoding;
    int count;
    // count × RvEncodingSize(encoding) value bytes follow
};

struct RvOpenGLBindTextureRecord {
    RvTexture* texture;
    RvOpenGLShaderParameter* parameter;
};

struct RvOpenGLDrawArraysRecord {
    GLenum mode;
    GLint first;
    GLsizei count;
};

struct RvOpenGLDrawElementsRecord {
    uint64_t byteOffset;
    GLenum mode;
    GLenum indexType;
    GLsizei count;
};

// >>execute functions of resource records
void RvOpenGLExecuteBindRenderTarget(RvRenderer* renderer, const void* payload);
void RvOpenGLExecutePresent(RvRenderer* renderer, const void* payload);
void RvOpenGLExecuteBindShader(RvRenderer* renderer, const void* payload);
void RvOpenGLExecuteWriteConstant(RvRenderer* renderer, const void* payload);
void RvOpenGLExecuteBindTexture(RvRenderer* renderer, const void* payload);
void RvOpenGLExecuteBindMesh(RvRenderer* renderer, const void* payload);
void RvOpenGLExecuteDrawArrays(RvRenderer* renderer, const void* payload);
void RvOpenGLExecuteDrawElements(RvRenderer* renderer, const void* payload);
void RvOpenGLExecuteReadPixels(RvRenderer* renderer, const void* payload);

// Reads a texture back into its CPU storage (renderer context current).
void RvOpenGLReadTexturePixels(RvTexture* texture);
