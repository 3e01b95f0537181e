// ZoneAllocator: one large zero-filled region carved into tagged blocks.
//
// Invariant (checked by CheckHeap): every block, free or used, sits in one
// circular doubly linked list in address order through the sentinel
// mBlockList; the blocks tile [mHeap, mHeap + mHeapSize) without gaps; no two
// free blocks are neighbours; every header holds kZoneMagic; every used block
// ends in a guard word; mAllocCount equals the number of used blocks.
#pragma once

#include <cstdint>

#include "memory/Allocator.h"

constexpr uint32_t kZoneMagic = 0xDA1EDEAD;
constexpr uint64_t kBlockHeaderSize = 32;
constexpr uint64_t kGuardSize = 4;
constexpr uint64_t kBlockAlign = 16;
// A split leaves a remainder only when the slack is strictly larger than this:
// smaller leftovers would be headers with almost no room behind them.
constexpr uint64_t kMinSplitSlack = 64;
constexpr int32_t kSentinelTag = 1;

struct MemoryBlock {
    uint64_t size; // whole block: header, user data, slack and guard word
    MemoryBlock* next;
    MemoryBlock* prev;
    int32_t tag; // 0 = free
    uint32_t magic;
};
static_assert(sizeof(MemoryBlock) == kBlockHeaderSize, "block header must stay 32 bytes");

class ZoneAllocator : public Allocator {
public:
    explicit ZoneAllocator(uint64_t heapSize);
    ~ZoneAllocator() override;

    int Init() override;
    void* Alloc(uint64_t size, int32_t tag) override;
    void Free(void* pointer) override;
    uint64_t GetAllocCount() override;

    // Walks the whole list and verifies the invariant above. Returns 0 when it
    // holds; otherwise logs what broke (tag "ZoneAllocator") and returns -1.
    // For tests and debug builds, never the allocation path.
    int CheckHeap() const;
    // Bytes in used blocks (headers, slack and guard words included): what
    // the live blocks take of the heap.
    uint64_t BytesInUse() const;

    uint8_t* mHeap;
    uint64_t mHeapSize;
    MemoryBlock mBlockList;
    MemoryBlock* mRover;
    uint64_t mAllocCount;

private:
    bool IsHeaderAddress(const void* address) const;
    bool LinksIntact(const MemoryBlock* block) const;
    uint64_t OffsetOf(const MemoryBlock* block) const;
    void Release(MemoryBlock* block);
};
