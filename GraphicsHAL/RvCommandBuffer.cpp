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

void RvCommandBuffer::grow(size_t size) {
    size_t grown = capacity_ ? capacity_ : kInitialCapacity;
    while (length_ + size > grown)
        grown *= 2;
    auto* bigger = new uint8_t[grown];
    if (length_) memcpy(bigger, bytes_, length_);
    delete[] bytes_;
    bytes_ = bigger;
    capacity_ = grown;
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
