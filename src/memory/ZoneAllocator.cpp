// ZoneAllocator: owns the one zero-filled region of the process and the
// circular list of tagged blocks that tiles it (next-fit, split, coalesce).
#include "memory/ZoneAllocator.h"

#include <cassert>
#include <cstdlib>

#include "core/Logger.h"

namespace {

const char* const kTag = "ZoneAllocator";

// Heaps of at least this size are reported in whole megabytes.
constexpr uint64_t kMegabyte = 1ull << 20;
constexpr int kMegabyteShift = 20;
// need = size + header + guard rounded up to 16, i.e. (size + 51) & ~15.
constexpr uint64_t kBlockOverhead = kBlockHeaderSize + kGuardSize + kBlockAlign - 1;
// The smallest block, a zero-byte request: header and guard word, rounded (48).
constexpr uint64_t kMinBlockSize = kBlockOverhead & ~(kBlockAlign - 1);

uint8_t* Bytes(MemoryBlock* block) {
    return reinterpret_cast<uint8_t*>(block);
}
const uint8_t* Bytes(const MemoryBlock* block) {
    return reinterpret_cast<const uint8_t*>(block);
}

uint32_t* GuardWord(MemoryBlock* block) {
    return reinterpret_cast<uint32_t*>(Bytes(block) + block->size - kGuardSize);
}

// The block size that holds size user bytes, or false when the sum does not
// fit in 64 bits (such a request can never be met, and the wrapped sum would
// be a small, wrong block).
bool BlockSizeFor(uint64_t size, uint64_t* need) {
    if (size > UINT64_MAX - kBlockOverhead)
        return false;
    *need = (size + kBlockOverhead) & ~(kBlockAlign - 1);
    return true;
}

int Broken(const char* what, uint64_t offset) {
    LogMessage(LOG_ERROR, kTag, "Heap check failed: %s (block at offset %llu)", what,
               static_cast<unsigned long long>(offset));
    return -1;
}

} // namespace

ZoneAllocator::ZoneAllocator(uint64_t heapSize)
    : mHeap(nullptr), mHeapSize(heapSize), mBlockList(), mRover(nullptr), mAllocCount(0) {}

ZoneAllocator::~ZoneAllocator() {
    free(mHeap);
}

int ZoneAllocator::Init() {
    if (mHeap) {
        LogMessage(LOG_ERROR, kTag, "Zone heap is already initialized");
        return -1;
    }
    // Anything smaller could not even hold the first block's header.
    if (mHeapSize < kMinBlockSize) {
        LogMessage(LOG_ERROR, kTag, "Heap size of %llu bytes is too small for a block",
                   static_cast<unsigned long long>(mHeapSize));
        return -1;
    }
    mHeap = static_cast<uint8_t*>(calloc(mHeapSize, 1));
    const bool inMegabytes = mHeapSize >= kMegabyte;
    const unsigned long long shown = inMegabytes ? mHeapSize >> kMegabyteShift : mHeapSize;
    if (!mHeap) {
        LogMessage(LOG_ERROR, kTag,
                   inMegabytes ? "Couldn't allocate a %llu megabyte heap"
                               : "Couldn't allocate a %llu byte heap",
                   shown);
        return -1;
    }
    // calloc aligns for any fundamental type (16 bytes here), which puts every
    // header and user pointer on a 16-byte boundary.
    assert(reinterpret_cast<uintptr_t>(mHeap) % kBlockAlign == 0 &&
           "the region must be 16-byte aligned so user pointers are");
    LogMessage(LOG_INFO, kTag,
               inMegabytes ? "Allocated a %llu megabyte heap at %p"
                           : "Allocated a %llu byte heap at %p",
               shown, static_cast<void*>(mHeap));

    MemoryBlock* first = reinterpret_cast<MemoryBlock*>(mHeap);
    mBlockList = MemoryBlock{0, first, first, kSentinelTag, 0};
    *first = MemoryBlock{mHeapSize, &mBlockList, &mBlockList, 0, kZoneMagic};
    mRover = first;
    return 0;
}

void* ZoneAllocator::Alloc(uint64_t size, int32_t tag) {
    if (tag == 0) {
        LogMessage(LOG_ERROR, kTag, "Zone allocation failed: tag value of 0 was used");
        return nullptr;
    }
    if (!mRover) {
        LogMessage(LOG_ERROR, kTag, "Zone allocation failed: the heap is not initialized");
        return nullptr;
    }
    uint64_t need = 0;
    if (!BlockSizeFor(size, &need)) {
        // No block size exists for this request; report what was asked for.
        LogMessage(LOG_ERROR, kTag, "Zone allocation failed: couldn't allocate %llu bytes",
                   static_cast<unsigned long long>(size));
        return nullptr;
    }

    // Next-fit: one full circle from the rover, the block just behind it
    // (stop) included. The sentinel's tag is 1, so it is never taken.
    MemoryBlock* stop = mRover->prev;
    MemoryBlock* block = mRover;
    while (block->tag != 0 || block->size < need) {
        if (block == stop) {
            LogMessage(LOG_ERROR, kTag, "Zone allocation failed: couldn't allocate %llu bytes",
                       static_cast<unsigned long long>(need));
            return nullptr;
        }
        block = block->next;
    }

    const uint64_t extra = block->size - need;
    if (extra > kMinSplitSlack) {
        MemoryBlock* rest = reinterpret_cast<MemoryBlock*>(Bytes(block) + need);
        *rest = MemoryBlock{extra, block->next, block, 0, kZoneMagic};
        block->next->prev = rest;
        block->next = rest;
        block->size = need;
    }
    block->tag = tag;
    block->magic = kZoneMagic;
    *GuardWord(block) = kZoneMagic;

    mRover = block->next;
    ++mAllocCount;
    return Bytes(block) + kBlockHeaderSize;
}

bool ZoneAllocator::IsHeaderAddress(const void* address) const {
    if (address == &mBlockList)
        return true;
    // Integer arithmetic: the address may belong to no object of the region at all.
    const uintptr_t at = reinterpret_cast<uintptr_t>(address);
    const uintptr_t base = reinterpret_cast<uintptr_t>(mHeap);
    return mHeap && at >= base && at - base <= mHeapSize - kMinBlockSize &&
           (at - base) % kBlockAlign == 0;
}

// Constant-time check that a header with the right magic really is a block of
// this list: its neighbours are headers (so reading them stays inside the
// region), they link back to it, and its size reaches exactly the next one.
bool ZoneAllocator::LinksIntact(const MemoryBlock* block) const {
    if (!IsHeaderAddress(block->prev) || !IsHeaderAddress(block->next))
        return false;
    if (block->prev->next != block || block->next->prev != block)
        return false;
    // Offsets are unsigned: a damaged size wraps to a mismatch, never to a pointer.
    const uint64_t at = OffsetOf(block);
    const uint64_t start =
        block->prev == &mBlockList ? 0 : OffsetOf(block->prev) + block->prev->size;
    const uint64_t end = block->next == &mBlockList ? mHeapSize : OffsetOf(block->next);
    return start == at && end > at && end - at == block->size && block->size >= kMinBlockSize;
}

uint64_t ZoneAllocator::OffsetOf(const MemoryBlock* block) const {
    return static_cast<uint64_t>(Bytes(block) - mHeap);
}

void ZoneAllocator::Free(void* pointer) {
    if (!pointer) {
        LogMessage(LOG_ERROR, kTag, "Attempted to free a null pointer");
        return;
    }
    // Offset of the would-be header, in unsigned integers: a pointer below the
    // region wraps to a huge offset, so one comparison bounds both ends, and a
    // header that passes leaves room for a whole block before the region ends.
    const uint64_t offset = reinterpret_cast<uintptr_t>(pointer) -
                            reinterpret_cast<uintptr_t>(mHeap) - kBlockHeaderSize;
    if (!mHeap || offset > mHeapSize - kMinBlockSize) {
        LogMessage(LOG_ERROR, kTag, "Attempted to free a pointer outside the zone heap");
        return;
    }
    if (offset % kBlockAlign != 0) {
        LogMessage(LOG_ERROR, kTag,
                   "Attempted to free a pointer that is not the start of a zone block");
        return;
    }
    MemoryBlock* block =
        reinterpret_cast<MemoryBlock*>(static_cast<uint8_t*>(pointer) - kBlockHeaderSize);
    if (block->tag == 0) {
        LogMessage(LOG_ERROR, kTag, "Attempted to free an already-freed block");
        return;
    }
    if (block->magic != kZoneMagic) {
        LogMessage(LOG_ERROR, kTag,
                   "Attempted to free a block with a bad magic number (heap corruption?)");
        return;
    }
    if (!LinksIntact(block)) {
        LogMessage(LOG_ERROR, kTag,
                   "Attempted to free a block with damaged links (heap corruption?)");
        return;
    }
    Release(block);
}

// Marks the block free and merges it with a free neighbour on either side, so
// that no two free blocks are ever adjacent.
void ZoneAllocator::Release(MemoryBlock* block) {
    block->tag = 0;
    MemoryBlock* prev = block->prev;
    if (prev->tag == 0) {
        prev->size += block->size;
        prev->next = block->next;
        block->next->prev = prev;
        if (mRover == block)
            mRover = prev;
        block = prev;
    }
    MemoryBlock* next = block->next;
    if (next->tag == 0) {
        block->size += next->size;
        block->next = next->next;
        next->next->prev = block;
        if (mRover == next)
            mRover = block;
    }
    --mAllocCount;
}

uint64_t ZoneAllocator::BytesInUse() const {
    uint64_t bytes = 0;
    for (const MemoryBlock* b = mBlockList.next; b != &mBlockList; b = b->next)
        bytes += b->tag != 0 ? b->size : 0;
    return bytes;
}

uint64_t ZoneAllocator::GetAllocCount() {
    return mAllocCount;
}

int ZoneAllocator::CheckHeap() const {
    if (!mHeap)
        return Broken("the heap is not initialized", 0);
    if (mBlockList.size != 0 || mBlockList.tag != kSentinelTag || mBlockList.magic != 0)
        return Broken("the sentinel was overwritten", 0);
    const uint8_t* expected = mHeap;
    const MemoryBlock* prev = &mBlockList;
    uint64_t used = 0;
    bool roverSeen = mRover == &mBlockList;
    for (const MemoryBlock* block = mBlockList.next; block != &mBlockList; block = block->next) {
        const uint64_t offset = static_cast<uint64_t>(expected - mHeap);
        // Each step moves at least one minimal block forward, so the walk ends
        // even on a damaged list; nothing is read before its address is known good.
        if (mHeapSize - offset < kMinBlockSize)
            return Broken("the list runs past the end of the region", offset);
        if (Bytes(block) != expected)
            return Broken("a block does not start where the previous one ends", offset);
        if (block->magic != kZoneMagic)
            return Broken("a header lost its magic number", offset);
        if (block->prev != prev)
            return Broken("a back link does not match", offset);
        if (block->size < kMinBlockSize || block->size > mHeapSize - offset)
            return Broken("a block size runs outside the region", offset);
        if (block->next != &mBlockList && block->size % kBlockAlign != 0)
            return Broken("a block size is not a multiple of 16", offset);
        if (block->tag == 0 && prev->tag == 0)
            return Broken("two free blocks are neighbours", offset);
        if (block->tag != 0) {
            ++used;
            if (*reinterpret_cast<const uint32_t*>(expected + block->size - kGuardSize) !=
                kZoneMagic)
                return Broken("a guard word was overwritten", offset);
        }
        roverSeen = roverSeen || block == mRover;
        prev = block;
        expected += block->size;
    }
    const uint64_t end = static_cast<uint64_t>(expected - mHeap);
    if (end != mHeapSize)
        return Broken("the blocks do not cover the whole region", end);
    if (mBlockList.prev != prev)
        return Broken("the sentinel's back link does not match", end);
    if (used != mAllocCount)
        return Broken("the allocation count does not match the used blocks", end);
    if (!roverSeen)
        return Broken("the rover is not a block of the list", end);
    return 0;
}
