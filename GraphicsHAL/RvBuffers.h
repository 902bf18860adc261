// Vertex buffers made of named streams (copied or referring to caller memory, separate or
// interleaved) and index buffers, with the change masks the back end uploads from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RvGraphicsDevice.h"

// Vertex types: semantic in bits 24-31, normalised flag 16-23, component count 8-15, scalar type 0-7.
enum : uint32_t {
    kRvVertexPosition2f = 0x01000218,
    kRvVertexPosition3f = 0x01000318,
    kRvVertexPosition4f = 0x01000418,
    kRvVertexNormal3f = 0x05000318,
    kRvVertexTexCoord2f = 0x08000218,
    kRvVertexColor4f = 0x02000418,
    kRvVertexColor4ub = 0x02010410,
};

constexpr int RvVertexTypeSemantic(uint32_t type) {
    return static_cast<int>(type >> 24);
}
constexpr bool RvVertexTypeNormalized(uint32_t type) {
    return ((type >> 16) & 0xFF) != 0;
}
constexpr int RvVertexTypeComponents(uint32_t type) {
    return static_cast<int>((type >> 8) & 0xFF);
}
constexpr int RvVertexTypeScalar(uint32_t type) {
    return static_cast<int>(type & 0xFF);
}
int RvVertexTypeSize(uint32_t type);  // components × scalar size

enum : uint32_t { kRvIndex16 = 0x20011, kRvIndex32 = 0x40013 };

constexpr int kRvMaxVertexStreams = 31;

struct RvVertexStream {
    std::string name;        // matched against the shader's attribute names
    RvData* data = nullptr;  // retained; may be shared with other streams
    uint32_t vertexType = 0;
    int offset = 0;                    // of the first element in the data
    int stride = 0;                    // in the data
    int gpuOffset = 0, gpuStride = 0;  // set by the back end's layout
};

class RvVertexBuffer : public RvGraphicsResource {
public:
    RvVertexBuffer(RvGraphicsDevice* device, int accessMode);
    ~RvVertexBuffer() override;
    const char* typeStr() const override { return "RvVertexBuffer"; }

    int accessMode;
    int vertexCount = 0;
    std::vector<RvVertexStream> streams;
    uint32_t layoutChanged = 0;  // bit i: stream i
    uint32_t dataChanged = 0;
};

struct RvVertexFormatEntry {
    const char* name;  // valid while the buffer's streams are unchanged
    uint32_t vertexType;
    int offset, stride;
};

struct RvVertexFormat {
    int streamCount = 0;
    RvVertexFormatEntry entries[kRvMaxVertexStreams];
};

// Remakes the streams (zeroed) unless both counts are unchanged; counts above 31 streams are cut.
void RvVertexBufferSetStreams(RvVertexBuffer* buffer, int streamCount, int vertexCount);
// Stream `index` with tightly packed elements; `data` (may be null) is retained, not copied.
bool RvVertexBufferSetStreamData(RvVertexBuffer* buffer, int index, const char* name, uint32_t vertexType,
                                 RvData* data);
// Stream `index` read from `data` at `offset` with `stride`; several streams may share one data.
// False (nothing changed) for an index outside the streams.
bool RvVertexBufferSetInterleavedStreamData(RvVertexBuffer* buffer, int index, const char* name,
                                            uint32_t vertexType, RvData* data, int offset, int stride);
// Writable bytes of the stream's data (made mutable, created when absent); marks the data changed.
void* RvVertexBufferGetMutableStreamDataPtr(RvVertexBuffer* buffer, int index);
void RvVertexBufferSetNeedsUpdate(RvVertexBuffer* buffer, int index);
void RvVertexBufferSetNeedsLayout(RvVertexBuffer* buffer, int index);
const RvVertexStream* RvVertexBufferGetStream(const RvVertexBuffer* buffer, const char* name);
const RvVertexStream* RvVertexBufferGetStreamAtIndex(const RvVertexBuffer* buffer, int index);
int RvVertexBufferGetStreamCount(const RvVertexBuffer* buffer);
int RvVertexBufferGetVertexCount(const RvVertexBuffer* buffer);
// Bytes the stream's elements span in its data: (vertex count − 1) × stride + element size.
size_t RvVertexBufferGetStreamDataSize(const RvVertexBuffer* buffer, int index);
RvVertexFormat RvVertexBufferGetVertexFormat(const RvVertexBuffer* buffer);
bool RvVertexFormatEqual(const RvVertexFormat& a, const RvVertexFormat& b);
// Copies the stream's elements tightly packed into `destination` (vertex count × element size
// bytes); returns the bytes written (elements missing from the data are left zero).
size_t RvVertexBufferCopyInterleavedStreamData(const RvVertexBuffer* buffer, int index, void* destination);
void RvVertexBufferDiscardLocalStorage(RvVertexBuffer* buffer);

class RvIndexBuffer : public RvGraphicsResource {
public:
    RvIndexBuffer(RvGraphicsDevice* device, int accessMode);
    ~RvIndexBuffer() override;
    const char* typeStr() const override { return "RvIndexBuffer"; }

    int accessMode;
    uint32_t indexType = kRvIndex16;
    int elementSize = 2;
    int indexCount = 0;
    RvData* data = nullptr;  // retained
};

// A count of 0 with data derives the count from the data's length; data is retained, not copied.
void RvIndexBufferSetData(RvIndexBuffer* buffer, uint32_t indexType, int count, RvData* data);
void* RvIndexBufferGetMutableDataPtr(RvIndexBuffer* buffer);
uint32_t RvIndexBufferGetIndexType(const RvIndexBuffer* buffer);  // Index16 for null
int RvIndexBufferGetIndexCount(const RvIndexBuffer* buffer);
void RvIndexBufferDiscardLocalStorage(RvIndexBuffer* buffer);
