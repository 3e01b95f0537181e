// DecoderAllocator: the limit of a decode, giving back a stopped decode's
// blocks, and large zero fills that give pages back instead of writing them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "image/DecoderAllocator.h"

namespace {

constexpr size_t kMiB = size_t(1) << 20;

size_t ResidentPages(const void* block, size_t size) {
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = uintptr_t(block) & ~(page - 1);
    const size_t pages = (uintptr_t(block) + size - begin + page - 1) / page;
    std::vector<unsigned char> resident(pages);
    if (mincore(reinterpret_cast<void*>(begin), pages * page, resident.data()) != 0)
        return SIZE_MAX;
    size_t count = 0;
    for (unsigned char r : resident)
        count += r & 1;
    return count;
}

} // namespace

TEST(DecoderAllocator, DecodeHoldsAtMostItsLimitAndAStoppedDecodeGivesBackItsBlocks) {
    void* outside = DecoderMalloc(100); // a caller's own block, made outside any decode
    ASSERT_NE(outside, nullptr);
    DecoderBeginDecode(1000);
    void* a = DecoderMalloc(600);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(DecoderMalloc(500), nullptr) << "600 + 500 is over the limit of 1000";
    a = DecoderRealloc(a, 900);
    ASSERT_NE(a, nullptr) << "growing a block is charged by what it grows";
    EXPECT_EQ(DecoderRealloc(a, 1001), nullptr);
    EXPECT_TRUE(DecoderCheckBlocks());
    DecoderFreeBlocksOfDecode();
    const DecoderSpend spent = DecoderEndDecode();
    EXPECT_TRUE(spent.refused);
    EXPECT_EQ(spent.wanted, 100u + 1001u) << "the caller's block counts in what is held";
    EXPECT_FALSE(spent.exhausted);
    EXPECT_EQ(DecoderBytesHeld(), 100u) << "only the caller's block is left";
    EXPECT_TRUE(DecoderCheckBlocks());

    void* unlimited = DecoderMalloc(64 * kMiB);
    EXPECT_NE(unlimited, nullptr) << "outside a decode nothing is limited";
    DecoderFree(unlimited);
    DecoderFree(outside);
    EXPECT_EQ(DecoderBytesHeld(), 0u);
    EXPECT_TRUE(DecoderCheckBlocks());
}

// Whatever the block held, the fill gives memset's result exactly: at the
// block's start and inside it, across page ends, below the size that gives
// pages back, with a value other than zero.
TEST(DecoderAllocator, FillsGiveExactlyMemsetsResult) {
    const size_t size = 3 * kMiB + 100;
    const struct {
        size_t offset, length;
        int value;
    } cases[] = {
        {0, size, 0},      {5, size - 9, 0}, {4095, 2 * kMiB + 3, 0},
        {10, kMiB - 1, 0}, {0, size, 0x7F},  {size - kMiB, kMiB, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.offset << " + " << c.length << " of " << c.value);
        auto* block = static_cast<unsigned char*>(DecoderMalloc(size));
        ASSERT_NE(block, nullptr);
        std::memset(block, 0xAB, size);
        std::vector<unsigned char> expected(block, block + size);
        std::memset(expected.data() + c.offset, c.value, c.length);
        EXPECT_EQ(DecoderMemset(block + c.offset, c.value, c.length), block + c.offset);
        EXPECT_EQ(std::memcmp(block, expected.data(), size), 0);
        DecoderFree(block);
    }
    // Memory that is not a decoder block is written as memset writes it.
    std::vector<unsigned char> plain(2 * kMiB, 0xAB);
    DecoderMemset(plain.data(), 0, plain.size());
    EXPECT_EQ(std::count(plain.begin(), plain.end(), 0), long(plain.size()));
}

// Clearing a large fresh block (a GIF screen the decoder clears before it
// reads a frame) writes no page away from its two ends. (The ends may be
// huge pages where the system gives those unasked, so 4 MiB are left out.)
TEST(DecoderAllocator, ZeroFillOfAFreshLargeBlockWritesNoPage) {
    const size_t size = 64 * kMiB, end = 4 * kMiB;
    auto* block = static_cast<unsigned char*>(DecoderMalloc(size));
    ASSERT_NE(block, nullptr);
    DecoderMemset(block, 0, size);
    EXPECT_EQ(ResidentPages(block + end, size - 2 * end), 0u);
    EXPECT_EQ(block[size / 2], 0);
    DecoderFree(block);
}
