// DecoderAllocator: the image decoder's malloc, realloc, free and memset.
// Every block the decoder takes is charged to the decode in progress, which
// may hold at most its limit: a header claiming a huge image, a chunk
// claiming gigabytes or a GIF screen far larger than its frame all end as a
// refused allocation, not as memory taken, whatever the format.
//
// Invariant (checked by DecoderCheckBlocks): every live block sits in one
// circular list through a sentinel, and the sizes of the listed blocks add up
// to DecoderBytesHeld(). A decode stopped part way gives back the blocks it
// made by walking that list.
#pragma once

#include <cstddef>
#include <cstdint>

// What one decode spent.
struct DecoderSpend {
    uint64_t held = 0;      // bytes the decoder held at its end (the image, on success)
    bool refused = false;   // an allocation was refused for the limit
    uint64_t wanted = 0;    // what the decoder would then have held
    bool exhausted = false; // the system had no memory left
};

// Starts a decode that may hold at most limit bytes more than the decoder
// holds now (blocks a caller of the decoder itself still holds stay counted).
void DecoderBeginDecode(uint64_t limit);
// Ends it: nothing is limited again until the next begins.
DecoderSpend DecoderEndDecode();
// Gives back every block the decode in progress still holds.
void DecoderFreeBlocksOfDecode();

void* DecoderMalloc(size_t size);
void* DecoderRealloc(void* block, size_t size);
void DecoderFree(void* block);
// memset, with large zero fills of decoder blocks given back to the system
// page by page instead of written (the result is the same).
void* DecoderMemset(void* to, int value, size_t n);

uint64_t DecoderBytesHeld();
// True when the invariant above holds.
bool DecoderCheckBlocks();
