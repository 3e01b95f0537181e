// DecoderAllocator: the image decoder's blocks, each charged to the decode
// it was made in and listed, so that a limit holds for every format and a
// decode stopped part way gives back everything it held.
#include "image/DecoderAllocator.h"

#include <cstdlib>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace {

struct DecoderMemory {
    uint64_t live = 0;           // bytes the decoder holds now
    uint64_t limit = UINT64_MAX; // what it may hold during this decode
    bool refused = false;
    uint64_t wanted = 0;
    bool exhausted = false;
    uint64_t decode = 0; // the decode in progress, 0 outside one
    uint64_t decodes = 0;
};
DecoderMemory gMemory;

// In front of every block: its size, the decode it was made in and its
// neighbours in the list of live blocks. 32 bytes keep the block as aligned
// as malloc's.
struct BlockHeader {
    size_t size;
    uint64_t decode;
    BlockHeader* prev;
    BlockHeader* next;
};
static_assert(sizeof(BlockHeader) % alignof(std::max_align_t) == 0, "blocks stay aligned");
BlockHeader gLiveBlocks = {0, 0, &gLiveBlocks, &gLiveBlocks};

void Link(BlockHeader* header) {
    header->prev = &gLiveBlocks;
    header->next = gLiveBlocks.next;
    gLiveBlocks.next->prev = header;
    gLiveBlocks.next = header;
}

void Unlink(BlockHeader* header) {
    header->prev->next = header->next;
    header->next->prev = header->prev;
}

BlockHeader* HeaderOf(void* block) {
    return reinterpret_cast<BlockHeader*>(static_cast<char*>(block) - sizeof(BlockHeader));
}

bool Charge(size_t oldSize, size_t newSize) {
    const uint64_t live = gMemory.live - oldSize;
    if (newSize > gMemory.limit || live > gMemory.limit - newSize) {
        gMemory.refused = true;
        gMemory.wanted = newSize > UINT64_MAX - live ? UINT64_MAX : live + newSize;
        return false;
    }
    gMemory.live = live + newSize;
    return true;
}

// ---- Clearing large blocks ----------------------------------------------------------------
// The GIF decoder clears its whole screen, 9 bytes a pixel (the picture, its
// background and which pixels the frame drew), before it reads the first
// frame: 576 MiB at 8192 x 8192, and writing that many zeros costs 0.3 to
// 0.5 s of page faults even when the file then turns out to hold no frame.
// Decoder blocks are private anonymous memory (they come from calloc and
// realloc), and such a page reads as zeros once MADV_DONTNEED has given it
// back: exactly memset's result, and free for a page never touched. So a
// large zero fill inside one block gives back its whole pages and writes only
// the partial pages at its two ends.

constexpr size_t kLazyClearBytes = size_t(1) << 20;

bool InsideOneBlock(const char* to, size_t n) {
    for (const BlockHeader* h = gLiveBlocks.next; h != &gLiveBlocks; h = h->next) {
        const char* data = reinterpret_cast<const char*>(h + 1);
        if (to >= data && to <= data + h->size && n <= size_t(data + h->size - to))
            return true;
    }
    return false;
}

} // namespace

void DecoderBeginDecode(uint64_t limit) {
    gMemory.limit = limit > UINT64_MAX - gMemory.live ? UINT64_MAX : gMemory.live + limit;
    gMemory.refused = gMemory.exhausted = false;
    gMemory.wanted = 0;
    gMemory.decode = ++gMemory.decodes;
}

DecoderSpend DecoderEndDecode() {
    DecoderSpend spent;
    spent.held = gMemory.live;
    spent.refused = gMemory.refused;
    spent.wanted = gMemory.wanted;
    spent.exhausted = gMemory.exhausted;
    gMemory.limit = UINT64_MAX;
    gMemory.decode = 0;
    return spent;
}

void DecoderFreeBlocksOfDecode() {
    for (BlockHeader* header = gLiveBlocks.next; header != &gLiveBlocks;) {
        BlockHeader* next = header->next;
        if (header->decode == gMemory.decode)
            DecoderFree(header + 1);
        header = next;
    }
}

void* DecoderRealloc(void* block, size_t size) {
    BlockHeader* old = block ? HeaderOf(block) : nullptr;
    const size_t oldSize = old ? old->size : 0;
    if (!Charge(oldSize, size))
        return nullptr;
    if (size > SIZE_MAX - sizeof(BlockHeader)) {
        gMemory.live = gMemory.live - size + oldSize;
        return nullptr;
    }
    if (old)
        Unlink(old);
    // New blocks start zeroed: the decoder reads some memory it never wrote
    // (the tables of a JPEG Huffman slot a corrupt scan names but no segment
    // defined), and zeros keep what it derives from them in bounds and
    // repeatable. Large blocks come zeroed from the system at no cost. What a
    // block grows by is only ever written before it is read (output buffers).
    auto* header = static_cast<BlockHeader*>(old ? std::realloc(old, size + sizeof(BlockHeader))
                                                 : std::calloc(1, size + sizeof(BlockHeader)));
    if (!header) {
        gMemory.exhausted = true;
        gMemory.live = gMemory.live - size + oldSize;
        if (old)
            Link(old);
        return nullptr;
    }
    header->size = size;
    if (!old)
        header->decode = gMemory.decode;
    Link(header);
    return header + 1;
}

void* DecoderMalloc(size_t size) {
    return DecoderRealloc(nullptr, size);
}

void DecoderFree(void* block) {
    if (!block)
        return;
    BlockHeader* header = HeaderOf(block);
    gMemory.live -= header->size;
    Unlink(header);
    std::free(header);
}

void* DecoderMemset(void* to, int value, size_t n) {
    if (value != 0 || n < kLazyClearBytes || !InsideOneBlock(static_cast<char*>(to), n))
        return std::memset(to, value, n);
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = uintptr_t(to), end = begin + n;
    const uintptr_t first = (begin + page - 1) & ~(page - 1), last = end & ~(page - 1);
    std::memset(to, 0, first - begin);
    std::memset(reinterpret_cast<void*>(last), 0, end - last);
    if (madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED) != 0)
        std::memset(reinterpret_cast<void*>(first), 0, last - first);
    return to;
}

uint64_t DecoderBytesHeld() {
    return gMemory.live;
}

bool DecoderCheckBlocks() {
    uint64_t total = 0;
    for (const BlockHeader* h = gLiveBlocks.next; h != &gLiveBlocks; h = h->next) {
        if (h->next->prev != h || h->prev->next != h)
            return false;
        total += h->size;
    }
    return gLiveBlocks.next->prev == &gLiveBlocks && total == gMemory.live;
}
