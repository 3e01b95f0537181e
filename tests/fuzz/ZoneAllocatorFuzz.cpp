// Zone allocator under arbitrary sequences of allocations, frees, writes and
// misuse (tag 0, null, double free, oversized requests): after every
// operation the heap checker must pass, the block count must match the blocks
// handed out, and no block's contents may have been touched by another.
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzSupport.h"
#include "memory/ZoneAllocator.h"

namespace {

// Small enough that sequences fill it and exercise the failure and wrap paths.
constexpr uint64_t kFuzzHeapSize = 64 * 1024;

struct LiveBlock {
    uint8_t* data;
    uint64_t size;
    uint8_t fill;
};

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : mData(data), mSize(size), mPos(0) {}
    bool Done() const { return mPos >= mSize; }
    uint8_t Byte() { return mPos < mSize ? mData[mPos++] : 0; }
    uint16_t Word() { return static_cast<uint16_t>(Byte() | (Byte() << 8)); }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mPos;
};

void CheckContents(const std::vector<LiveBlock>& live) {
    for (const LiveBlock& block : live) {
        for (uint64_t i = 0; i < block.size; ++i)
            FUZZ_CHECK(block.data[i] == block.fill, "a block's bytes changed while it was in use");
    }
}

void CheckState(ZoneAllocator& zone, const std::vector<LiveBlock>& live) {
    FUZZ_CHECK(zone.CheckHeap() == 0, "heap invariant broken");
    FUZZ_CHECK(zone.GetAllocCount() == live.size(), "block count differs from blocks handed out");
}

void Allocate(ZoneAllocator& zone, std::vector<LiveBlock>& live, Reader& in) {
    uint64_t size = in.Word();
    uint8_t mode = in.Byte();
    if (mode % 16 == 0)
        size = UINT64_MAX - size; // requests whose rounding would overflow
    else if (mode % 16 == 1)
        size = kFuzzHeapSize + size;
    int32_t tag = mode % 8 == 2 ? 0 : static_cast<int32_t>(mode >> 3) + 2;
    uint8_t* data = static_cast<uint8_t*>(zone.Alloc(size, tag));
    if (tag == 0 || size > kFuzzHeapSize) {
        FUZZ_CHECK(data == nullptr, "an impossible request got memory");
        return;
    }
    if (!data)
        return;
    FUZZ_CHECK(reinterpret_cast<uintptr_t>(data) % kBlockAlign == 0, "user pointer misaligned");
    FUZZ_CHECK(data >= zone.mHeap && data + size <= zone.mHeap + zone.mHeapSize,
               "block outside the region");
    uint8_t fill = static_cast<uint8_t>(live.size() * 37 + 1);
    std::memset(data, fill, size);
    live.push_back(LiveBlock{data, size, fill});
}

void FreeOne(ZoneAllocator& zone, std::vector<LiveBlock>& live, Reader& in, bool twice) {
    if (live.empty())
        return;
    size_t index = in.Byte() % live.size();
    uint8_t* data = live[index].data;
    live.erase(live.begin() + static_cast<long>(index));
    zone.Free(data);
    if (twice) { // refused: the block is free, nothing changes
        uint64_t count = zone.GetAllocCount();
        zone.Free(data);
        FUZZ_CHECK(zone.GetAllocCount() == count, "a double free changed the block count");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = (QuietLog(), true);
    (void)quiet;
    ZoneAllocator zone(kFuzzHeapSize);
    FUZZ_CHECK(zone.Init() == 0, "a 64 KiB region could not be had");
    std::vector<LiveBlock> live;
    Reader in(data, size);
    while (!in.Done()) {
        switch (in.Byte() % 5) {
        case 0:
        case 1:
            Allocate(zone, live, in);
            break;
        case 2:
            FreeOne(zone, live, in, false);
            break;
        case 3:
            FreeOne(zone, live, in, true);
            break;
        case 4:
            zone.Free(nullptr);
            break;
        }
        CheckState(zone, live);
    }
    CheckContents(live);
    while (!live.empty()) {
        zone.Free(live.back().data);
        live.pop_back();
    }
    CheckState(zone, live);
    // Everything freed: one free block covering the whole region again.
    FUZZ_CHECK(zone.mBlockList.next == zone.mBlockList.prev &&
                   zone.mBlockList.next->size == kFuzzHeapSize && zone.mBlockList.next->tag == 0,
               "the region did not coalesce back into one free block");
    return 0;
}
