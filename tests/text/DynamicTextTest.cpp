// DynamicText: allocation sizes and how the buffer is created, incremental uploads read
// back from the GL buffer, layout of lines and unusual bytes, and failures
// that must keep the previous text and leak no block.
#include "text/DynamicText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "memory/ZoneAllocator.h"
#include "support/GLTestContext.h"
#include "support/LogCapture.h"
#include "text/FontAtlas.h"

namespace {

constexpr uint8_t kPoison = 0xAB;
constexpr uint64_t kHeapSize = 1 << 20;

// A zone heap that also remembers what was asked of it.
class RecordingAllocator : public Allocator {
public:
    explicit RecordingAllocator(uint64_t heapSize) : mZone(heapSize) {}
    int Init() override { return mZone.Init(); }
    void* Alloc(uint64_t size, int32_t tag) override {
        mAllocs.emplace_back(size, tag);
        return mZone.Alloc(size, tag);
    }
    void Free(void* pointer) override { mZone.Free(pointer); }
    uint64_t GetAllocCount() override { return mZone.GetAllocCount(); }

    ZoneAllocator mZone;
    std::vector<std::pair<uint64_t, int32_t>> mAllocs;
};

// Metrics chosen by hand so every glyph differs from its neighbours; the
// blank is empty but advances like a real one.
void FillAtlas(FontAtlas* atlas) {
    atlas->mAscent = 14;
    for (int k = 1; k < kGlyphCount; ++k)
        atlas->mGlyphs[k] = Glyph{int16_t(8 + k % 3),  0,
                                  uint16_t(5 + k % 4), uint16_t(9 + k % 5),
                                  int16_t(k % 2),      int16_t(10 + k % 4),
                                  uint16_t(10 * k)};
    atlas->mGlyphs[0] = Glyph{4, 0, 0, 0, 0, 0, 10};
}

const Glyph& GlyphFor(const FontAtlas& atlas, char c) {
    return atlas.mGlyphs[c - kFirstGlyph];
}

GLint BufferParameter(uint32_t vbo, GLenum parameter) {
    GLint value = 0;
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glGetBufferParameteriv(GL_ARRAY_BUFFER, parameter, &value);
    return value;
}

std::vector<uint8_t> ReadBuffer(uint32_t vbo) {
    std::vector<uint8_t> bytes(size_t(BufferParameter(vbo, GL_BUFFER_SIZE)));
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(bytes.size()), bytes.data());
    return bytes;
}

void PoisonBuffer(uint32_t vbo) {
    const std::vector<uint8_t> poison(size_t(BufferParameter(vbo, GL_BUFFER_SIZE)), kPoison);
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(poison.size()), poison.data());
}

std::vector<uint8_t> Bytes(const TextVertex* vertices, size_t count) {
    const uint8_t* first = reinterpret_cast<const uint8_t*>(vertices);
    return std::vector<uint8_t>(first, first + count * sizeof(TextVertex));
}

bool IsDegenerate(const TextVertex* quad) {
    for (int k = 1; k < kVerticesPerChar; ++k)
        if (quad[k].x != quad[0].x || quad[k].y != quad[0].y)
            return false;
    return true;
}

class DynamicTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        ASSERT_EQ(mAllocator.Init(), 0);
        FillAtlas(&mAtlas);
    }
    void TearDown() override { EXPECT_EQ(mAllocator.GetAllocCount(), 0u); }

    // The vertices a text gets when it is laid out from scratch.
    std::vector<uint8_t> FreshLayout(const char* text) {
        DynamicText fresh(&mAllocator, &mAtlas);
        EXPECT_EQ(fresh.SetText(text), 0);
        return Bytes(fresh.mVertices, fresh.mNumVertices);
    }

    RecordingAllocator mAllocator{kHeapSize};
    FontAtlas mAtlas;
};

TEST_F(DynamicTextTest, FirstTextAllocatesExactlyAndSpecifiesADynamicBuffer) {
    DynamicText text(&mAllocator, &mAtlas);
    ASSERT_EQ(text.SetText("Hello"), 0);
    ASSERT_EQ(mAllocator.mAllocs.size(), 2u);
    EXPECT_EQ(mAllocator.mAllocs[0], std::make_pair(uint64_t(6), int32_t(TAG_MODEL)));
    EXPECT_EQ(mAllocator.mAllocs[1], std::make_pair(uint64_t(30 * 8), int32_t(TAG_MODEL)));
    EXPECT_EQ(text.mCapacity, 6u);
    EXPECT_EQ(text.mNumVertices, 30u);
    EXPECT_STREQ(text.mText, "Hello");

    ASSERT_NE(text.mVbo, 0u);
    EXPECT_EQ(BufferParameter(text.mVbo, GL_BUFFER_USAGE), GL_DYNAMIC_DRAW);
    EXPECT_EQ(BufferParameter(text.mVbo, GL_BUFFER_SIZE), 30 * 8);
    EXPECT_EQ(ReadBuffer(text.mVbo), Bytes(text.mVertices, 30));

    // Location 0 takes the whole vertex as four plain unsigned shorts.
    GLint bound = -1;
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &bound);
    EXPECT_EQ(bound, 0);
    glBindVertexArray(text.mVao);
    auto attribute = [](GLenum parameter) {
        GLint value = -1;
        glGetVertexAttribiv(0, parameter, &value);
        return value;
    };
    EXPECT_EQ(attribute(GL_VERTEX_ATTRIB_ARRAY_ENABLED), GL_TRUE);
    EXPECT_EQ(attribute(GL_VERTEX_ATTRIB_ARRAY_SIZE), 4);
    EXPECT_EQ(attribute(GL_VERTEX_ATTRIB_ARRAY_TYPE), GL_UNSIGNED_SHORT);
    EXPECT_EQ(attribute(GL_VERTEX_ATTRIB_ARRAY_NORMALIZED), GL_FALSE);
    EXPECT_EQ(attribute(GL_VERTEX_ATTRIB_ARRAY_STRIDE), 0);
    EXPECT_EQ(attribute(GL_VERTEX_ATTRIB_ARRAY_BUFFER_BINDING), GLint(text.mVbo));
    glBindVertexArray(0);
}

// The GL buffer is overwritten with a marker before each update, so the read
// back shows exactly which bytes the update sent.
TEST_F(DynamicTextTest, SameTextAgainSendsNothing) {
    DynamicText text(&mAllocator, &mAtlas);
    ASSERT_EQ(text.SetText("FPS: 60"), 0);
    PoisonBuffer(text.mVbo);
    ASSERT_EQ(text.SetText("FPS: 60"), 0);
    EXPECT_EQ(mAllocator.mAllocs.size(), 2u);
    EXPECT_EQ(ReadBuffer(text.mVbo), std::vector<uint8_t>(7 * 6 * 8, kPoison));
}

TEST_F(DynamicTextTest, ChangingTheLastTwoOfSevenCharactersSendsBytes240To335) {
    DynamicText text(&mAllocator, &mAtlas);
    ASSERT_EQ(text.SetText("FPS: 60"), 0);
    PoisonBuffer(text.mVbo);
    // The unchanged prefix must not even be laid out again.
    memset(text.mVertices, kPoison, 30 * sizeof(TextVertex));
    ASSERT_EQ(text.SetText("FPS: 75"), 0);
    EXPECT_EQ(mAllocator.mAllocs.size(), 2u);

    const std::vector<uint8_t> sent = ReadBuffer(text.mVbo);
    ASSERT_EQ(sent.size(), 336u);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 240),
              std::vector<uint8_t>(240, kPoison));
    const std::vector<uint8_t> expected = FreshLayout("FPS: 75");
    EXPECT_EQ(std::vector<uint8_t>(sent.begin() + 240, sent.end()),
              std::vector<uint8_t>(expected.begin() + 240, expected.end()));
    EXPECT_EQ(Bytes(text.mVertices, 30), std::vector<uint8_t>(240, kPoison));
    EXPECT_STREQ(text.mText, "FPS: 75");
}

TEST_F(DynamicTextTest, LongerTextReallocatesExactlyAndShorterTextKeepsTheRoom) {
    DynamicText text(&mAllocator, &mAtlas);
    ASSERT_EQ(text.SetText("abc"), 0);
    ASSERT_EQ(text.SetText("abcdefgh"), 0);
    ASSERT_EQ(mAllocator.mAllocs.size(), 4u);
    EXPECT_EQ(mAllocator.mAllocs[2].first, 9u);
    EXPECT_EQ(mAllocator.mAllocs[3].first, 48u * 8);
    EXPECT_EQ(mAllocator.GetAllocCount(), 2u);
    EXPECT_EQ(text.mCapacity, 9u);
    // The kept prefix's vertices travel to the new block with it.
    EXPECT_EQ(ReadBuffer(text.mVbo), FreshLayout("abcdefgh"));
    EXPECT_EQ(BufferParameter(text.mVbo, GL_BUFFER_USAGE), GL_DYNAMIC_DRAW);

    ASSERT_EQ(text.SetText("xy"), 0);
    EXPECT_EQ(mAllocator.mAllocs.size(), 6u) << "only the fresh layout allocated";
    EXPECT_EQ(text.mCapacity, 9u);
    EXPECT_EQ(text.mNumVertices, 12u);
    EXPECT_STREQ(text.mText, "xy");
    const std::vector<uint8_t> sent = ReadBuffer(text.mVbo);
    ASSERT_EQ(sent.size(), 48u * 8);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 96), FreshLayout("xy"));
}

TEST_F(DynamicTextTest, EmptyTextHasNoVerticesAndGrowsLater) {
    DynamicText text(&mAllocator, &mAtlas);
    ASSERT_EQ(text.SetText(""), 0);
    EXPECT_EQ(text.mNumVertices, 0u);
    EXPECT_EQ(text.mCapacity, 1u);
    EXPECT_STREQ(text.mText, "");
    EXPECT_EQ(BufferParameter(text.mVbo, GL_BUFFER_SIZE), 0);
    ASSERT_EQ(text.SetText("ok"), 0);
    EXPECT_EQ(text.mNumVertices, 12u);
    EXPECT_EQ(ReadBuffer(text.mVbo), FreshLayout("ok"));
    ASSERT_EQ(text.SetText(""), 0);
    EXPECT_EQ(text.mNumVertices, 0u);
}

TEST_F(DynamicTextTest, NewlineStartsTheNextLineAscentPlusFivePixelsLowerAtXZero) {
    DynamicText text(&mAllocator, &mAtlas);
    ASSERT_EQ(text.SetText("AB\nA"), 0);
    const Glyph& a = GlyphFor(mAtlas, 'A');
    const TextVertex* first = text.mVertices;
    const TextVertex* second = text.mVertices + 3 * kVerticesPerChar;
    // First line: the baseline sits 14 pixels down.
    EXPECT_EQ(first[0].x, a.left);
    EXPECT_EQ(first[0].y, 14 - a.top);
    EXPECT_EQ(first[5].y, 14 - a.top + a.height);
    EXPECT_EQ(second[0].x, a.left);
    EXPECT_EQ(second[0].y, first[0].y + 19);
    EXPECT_EQ(second[5].x, first[5].x);
    EXPECT_EQ(second[5].y, first[5].y + 19);
    EXPECT_TRUE(IsDegenerate(text.mVertices + 2 * kVerticesPerChar));
}

TEST_F(DynamicTextTest, BytesWithoutAGlyphAdvanceLikeABlankAndDrawNothing) {
    DynamicText text(&mAllocator, &mAtlas);
    const char bytes[] = {'a', '\t', 'b', char(0x80), char(0xFF), '\x01', char(127), 'c', '\0'};
    ASSERT_EQ(text.SetText(bytes), 0);
    EXPECT_EQ(text.mNumVertices, 8u * 6);
    for (int i : {1, 3, 4, 5, 6})
        EXPECT_TRUE(IsDegenerate(text.mVertices + i * kVerticesPerChar)) << "byte " << i;
    const int blank = mAtlas.mGlyphs[0].advanceX;
    const int penAtC = GlyphFor(mAtlas, 'a').advanceX + GlyphFor(mAtlas, 'b').advanceX + 5 * blank;
    EXPECT_EQ(text.mVertices[7 * kVerticesPerChar].x, penAtC + GlyphFor(mAtlas, 'c').left);
    EXPECT_EQ(text.mVertices[7 * kVerticesPerChar].u, GlyphFor(mAtlas, 'c').offsetX);
}

TEST_F(DynamicTextTest, NullTextAllocatorOrAtlasIsRefusedSilently) {
    LogCapture capture;
    DynamicText text(&mAllocator, &mAtlas);
    EXPECT_EQ(text.SetText(nullptr), -1);
    DynamicText noAtlas(&mAllocator, nullptr);
    EXPECT_EQ(noAtlas.SetText("x"), -1);
    DynamicText noAllocator(nullptr, &mAtlas);
    EXPECT_EQ(noAllocator.SetText("x"), -1);
    EXPECT_EQ(capture.Text(), "");
    EXPECT_EQ(text.mVao + noAtlas.mVao + noAllocator.mVao, 0u);
    EXPECT_TRUE(mAllocator.mAllocs.empty());
}

TEST_F(DynamicTextTest, DestructorReleasesBufferVertexArrayAndBothBlocks) {
    uint32_t vbo = 0;
    uint32_t vao = 0;
    {
        DynamicText text(&mAllocator, &mAtlas);
        ASSERT_EQ(text.SetText("bye"), 0);
        vbo = text.mVbo;
        vao = text.mVao;
        EXPECT_EQ(mAllocator.GetAllocCount(), 2u);
    }
    EXPECT_EQ(mAllocator.GetAllocCount(), 0u);
    EXPECT_FALSE(glIsBuffer(vbo));
    EXPECT_FALSE(glIsVertexArray(vao));
}

// A 512-byte heap: "ab" takes a 48-byte and a 144-byte block and leaves 320
// free, too little for 401 characters (448) or, after the 48 bytes of "abcdef",
// for its 36 vertices (336).
class DynamicTextFailureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RequireGL());
        ASSERT_EQ(mZone.Init(), 0);
        FillAtlas(&mAtlas);
        ASSERT_EQ(mText.SetText("ab"), 0);
        mVertices = mText.mVertices;
        mSent = ReadBuffer(mText.mVbo);
    }

    // Everything about the previous text is as it was, and no block leaked.
    void ExpectPreviousTextKept() {
        EXPECT_STREQ(mText.mText, "ab");
        EXPECT_EQ(mText.mCapacity, 3u);
        EXPECT_EQ(mText.mNumVertices, 12u);
        EXPECT_EQ(mText.mVertices, mVertices);
        EXPECT_EQ(ReadBuffer(mText.mVbo), mSent);
        EXPECT_EQ(mZone.GetAllocCount(), 2u);
        EXPECT_EQ(mZone.CheckHeap(), 0);
    }

    ZoneAllocator mZone{512};
    FontAtlas mAtlas;
    DynamicText mText{&mZone, &mAtlas};
    TextVertex* mVertices = nullptr;
    std::vector<uint8_t> mSent;
};

TEST_F(DynamicTextFailureTest, CharacterAllocationFailureKeepsThePreviousText) {
    LogCapture capture;
    EXPECT_EQ(mText.SetText(std::string(400, 'x').c_str()), -1);
    EXPECT_TRUE(capture.HasLine("[E]  [DynamicText] Couldn't allocate memory for 401 chars"))
        << capture.Text();
    ExpectPreviousTextKept();
}

TEST_F(DynamicTextFailureTest, VertexAllocationFailureReturnsTheNewCharacterBlock) {
    LogCapture capture;
    EXPECT_EQ(mText.SetText("abcdef"), -1);
    EXPECT_TRUE(capture.HasLine("[E]  [DynamicText] Couldn't allocate memory for 36 vertices"))
        << capture.Text();
    ExpectPreviousTextKept();
    // With the failed block returned the heap still has room for what fits.
    EXPECT_EQ(mText.SetText("abc"), 0);
    EXPECT_EQ(mZone.GetAllocCount(), 2u);
}

} // namespace
