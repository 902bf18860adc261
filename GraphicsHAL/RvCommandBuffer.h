// The command buffer a frame is recorded into: records of {execute function, size, payload} in one
// growable byte block, plus the objects those records refer to, kept alive until the buffer is
// next reused for recording.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "KuObject.h"

class RvRenderer;

// Called with the renderer executing the buffer and the record's payload (8-byte aligned).
using RvCommandFunction = void (*)(RvRenderer* renderer, const void* payload);

struct RvCommandHeader {
    RvCommandFunction execute;
    uint64_t size;  // whole record in bytes, header included
};

class RvCommandBuffer {
public:
    static constexpr size_t kInitialCapacity = 16384;

    RvCommandBuffer();
    ~RvCommandBuffer();  // releases the retained objects
    RvCommandBuffer(const RvCommandBuffer&) = delete;
    RvCommandBuffer& operator=(const RvCommandBuffer&) = delete;

    // Appends a record and returns its payload for the caller to fill (every field: it is not
    // cleared), valid until the next append. The capacity doubles until the record fits and is kept
    // from frame to frame.
    // Inline: it runs several times per draw.
    void* append(RvCommandFunction execute, size_t payloadSize) {
        // Every record starts 8-byte aligned, so payload fields can be read in place.
        size_t used = sizeof(RvCommandHeader) + payloadSize;
        size_t size = (used + 7) & ~static_cast<size_t>(7);
        if (size > capacity_ - length_) grow(size);
        uint8_t* record = bytes_ + length_;
        // Only the alignment tail is cleared: the caller writes every payload field.
        for (size_t i = used; i < size; i++)
            record[i] = 0;
        RvCommandHeader header{execute, static_cast<uint64_t>(size)};
        memcpy(record, &header, sizeof header);
        length_ += size;
        records_++;
        return record + sizeof(RvCommandHeader);
    }
    template <typename T>
    T* append(RvCommandFunction execute) {
        return static_cast<T*>(append(execute, sizeof(T)));
    }
    // Keeps `object` alive (retained) until reset(); null ignored.
    void retain(KuObject* object);
    // Makes the buffer ready for recording: length 0, retained objects released.
    void reset();
    // Runs every record in order, then sets the length to 0 (the retained objects stay).
    void execute(RvRenderer* renderer);
    void swap(RvCommandBuffer& other);

    size_t length() const { return length_; }
    size_t capacity() const { return capacity_; }
    int recordCount() const { return records_; }
    size_t retainedCount() const { return retained_.size(); }

    // Calls visit(header, payload) for every record in order.
    template <typename F>
    void forEach(F visit) const {
        size_t at = 0;
        while (at < length_) {
            auto* header = reinterpret_cast<const RvCommandHeader*>(bytes_ + at);
            visit(*header, bytes_ + at + sizeof(RvCommandHeader));
            at += static_cast<size_t>(header->size);
        }
    }

private:
    // Doubles the capacity until `size` more bytes fit, keeping the recorded bytes.
    void grow(size_t size);

    uint8_t* bytes_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;
    int records_ = 0;
    std::vector<KuObject*> retained_;
};
