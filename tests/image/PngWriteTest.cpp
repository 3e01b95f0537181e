// PngWrite: what is encoded decodes to the same pixels; what cannot be
// encoded is refused with its reason.
#include "image/PngWrite.h"

#include <gtest/gtest.h>

#include "image/ImageDecode.h"

TEST(PngWrite, EveryChannelCountDecodesToTheSamePixels) {
    const int width = 3, height = 2; // 3-byte rows: no row is padded
    for (int channels = 1; channels <= 4; ++channels) {
        SCOPED_TRACE(channels);
        std::vector<uint8_t> pixels(size_t(width) * height * channels);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = uint8_t(i * 37);
        const PngBytes png = EncodePng(width, height, channels, pixels);
        ASSERT_TRUE(png.reason.empty()) << png.reason;
        const DecodedImage image = ImageDecode(png.bytes.data(), int(png.bytes.size()), {});
        ASSERT_TRUE(image.pixels) << image.reason;
        EXPECT_EQ(image.width, width);
        EXPECT_EQ(image.height, height);
        ASSERT_EQ(image.channels, channels);
        EXPECT_EQ(std::vector<uint8_t>(image.pixels.get(), image.pixels.get() + pixels.size()),
                  pixels);
    }
}

TEST(PngWrite, SizesThePixelsDoNotFillAreRefused) {
    const struct {
        int width, height, channels;
        size_t bytes;
    } cases[] = {{0, 2, 3, 0}, {2, 2, 5, 20}, {2, 2, 3, 11}, {2, 2, 0, 0}};
    for (const auto& c : cases) {
        const PngBytes png =
            EncodePng(c.width, c.height, c.channels, std::vector<uint8_t>(c.bytes, 0));
        EXPECT_TRUE(png.bytes.empty());
        EXPECT_EQ(png.reason, "no pixels of that size to encode");
    }
}
