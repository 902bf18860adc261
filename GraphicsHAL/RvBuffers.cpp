// Sections: >>vertex buffer >>index buffer
#include "RvBuffers.h"

#include <cstring>

int RvVertexTypeSize(uint32_t type) {
    return RvVertexTypeComponents(type) * RvScalarTypeSize(RvVertexTypeScalar(type));
}

// >>vertex buffer

RvVertexBuffer::RvVertexBuffer(RvGraphicsDevice* d, int mode) : RvGraphicsResource(d), accessMode(mode) {}

RvVertexBuffer::~RvVertexBuffer() {
    for (RvVertexStream& s : streams)
        KuRelease(s.data);
}

static uint32_t maskFrom(int index) {
    // Streams index … 30.
    return index >= kRvMaxVertexStreams ? 0 : (0x7FFFFFFFu >> index) << index;
}

void RvVertexBufferSetStreams(RvVertexBuffer* b, int streamCount, int vertexCount) {
    if (!b) return;
    if (streamCount < 0) streamCount = 0;
    if (streamCount > kRvMaxVertexStreams) streamCount = kRvMaxVertexStreams;
    if (vertexCount < 0) vertexCount = 0;
    if (streamCount == static_cast<int>(b->streams.size()) && vertexCount == b->vertexCount) return;
    for (RvVertexStream& s : b->streams)
        KuRelease(s.data);
    b->streams.assign(static_cast<size_t>(streamCount), RvVertexStream{});
    b->vertexCount = vertexCount;
    b->layoutChanged = b->dataChanged = maskFrom(0);
}

bool RvVertexBufferSetInterleavedStreamData(RvVertexBuffer* b, int index, const char* name,
                                            uint32_t vertexType, RvData* data, int offset, int stride) {
    if (!b || index < 0 || index >= static_cast<int>(b->streams.size())) return false;
    RvVertexStream& s = b->streams[static_cast<size_t>(index)];
    bool layout = false;
    if (name && s.name != name) {
        s.name = name;
        layout = true;
    }
    if (s.vertexType != vertexType || s.offset != offset || s.stride != stride) {
        // Element storage of another size no longer fits the stream.
        if (RvVertexTypeSize(s.vertexType) != RvVertexTypeSize(vertexType)) {
            KuRelease(s.data);
            s.data = nullptr;
        }
        s.vertexType = vertexType;
        s.offset = offset < 0 ? 0 : offset;
        s.stride = stride < 0 ? 0 : stride;
        layout = true;
    }
    if (data) KuSetRetained(s.data, data);
    if (layout) {
        b->layoutChanged |= maskFrom(index);
        b->dataChanged |= maskFrom(index);
    } else {
        b->dataChanged |= 1u << index;
    }
    return true;
}

bool RvVertexBufferSetStreamData(RvVertexBuffer* b, int index, const char* name, uint32_t vertexType,
                                 RvData* data) {
    return RvVertexBufferSetInterleavedStreamData(b, index, name, vertexType, data, 0,
                                                  RvVertexTypeSize(vertexType));
}

size_t RvVertexBufferGetStreamDataSize(const RvVertexBuffer* b, int index) {
    const RvVertexStream* s = RvVertexBufferGetStreamAtIndex(b, index);
    if (!s || b->vertexCount <= 0) return 0;
    int size = RvVertexTypeSize(s->vertexType);
    int stride = s->stride > 0 ? s->stride : size;
    return static_cast<size_t>(s->offset) + static_cast<size_t>(b->vertexCount - 1) * stride + size;
}

void* RvVertexBufferGetMutableStreamDataPtr(RvVertexBuffer* b, int index) {
    if (!b || index < 0 || index >= static_cast<int>(b->streams.size())) return nullptr;
    RvVertexStream& s = b->streams[static_cast<size_t>(index)];
    if (!s.data) {
        s.data = RvNewMutableData(RvVertexBufferGetStreamDataSize(b, index));
    } else if (!s.data->isMutable()) {
        RvData* copy = RvNewMutableDataCopy(s.data);
        KuRelease(s.data);
        s.data = copy;
    }
    b->dataChanged |= 1u << index;
    return s.data->mutableBytes();
}

void RvVertexBufferSetNeedsUpdate(RvVertexBuffer* b, int index) {
    if (b && index >= 0 && index < static_cast<int>(b->streams.size())) b->dataChanged |= 1u << index;
}

void RvVertexBufferSetNeedsLayout(RvVertexBuffer* b, int index) {
    if (b && index >= 0 && index < static_cast<int>(b->streams.size())) {
        b->layoutChanged |= maskFrom(index);
        b->dataChanged |= maskFrom(index);
    }
}

const RvVertexStream* RvVertexBufferGetStream(const RvVertexBuffer* b, const char* name) {
    if (!b || !name) return nullptr;
    for (const RvVertexStream& s : b->streams)
        if (s.name == name) return &s;
    return nullptr;
}

const RvVertexStream* RvVertexBufferGetStreamAtIndex(const RvVertexBuffer* b, int index) {
    if (!b || index < 0 || index >= static_cast<int>(b->streams.size())) return nullptr;
    return &b->streams[static_cast<size_t>(index)];
}

int RvVertexBufferGetStreamCount(const RvVertexBuffer* b) {
    return b ? static_cast<int>(b->streams.size()) : 0;
}
int RvVertexBufferGetVertexCount(const RvVertexBuffer* b) {
    return b ? b->vertexCount : 0;
}

RvVertexFormat RvVertexBufferGetVertexFormat(const RvVertexBuffer* b) {
    RvVertexFormat f;
    if (!b) return f;
    f.streamCount = static_cast<int>(b->streams.size());
    for (int i = 0; i < f.streamCount; i++) {
        const RvVertexStream& s = b->streams[static_cast<size_t>(i)];
        f.entries[i] = {s.name.c_str(), s.vertexType, s.offset, s.stride};
    }
    return f;
}

bool RvVertexFormatEqual(const RvVertexFormat& a, const RvVertexFormat& b) {
    if (a.streamCount != b.streamCount) return false;
    for (int i = 0; i < a.streamCount; i++) {
        const RvVertexFormatEntry &x = a.entries[i], &y = b.entries[i];
        if (x.vertexType != y.vertexType || x.offset != y.offset || x.stride != y.stride) return false;
        if (strcmp(x.name ? x.name : "", y.name ? y.name : "") != 0) return false;
    }
    return true;
}

size_t RvVertexBufferCopyInterleavedStreamData(const RvVertexBuffer* b, int index, void* destination) {
    const RvVertexStream* s = RvVertexBufferGetStreamAtIndex(b, index);
    if (!s || !destination) return 0;
    size_t size = static_cast<size_t>(RvVertexTypeSize(s->vertexType));
    size_t stride = s->stride > 0 ? static_cast<size_t>(s->stride) : size;
    size_t total = size * static_cast<size_t>(b->vertexCount);
    auto* out = static_cast<uint8_t*>(destination);
    memset(out, 0, total);
    const uint8_t* bytes = s->data ? s->data->bytes() : nullptr;
    size_t length = s->data ? s->data->length() : 0;
    for (int v = 0; v < b->vertexCount && bytes; v++) {
        size_t at = static_cast<size_t>(s->offset) + stride * static_cast<size_t>(v);
        if (at + size > length) break;
        memcpy(out + size * static_cast<size_t>(v), bytes + at, size);
    }
    return total;
}

void RvVertexBufferDiscardLocalStorage(RvVertexBuffer* b) {
    if (!b) return;
    for (RvVertexStream& s : b->streams) {
        KuRelease(s.data);
        s.data = nullptr;
    }
}

// >>index buffer

RvIndexBuffer::RvIndexBuffer(RvGraphicsDevice* d, int mode) : RvGraphicsResource(d), accessMode(mode) {}
RvIndexBuffer::~RvIndexBuffer() {
    KuRelease(data);
}

void RvIndexBufferSetData(RvIndexBuffer* b, uint32_t indexType, int count, RvData* data) {
    if (!b) return;
    int elementSize = static_cast<int>(indexType >> 16);
    if (elementSize != 2 && elementSize != 4) {
        indexType = kRvIndex16;  // unknown types read as the default
        elementSize = 2;
    }
    if (count <= 0) count = data ? static_cast<int>(data->length() / static_cast<size_t>(elementSize)) : 0;
    if (elementSize != b->elementSize || count != b->indexCount) {
        KuRelease(b->data);
        b->data = nullptr;
    }
    b->indexType = indexType;
    b->elementSize = elementSize;
    b->indexCount = count;
    if (data) KuSetRetained(b->data, data);
}

void* RvIndexBufferGetMutableDataPtr(RvIndexBuffer* b) {
    if (!b) return nullptr;
    if (!b->data) {
        b->data = RvNewMutableData(static_cast<size_t>(b->elementSize) * static_cast<size_t>(b->indexCount));
    } else if (!b->data->isMutable()) {
        RvData* copy = RvNewMutableDataCopy(b->data);
        KuRelease(b->data);
        b->data = copy;
    }
    return b->data->mutableBytes();
}

uint32_t RvIndexBufferGetIndexType(const RvIndexBuffer* b) {
    return b ? b->indexType : kRvIndex16;
}
int RvIndexBufferGetIndexCount(const RvIndexBuffer* b) {
    return b ? b->indexCount : 0;
}

void RvIndexBufferDiscardLocalStorage(RvIndexBuffer* b) {
    if (!b) return;
    KuRelease(b->data);
    b->data = nullptr;
}
