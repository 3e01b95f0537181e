// ZoneAllocator: block layout, next-fit with splitting, coalescing, the
// handling of bad requests and bad frees, and the heap invariant under load.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "memory/ZoneAllocator.h"
#include "support/LogCapture.h"

// The too-large-heap test asks calloc for 2^60 bytes; under AddressSanitizer
// that must come back as null, as it does from the C library (the sanitized
// build's defaults take this on: tests/sanitizer/SanitizerDefaults.cpp).
extern "C" const char* VesperonTestAsanOptions() {
    return "allocator_may_return_null=1";
}

namespace {

constexpr uint64_t kSmallHeap = 1ull << 20;
constexpr uint64_t kEngineHeap = 0x20000000ull;

MemoryBlock* HeaderOf(void* user) {
    return reinterpret_cast<MemoryBlock*>(static_cast<uint8_t*>(user) - kBlockHeaderSize);
}

MemoryBlock* BlockAt(ZoneAllocator& zone, uint64_t offset) {
    return reinterpret_cast<MemoryBlock*>(zone.mHeap + offset);
}

uint32_t GuardOf(MemoryBlock* block) {
    uint32_t guard;
    memcpy(&guard, reinterpret_cast<uint8_t*>(block) + block->size - kGuardSize, sizeof(guard));
    return guard;
}

std::string Address(const void* pointer) {
    char text[32];
    snprintf(text, sizeof(text), "%p", pointer);
    return text;
}

// True when a captured line is exactly this level marker, tag and message.
bool Logged(LogCapture& log, const char* marker, const std::string& message) {
    return log.HasLine(std::string(marker) + "  [ZoneAllocator] " + message);
}

// The state right after Init and after every block has been freed again.
void ExpectOneFreeBlock(ZoneAllocator& zone) {
    MemoryBlock* only = BlockAt(zone, 0);
    EXPECT_EQ(zone.mBlockList.next, only);
    EXPECT_EQ(zone.mBlockList.prev, only);
    EXPECT_EQ(only->size, zone.mHeapSize);
    EXPECT_EQ(only->tag, 0);
    EXPECT_EQ(only->magic, kZoneMagic);
    EXPECT_EQ(only->next, &zone.mBlockList);
    EXPECT_EQ(zone.GetAllocCount(), 0u);
    EXPECT_EQ(zone.CheckHeap(), 0);
}

class ZoneTest : public ::testing::Test {
protected:
    void Make(uint64_t size) {
        zone = std::make_unique<ZoneAllocator>(size);
        ASSERT_EQ(zone->Init(), 0);
    }
    void SetUp() override { Make(kSmallHeap); }
    LogCapture log;
    std::unique_ptr<ZoneAllocator> zone;
};

TEST(ZoneAllocator, EngineHeapFirstAllocationSitsAfterItsHeader) {
    LogCapture log;
    ZoneAllocator zone(kEngineHeap);
    ASSERT_EQ(zone.Init(), 0);
    EXPECT_TRUE(Logged(log, "[I]", "Allocated a 512 megabyte heap at " + Address(zone.mHeap)));
    EXPECT_EQ(zone.mBlockList.size, 0u);
    EXPECT_EQ(zone.mBlockList.tag, 1);
    EXPECT_EQ(zone.mBlockList.magic, 0u);
    EXPECT_EQ(zone.mRover, BlockAt(zone, 0));
    ExpectOneFreeBlock(zone);

    void* p = zone.Alloc(100, TAG_MODEL);
    ASSERT_EQ(p, zone.mHeap + 32);
    MemoryBlock* block = HeaderOf(p);
    EXPECT_EQ(block->size, 144u);
    EXPECT_EQ(block->tag, TAG_MODEL);
    EXPECT_EQ(GuardOf(block), kZoneMagic);
    MemoryBlock* rest = BlockAt(zone, 144);
    EXPECT_EQ(block->next, rest);
    EXPECT_EQ(rest->size, kEngineHeap - 144);
    EXPECT_EQ(rest->tag, 0);
    EXPECT_EQ(zone.mRover, rest);
    EXPECT_EQ(zone.GetAllocCount(), 1u);
    EXPECT_EQ(zone.CheckHeap(), 0);

    zone.Free(p);
    ExpectOneFreeBlock(zone);
}

TEST(ZoneAllocator, InitReportsHeapsBelowOneMegabyteInBytes) {
    LogCapture log;
    ZoneAllocator bytes(kSmallHeap - 1), megabytes(3 * kSmallHeap + 5);
    ASSERT_EQ(bytes.Init(), 0);
    ASSERT_EQ(megabytes.Init(), 0);
    EXPECT_TRUE(Logged(log, "[I]", "Allocated a 1048575 byte heap at " + Address(bytes.mHeap)));
    EXPECT_TRUE(Logged(log, "[I]", "Allocated a 3 megabyte heap at " + Address(megabytes.mHeap)));
}

TEST(ZoneAllocator, UnobtainableHeapIsReportedInFullAndLeavesNothingUsable) {
    LogCapture log;
    ZoneAllocator zone(1ull << 60);
    EXPECT_EQ(zone.Init(), -1);
    EXPECT_EQ(zone.mHeap, nullptr);
    // 2^60 >> 20 does not fit in 32 bits: the line must still say 2^40.
    EXPECT_TRUE(Logged(log, "[E]", "Couldn't allocate a 1099511627776 megabyte heap"));
    EXPECT_EQ(zone.Alloc(16, TAG_MODEL), nullptr);
    int local = 0;
    zone.Free(&local);
    EXPECT_TRUE(Logged(log, "[E]", "Attempted to free a pointer outside the zone heap"));
}

TEST(ZoneAllocator, HeapTooSmallForOneBlockOrInitialisedTwiceIsRefused) {
    LogCapture log;
    ZoneAllocator tiny(47);
    EXPECT_EQ(tiny.Init(), -1);
    EXPECT_TRUE(Logged(log, "[E]", "Heap size of 47 bytes is too small for a block"));

    ZoneAllocator minimal(48);
    ASSERT_EQ(minimal.Init(), 0);
    void* p = minimal.Alloc(0, TAG_MODEL);
    ASSERT_NE(p, nullptr);
    uint8_t* heap = minimal.mHeap;
    EXPECT_EQ(minimal.Init(), -1);
    EXPECT_TRUE(Logged(log, "[E]", "Zone heap is already initialized"));
    EXPECT_EQ(minimal.mHeap, heap);
    EXPECT_EQ(minimal.GetAllocCount(), 1u);
    minimal.Free(p);
    ExpectOneFreeBlock(minimal);
}

TEST_F(ZoneTest, BlockSizeIsRequestPlusHeaderAndGuardRoundedTo16) {
    const struct {
        uint64_t request, block;
    } rows[] = {{0, 48}, {12, 48}, {13, 64}, {100, 144}, {1000, 1040}, {3072, 3120}};
    uint64_t offset = 0;
    for (const auto& row : rows) {
        void* p = zone->Alloc(row.request, TAG_EVENTS);
        ASSERT_EQ(p, zone->mHeap + offset + 32) << row.request;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
        EXPECT_EQ(HeaderOf(p)->size, row.block) << row.request;
        EXPECT_EQ(GuardOf(HeaderOf(p)), kZoneMagic);
        offset += row.block;
    }
    EXPECT_EQ(zone->CheckHeap(), 0);
}

TEST_F(ZoneTest, SlackOfExactly64IsHandedOutWholeAndOf80IsSplit) {
    Make(48 + 64);
    void* whole = zone->Alloc(0, TAG_MODEL);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(HeaderOf(whole)->size, 112u);
    EXPECT_EQ(GuardOf(HeaderOf(whole)), kZoneMagic);
    EXPECT_EQ(HeaderOf(whole)->next, &zone->mBlockList);
    EXPECT_EQ(zone->CheckHeap(), 0);
    zone->Free(whole);

    Make(48 + 80);
    void* split = zone->Alloc(0, TAG_MODEL);
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(HeaderOf(split)->size, 48u);
    MemoryBlock* rest = BlockAt(*zone, 48);
    EXPECT_EQ(HeaderOf(split)->next, rest);
    EXPECT_EQ(rest->size, 80u);
    EXPECT_EQ(rest->tag, 0);
    EXPECT_EQ(rest->magic, kZoneMagic);
    EXPECT_EQ(zone->CheckHeap(), 0);
    zone->Free(split);
}

TEST_F(ZoneTest, TagZeroIsRefusedWhateverTheSize) {
    for (uint64_t size : {0ull, 100ull, ~0ull}) {
        EXPECT_EQ(zone->Alloc(size, 0), nullptr);
    }
    EXPECT_EQ(log.Lines().size(), 4u); // the Init line and three refusals
    EXPECT_TRUE(Logged(log, "[E]", "Zone allocation failed: tag value of 0 was used"));
    ExpectOneFreeBlock(*zone);
}

TEST_F(ZoneTest, RequestLargerThanAnyFreeBlockReportsTheRoundedSize) {
    Make(1024);
    EXPECT_EQ(zone->Alloc(1000, TAG_MODEL), nullptr);
    EXPECT_TRUE(Logged(log, "[E]", "Zone allocation failed: couldn't allocate 1040 bytes"));
    EXPECT_EQ(zone->mRover, BlockAt(*zone, 0));
    ExpectOneFreeBlock(*zone);
}

TEST_F(ZoneTest, SizesWhoseBlockSizeOverflowsFailInsteadOfWrapping) {
    // Without the check, these wrap to blocks of 0 to 48 bytes.
    for (uint64_t size : {~0ull, ~0ull - 15, ~0ull - 50}) {
        EXPECT_EQ(zone->Alloc(size, TAG_MODEL), nullptr) << size;
        EXPECT_TRUE(
            Logged(log, "[E]",
                   "Zone allocation failed: couldn't allocate " + std::to_string(size) + " bytes"));
    }
    // The largest size that still has a block size reports that size.
    EXPECT_EQ(zone->Alloc(~0ull - 51, TAG_MODEL), nullptr);
    EXPECT_TRUE(
        Logged(log, "[E]", "Zone allocation failed: couldn't allocate 18446744073709551600 bytes"));
    ExpectOneFreeBlock(*zone);
}

TEST_F(ZoneTest, DoubleFreeIsReportedAndIgnoredEvenAfterAMerge) {
    void* a = zone->Alloc(100, TAG_MODEL);
    void* b = zone->Alloc(100, TAG_MODEL);
    zone->Free(nullptr);
    EXPECT_TRUE(Logged(log, "[E]", "Attempted to free a null pointer"));
    zone->Free(a);
    zone->Free(a);
    EXPECT_TRUE(Logged(log, "[E]", "Attempted to free an already-freed block"));
    EXPECT_EQ(zone->GetAllocCount(), 1u);
    EXPECT_EQ(zone->CheckHeap(), 0);
    // b merges into a's block; its stale header still says free.
    zone->Free(b);
    zone->Free(b);
    EXPECT_EQ(zone->GetAllocCount(), 0u);
    ExpectOneFreeBlock(*zone);
}

TEST_F(ZoneTest, PointersThatAreNoBlockAreReportedWithoutTouchingTheHeap) {
    uint8_t* a = static_cast<uint8_t*>(zone->Alloc(100, TAG_MODEL));
    memset(a, 0x5A, 100);
    const std::vector<uint8_t> before(zone->mHeap, zone->mHeap + zone->mHeapSize);
    int local = 0;
    uint8_t* end = zone->mHeap + zone->mHeapSize;
    const struct {
        void* pointer;
        const char* message;
    } rows[] = {
        {&local, "Attempted to free a pointer outside the zone heap"},
        {zone->mHeap, "Attempted to free a pointer outside the zone heap"},
        {zone->mHeap + 16, "Attempted to free a pointer outside the zone heap"},
        {end, "Attempted to free a pointer outside the zone heap"},
        {end - 8, "Attempted to free a pointer outside the zone heap"},
        {a + 8, "Attempted to free a pointer that is not the start of a zone block"},
        {a + 48, "Attempted to free a block with a bad magic number (heap corruption?)"},
        {end - 16, "Attempted to free an already-freed block"},
    };
    for (const auto& row : rows) {
        LogCapture one;
        zone->Free(row.pointer);
        EXPECT_TRUE(Logged(one, "[E]", row.message)) << one.Text();
    }
    EXPECT_EQ(zone->GetAllocCount(), 1u);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), zone->mHeap));
}

TEST_F(ZoneTest, DamagedHeadersAreReportedAndNothingIsFreed) {
    void* a = zone->Alloc(100, TAG_MODEL);
    void* b = zone->Alloc(200, TAG_MODEL);
    void* c = zone->Alloc(100, TAG_MODEL);
    MemoryBlock* header = HeaderOf(b);
    const MemoryBlock intact = *header;
    const std::function<void()> damages[] = {
        [&] { header->next = reinterpret_cast<MemoryBlock*>(0x1230); },
        [&] { header->prev = HeaderOf(c); },
        [&] { header->next = HeaderOf(a); },
        [&] { header->size += 16; },
    };
    for (const auto& damage : damages) {
        LogCapture one;
        damage();
        zone->Free(b);
        EXPECT_TRUE(
            Logged(one, "[E]", "Attempted to free a block with damaged links (heap corruption?)"));
        *header = intact;
    }
    header->magic = 0;
    zone->Free(b);
    EXPECT_TRUE(
        Logged(log, "[E]", "Attempted to free a block with a bad magic number (heap corruption?)"));
    *header = intact;
    // A forged header inside b's data, with the magic but no place in the list.
    MemoryBlock forged{64, HeaderOf(a), HeaderOf(c), TAG_MODEL, kZoneMagic};
    memcpy(static_cast<uint8_t*>(b) + 64, &forged, sizeof(forged));
    zone->Free(static_cast<uint8_t*>(b) + 96);
    EXPECT_TRUE(
        Logged(log, "[E]", "Attempted to free a block with damaged links (heap corruption?)"));
    EXPECT_EQ(zone->GetAllocCount(), 3u);
    EXPECT_EQ(zone->CheckHeap(), 0);
}

TEST_F(ZoneTest, FreeingFirstThirdSecondLeavesOneBlockOverAllThree) {
    void* a = zone->Alloc(100, TAG_MODEL);
    void* b = zone->Alloc(200, TAG_MODEL);
    void* c = zone->Alloc(300, TAG_MODEL);
    void* d = zone->Alloc(10, TAG_MODEL); // keeps c from merging with the tail
    const uint64_t span = HeaderOf(a)->size + HeaderOf(b)->size + HeaderOf(c)->size;
    zone->Free(a);
    zone->Free(c);
    EXPECT_EQ(zone->CheckHeap(), 0);
    zone->Free(b);
    MemoryBlock* merged = BlockAt(*zone, 0);
    EXPECT_EQ(merged->size, span);
    EXPECT_EQ(merged->tag, 0);
    EXPECT_EQ(merged->next, HeaderOf(d));
    EXPECT_EQ(HeaderOf(d)->prev, merged);
    EXPECT_EQ(zone->GetAllocCount(), 1u);
    EXPECT_EQ(zone->CheckHeap(), 0);
    zone->Free(d); // merges with both neighbours at once
    ExpectOneFreeBlock(*zone);
    EXPECT_EQ(zone->mRover, BlockAt(*zone, 0));
}

TEST_F(ZoneTest, NextFitContinuesAfterTheLatestBlockUntilTheWalkWraps) {
    Make(4096);
    void* a = zone->Alloc(100, TAG_MODEL);
    zone->Alloc(100, TAG_MODEL);
    zone->Free(a);
    EXPECT_EQ(zone->Alloc(100, TAG_MODEL), zone->mHeap + 288 + 32);
    // Take the whole tail (4096 - 432 bytes); the rover lands on the sentinel.
    ASSERT_NE(zone->Alloc(4096 - 432 - 36, TAG_MODEL), nullptr);
    EXPECT_EQ(zone->mRover, &zone->mBlockList);
    EXPECT_EQ(zone->Alloc(100, TAG_MODEL), zone->mHeap + 32);
    EXPECT_EQ(zone->CheckHeap(), 0);
}

TEST_F(ZoneTest, FreeBlockJustBehindTheRoverIsStillFound) {
    Make(4096);
    void* all = zone->Alloc(4096 - 36, TAG_MODEL);
    ASSERT_NE(all, nullptr);
    zone->Free(all);
    // The rover is the sentinel and the only block is the one behind it: one
    // full circle must look at that block too.
    ASSERT_EQ(zone->mRover, &zone->mBlockList);
    EXPECT_EQ(zone->Alloc(100, TAG_MODEL), zone->mHeap + 32);
}

TEST_F(ZoneTest, CheckHeapNamesEachBrokenInvariant) {
    MemoryBlock stray{};
    const struct {
        std::function<void(MemoryBlock*, MemoryBlock*, MemoryBlock*)> damage;
        const char* what;
    } rows[] = {
        {[](MemoryBlock* a, MemoryBlock*, MemoryBlock*) {
             memset(reinterpret_cast<uint8_t*>(a) + a->size - 4, 0, 4);
         },
         "a guard word was overwritten"},
        {[](MemoryBlock* a, MemoryBlock*, MemoryBlock*) { a->magic = 0; },
         "a header lost its magic number"},
        {[](MemoryBlock*, MemoryBlock* b, MemoryBlock* c) { b->prev = c; },
         "a back link does not match"},
        {[](MemoryBlock*, MemoryBlock* b, MemoryBlock*) { b->size += 16; },
         "a block does not start where the previous one ends"},
        {[](MemoryBlock*, MemoryBlock*, MemoryBlock* c) { c->tag = 0; },
         "two free blocks are neighbours"},
        {[](MemoryBlock*, MemoryBlock*, MemoryBlock* c) { c->next->size -= 16; },
         "the blocks do not cover the whole region"},
        {[&](MemoryBlock*, MemoryBlock*, MemoryBlock*) { zone->mAllocCount++; },
         "the allocation count does not match the used blocks"},
        {[&](MemoryBlock*, MemoryBlock*, MemoryBlock*) { zone->mRover = &stray; },
         "the rover is not a block of the list"},
        {[&](MemoryBlock*, MemoryBlock*, MemoryBlock*) { zone->mBlockList.tag = 0; },
         "the sentinel was overwritten"},
    };
    for (const auto& row : rows) {
        Make(kSmallHeap);
        void* a = zone->Alloc(100, TAG_MODEL);
        void* b = zone->Alloc(100, TAG_MODEL);
        void* c = zone->Alloc(100, TAG_MODEL);
        zone->Free(b);
        ASSERT_EQ(zone->CheckHeap(), 0);
        LogCapture one;
        row.damage(HeaderOf(a), HeaderOf(b), HeaderOf(c));
        EXPECT_EQ(zone->CheckHeap(), -1) << row.what;
        EXPECT_TRUE(one.ContainsFragment(std::string("Heap check failed: ") + row.what))
            << one.Text();
    }
}

// Thousands of mixed allocations and frees with a fixed seed: after every step
// the heap invariant holds, live blocks keep their contents (no overlap), a
// failed request really had no fitting free block, and at the end the region
// is one free block again.
TEST_F(ZoneTest, RandomAllocFreeSequenceKeepsTheHeapConsistent) {
    struct Live {
        uint8_t* data;
        uint64_t size;
        uint8_t fill;
    };
    std::mt19937 random(20240607);
    std::vector<Live> live;
    auto freeAt = [&](size_t i) {
        const Live& block = live[i];
        EXPECT_TRUE(std::all_of(block.data, block.data + block.size, [&](uint8_t byte) {
            return byte == block.fill;
        })) << "block contents changed";
        zone->Free(block.data);
        live[i] = live.back();
        live.pop_back();
    };
    for (int step = 0; step < 6000; ++step) {
        if (live.empty() || random() % 100 < 55) {
            const uint64_t size = random() % 8 == 0 ? random() % 65536 : random() % 2048;
            const uint64_t need = (size + 51) & ~15ull;
            uint8_t* p =
                static_cast<uint8_t*>(zone->Alloc(size, random() % 2 ? TAG_MODEL : TAG_EVENTS));
            if (p) {
                const uint64_t block = HeaderOf(p)->size;
                ASSERT_TRUE(block >= need && block - need <= 64) << block << " for " << need;
                live.push_back({p, size, static_cast<uint8_t>(step | 1)});
                memset(p, live.back().fill, size);
            } else {
                for (MemoryBlock* b = zone->mBlockList.next; b != &zone->mBlockList; b = b->next)
                    ASSERT_FALSE(b->tag == 0 && b->size >= need) << "a fitting block was missed";
            }
        } else {
            freeAt(random() % live.size());
        }
        ASSERT_EQ(zone->CheckHeap(), 0) << "step " << step;
        ASSERT_EQ(zone->GetAllocCount(), live.size());
    }
    while (!live.empty())
        freeAt(random() % live.size());
    ExpectOneFreeBlock(*zone);
}

} // namespace
