#include "RvCommandBuffer.h"

#include <cstring>
#include <utility>

RvCommandBuffer::RvCommandBuffer() : bytes_(new uint8_t[kInitialCapacity]), capacity_(kInitialCapacity) {
    retained_.reserve(256);
}

RvCommandBuffer::~RvCommandBuffer() {
    reset();
    delete[] bytes_;
}

void* RvCommandBuffer::append(RvCommandFunction execute, size_t payloadSize) {
    // Every record starts 8-byte aligned, so payload fields can be read in place.
    size_t size = (sizeof(RvCommandHeader) + payloadSize + 7) & ~static_cast<size_t>(7);
    if (length_ + size > capacity_) {
        size_t grown = capacity_ ? capacity_ : kInitialCapacity;
        while (length_ + size > grown)
            grown *= 2;
        auto* bigger = new uint8_t[grown];
        if (length_) memcpy(bigger, bytes_, length_);
        delete[] bytes_;
        bytes_ = bigger;
        capacity_ = grown;
    }
    uint8_t* record = bytes_ + length_;
    // Only the alignment tail is cleared: the caller writes every payload field.
    size_t used = sizeof(RvCommandHeader) + payloadSize;
    if (size > used) memset(record + used, 0, size - used);
    RvCommandHeader header{execute, static_cast<uint64_t>(size)};
    memcpy(record, &header, sizeof header);
    length_ += size;
    records_++;
    return record + sizeof(RvCommandHeader);
}

void RvCommandBuffer::retain(KuObject* object) {
    if (!object) return;
    KuRetain(object);
    retained_.push_back(object);
}

void RvCommandBuffer::reset() {
    length_ = 0;
    records_ = 0;
    for (size_t i = 0; i < retained_.size(); i++)
        KuRelease(retained_[i]);
    retained_.clear();
}

void RvCommandBuffer::execute(RvRenderer* renderer) {
    size_t at = 0;
    while (at < length_) {
        auto* header = reinterpret_cast<const RvCommandHeader*>(bytes_ + at);
        header->execute(renderer, bytes_ + at + sizeof(RvCommandHeader));
        at += static_cast<size_t>(header->size);
    }
    length_ = 0;
    records_ = 0;
}

void RvCommandBuffer::swap(RvCommandBuffer& other) {
    std::swap(bytes_, other.bytes_);
    std::swap(length_, other.length_);
    std::swap(capacity_, other.capacity_);
    std::swap(records_, other.records_);
    retained_.swap(other.retained_);
}
