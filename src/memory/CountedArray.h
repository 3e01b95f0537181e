// CountedArray: arrays of objects kept in one zone block, preceded by their
// 64-bit element count so the owner can destroy every element before freeing
// the block.
#pragma once

#include <cstdint>
#include <new>

#include "memory/Allocator.h"

// The count sits in the 16 bytes before the first element, so the elements
// keep the block's 16-byte alignment.
constexpr uint64_t kCountedArrayPrefix = 16;

// Allocates and default-constructs count elements; null when the block can't be had.
template <class T> T* NewCountedArray(Allocator* allocator, uint64_t count, int32_t tag) {
    static_assert(alignof(T) <= kCountedArrayPrefix, "element alignment exceeds the prefix");
    if (count > (UINT64_MAX - kCountedArrayPrefix) / sizeof(T))
        return nullptr;
    uint8_t* block = static_cast<uint8_t*>(allocator->Alloc(kCountedArrayPrefix + count * sizeof(T), tag));
    if (!block)
        return nullptr;
    *reinterpret_cast<uint64_t*>(block) = count;
    T* first = reinterpret_cast<T*>(block + kCountedArrayPrefix);
    for (uint64_t i = 0; i < count; ++i)
        new (first + i) T();
    return first;
}

template <class T> uint64_t CountedArraySize(const T* first) {
    return *reinterpret_cast<const uint64_t*>(reinterpret_cast<const uint8_t*>(first) - kCountedArrayPrefix);
}

// Destroys the elements in index order, then frees the block, count included.
template <class T> void DeleteCountedArray(Allocator* allocator, T* first) {
    if (!first)
        return;
    uint64_t count = CountedArraySize(first);
    for (uint64_t i = 0; i < count; ++i)
        first[i].~T();
    allocator->Free(reinterpret_cast<uint8_t*>(first) - kCountedArrayPrefix);
}
