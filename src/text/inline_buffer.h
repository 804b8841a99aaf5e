// A growable array whose first N elements live inside the object itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>

// For the per-mail lists and texts: small for nearly every mail, so that
// only a large one touches the heap. Elements are plain data, copied as
// bytes and never constructed in place, so that making an empty buffer costs
// nothing; the object is neither copied nor moved. Growing throws
// std::bad_alloc when there is no room.
template <typename T, std::size_t N>
class InlineBuffer {
    static_assert(std::is_trivially_copyable_v<T>, "elements are copied as bytes");

public:
    InlineBuffer() = default;
    InlineBuffer(const InlineBuffer&) = delete;
    InlineBuffer& operator=(const InlineBuffer&) = delete;

    T* data() { return items_; }
    const T* data() const { return items_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return items_[i]; }
    const T& operator[](std::size_t i) const { return items_[i]; }

    // Drops the elements from size on; size must not exceed size().
    void truncate(std::size_t size) { size_ = size; }
    // Makes it size elements long; those added hold whatever was there.
    void resize(std::size_t size) {
        reserve(size);
        size_ = size;
    }
    void reserve(std::size_t capacity) {
        if (capacity > capacity_) grow(capacity);
    }
    // item may be one of this buffer's own elements.
    void push_back(const T& item) {
        // With room left nothing moves, so item is copied where it stands.
        if (size_ < capacity_) {
            std::memcpy(static_cast<void*>(items_ + size_++), &item, sizeof(T));
            return;
        }
        append(&item, 1);
    }
    // items may lie in this buffer's own elements: the storage they stand in
    // is given up only once they are copied.
    void append(const T* items, std::size_t count) {
        if (count == 0) return;
        std::unique_ptr<T[]> old;
        if (count > capacity_ - size_) old = grow(std::max(2 * capacity_, size_ + count));
        std::memcpy(static_cast<void*>(items_ + size_), items, count * sizeof(T));
        size_ += count;
    }

private:
    // Moves the elements to a heap block of capacity; returns the block they
    // stood in, if it was one, for the caller to give up.
    std::unique_ptr<T[]> grow(std::size_t capacity) {
        std::unique_ptr<T[]> larger(new T[capacity]);
        std::memcpy(static_cast<void*>(larger.get()), items_, size_ * sizeof(T));
        std::unique_ptr<T[]> old = std::move(heap_);
        heap_ = std::move(larger);
        items_ = heap_.get();
        capacity_ = capacity;
        return old;
    }

    alignas(T) unsigned char inline_[N * sizeof(T)];
    std::unique_ptr<T[]> heap_;
    T* items_ = reinterpret_cast<T*>(inline_);
    std::size_t size_ = 0;
    std::size_t capacity_ = N;
};
