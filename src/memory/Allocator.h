// Allocator: the interface of the tagged-block heaps. Every block carries a
// non-zero owner tag so leaks can be traced back to their subsystem.
#pragma once

#include <cstdint>

// Owner tags. 0 is refused ("free"), 1 is reserved for the list sentinel.
enum AllocTag : int32_t {
    TAG_MODEL = 5,  // model import, mesh arrays, dynamic text
    TAG_EVENTS = 7, // the event bus queue
};

class Allocator {
public:
    virtual ~Allocator() = default;
    virtual int Init() = 0;
    virtual void* Alloc(uint64_t size, int32_t tag) = 0;
    virtual void Free(void* pointer) = 0;
    virtual uint64_t GetAllocCount() = 0;
};
