// ImageDecode: decodes images from memory with stb_image within the size
// limits and a scene's texture budget; a failure's reason is in words a
// person understands.
#include "image/ImageDecode.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "image/DecoderAllocator.h"

// Softimage PIC is not decoded: its decoder fills the whole claimed image
// with 0xFF before it reads a pixel, which no page trick can make free, and
// no model format the loader reads comes with PIC textures.
#define STBI_NO_PIC
#define STBI_MALLOC(size) DecoderMalloc(size)
#define STBI_REALLOC(block, size) DecoderRealloc(block, size)
#define STBI_FREE(block) DecoderFree(block)
#define STB_IMAGE_IMPLEMENTATION
// Only the decoder's own calls are redirected; <cstring> above declared memset.
#define memset(to, value, n) DecoderMemset(to, value, n)
#include <stb/stb_image.h>
#undef memset

namespace {

constexpr int kReasonSize = 160;
constexpr uint64_t kMiB = uint64_t(1) << 20;
// Copies of the decoded pixels in memory while a texture uploads: ours and
// the driver's staging copy.
constexpr uint64_t kDriverCopies = 2;

std::string Reason(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Reason(const char* format, ...) {
    char text[kReasonSize];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    return text;
}

uint32_t BigEndian(const unsigned char* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | p[i];
    return value;
}

unsigned long long MiBUp(uint64_t bytes) {
    return (bytes + kMiB - 1) / kMiB;
}

// ---- The format ---------------------------------------------------------------------------
// Found with the decoder's own tests in its own order (the TGA test is the
// loosest, so it comes last), only to name the format in messages and to
// apply the guards below.

struct DecoderFormat {
    const char* name;
    int (*test)(stbi__context*);
};

const DecoderFormat kPNG = {"PNG", stbi__png_test};
const DecoderFormat kBMP = {"BMP", stbi__bmp_test};
const DecoderFormat kGIF = {"GIF", stbi__gif_test};
const DecoderFormat kPSD = {"PSD", stbi__psd_test};
const DecoderFormat kJPEG = {"JPEG", stbi__jpeg_test};
const DecoderFormat kPNM = {"PNM", stbi__pnm_test};
const DecoderFormat kHDR = {"HDR", stbi__hdr_test};
const DecoderFormat kTGA = {"TGA", stbi__tga_test};
const DecoderFormat* const kDecoderFormats[] = {&kPNG,  &kBMP, &kGIF, &kPSD,
                                                &kJPEG, &kPNM, &kHDR, &kTGA};

const DecoderFormat* FindDecoderFormat(const unsigned char* data, int size) {
    for (const DecoderFormat* format : kDecoderFormats) {
        stbi__context context;
        stbi__start_mem(&context, data, size);
        if (format->test(&context))
            return format;
    }
    return nullptr;
}

// ---- JPEG Huffman tables ------------------------------------------------------------------
// The decoder builds a Huffman table of the code counts a DHT segment lists
// without checking that they add up to at most 256 codes, and writes past
// its arrays when they don't, in its header reader too. So the segments are
// walked here the way the decoder walks them, each byte looked at once: a
// byte other than FF between segments is skipped, fill bytes (FF FF) too,
// a segment's length skips its payload (comments, EXIF and ICC data may hold
// any bytes), the coded data after a start-of-scan runs to the first FF not
// followed by 00 or a restart marker, and nothing after the end-of-image
// marker is read. A marker the decoder does not know ends its reading, and
// the walk with it.

bool IsJPEGSegmentWithLength(unsigned char marker) {
    return marker == 0xC0 || marker == 0xC1 || marker == 0xC2 || // frames the decoder reads
           marker == 0xC4 || marker == 0xDB || marker == 0xDD || marker == 0xDA || marker == 0xDC ||
           (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
}

// Walks the tables of the DHT segment whose length field is at at (the
// decoder reads on past a segment whose tables overrun it, and so does this).
// False when a table lists more than 256 codes.
bool DHTFits(const unsigned char* data, size_t size, size_t at) {
    constexpr int kCounts = 16, kMaxCodes = 256, kMaxClass = 1, kMaxSlot = 3;
    auto byte = [&](size_t i) {
        return i < size ? data[i] : 0;
    }; // the decoder reads zeros past the end
    long remaining = long(BigEndian(data + at, 2)) - 2;
    size_t p = at + 2;
    while (remaining > 0 && p < size) {
        const unsigned q = byte(p);
        if ((q >> 4) > kMaxClass || (q & 15) > kMaxSlot)
            return true; // the decoder refuses the table itself
        int codes = 0;
        for (int i = 1; i <= kCounts; ++i)
            codes += byte(p + i);
        if (codes > kMaxCodes)
            return false;
        p += 1 + kCounts + codes;
        remaining -= 1 + kCounts + codes;
    }
    return true;
}

// The end of the entropy-coded data starting at at: the FF of the next marker.
size_t SkipCodedData(const unsigned char* data, size_t size, size_t at) {
    for (; at + 1 < size; ++at) {
        if (data[at] != 0xFF)
            continue;
        const unsigned char next = data[at + 1];
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
            ++at; // stuffed FF or restart marker: still coded data
            continue;
        }
        if (next != 0xFF)
            return at;
    }
    return size;
}

// What the walk found besides whether the tables fit, to tell a variant the
// decoder does not read from damage: the marker it does not know that ends
// its reading, when it comes before any scan, where a frame of another coding
// stands (later, or without a frame header's layout, it is damage); the
// precision of the frame it reads; whether a DNL segment gives the height.
struct JPEGWalk {
    bool tablesFit = true;
    unsigned char unknownMarker = 0;
    bool unknownIsFrame = false;
    int precision = 0;
    bool heightInDNL = false;
};

// A frame header at at: length, precision, height, width, then three bytes
// for each of its components.
bool IsFrameHeader(const unsigned char* data, size_t size, size_t at) {
    constexpr size_t kCountAt = 9;
    return at + kCountAt < size && data[at + kCountAt] != 0 &&
           BigEndian(data + at + 2, 2) == 8u + 3u * data[at + kCountAt];
}

JPEGWalk WalkJPEG(const unsigned char* data, size_t size) {
    constexpr unsigned char kEOI = 0xD9, kDHT = 0xC4, kSOS = 0xDA, kDNL = 0xDC, kSOF0 = 0xC0,
                            kSOF2 = 0xC2;
    JPEGWalk walk;
    bool scanned = false;
    // The start-of-image marker, which may follow fill bytes as any marker may.
    size_t at = 0;
    while (at < size && data[at] == 0xFF)
        ++at;
    if (at == 0 || at >= size || data[at] != 0xD8)
        return walk; // the decoder refuses it
    ++at;
    while (at + 1 < size) {
        if (data[at] != 0xFF) {
            ++at;
            continue;
        }
        const unsigned char marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker != kEOI && !IsJPEGSegmentWithLength(marker) && !scanned) {
            walk.unknownMarker = marker;
            walk.unknownIsFrame = IsFrameHeader(data, size, at);
        }
        if (marker == kEOI || !IsJPEGSegmentWithLength(marker) || at + 4 > size)
            return walk;
        if (marker == kDHT && !DHTFits(data, size, at + 2)) {
            walk.tablesFit = false;
            return walk;
        }
        const uint32_t length = BigEndian(data + at + 2, 2);
        if (length < 2)
            return walk; // the decoder refuses it
        if (marker >= kSOF0 && marker <= kSOF2 && at + 4 < size)
            walk.precision = data[at + 4];
        walk.heightInDNL |= marker == kDNL && at + 6 <= size && BigEndian(data + at + 4, 2) != 0;
        at += 2 + length;
        if (marker == kSOS) {
            scanned = true;
            at = SkipCodedData(data, size, at);
        }
    }
    return walk;
}

// ---- PNM header ---------------------------------------------------------------------------
// The decoder reads the width, height and largest value of a PNM header into
// an int digit by digit without a bound, and a number over INT_MAX overflows
// it (undefined behaviour; no real image has such a number). The header is
// read here as the decoder reads it: after the two-byte magic and one more
// byte, blanks and #-comments up to the end of their line, then digits.

bool PNMNumbersFit(const unsigned char* data, size_t size) {
    constexpr int kNumbers = 3;
    size_t at = 2;
    auto atEnd = [&] { return at >= size; };
    auto next = [&] { return at < size ? char(data[at++]) : '\0'; };
    auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    char c = next();
    for (int n = 0; n < kNumbers; ++n) {
        for (;;) {
            while (!atEnd() && isSpace(c))
                c = next();
            if (atEnd() || c != '#')
                break;
            while (!atEnd() && c != '\n' && c != '\r')
                c = next();
        }
        for (uint64_t value = 0; !atEnd() && c >= '0' && c <= '9'; c = next()) {
            value = value * 10 + uint64_t(c - '0');
            if (value > uint64_t(INT_MAX))
                return false;
        }
    }
    return true;
}

// ---- HDR rows -----------------------------------------------------------------------------
// Rows of 8 up to 32767 pixels may be run-length coded: a 4-byte row header
// (2, 2, width), then each of the four channels in runs of at most 127 pixels
// for 2 bytes or literals of a count byte and the bytes. The decoder reads
// zeros past the end of the file, and a zero count is a literal of nothing:
// coded rows cut short would keep it reading for ever. So the coded rows are
// walked here, exactly as the decoder reads them, before it is given them.
constexpr uint64_t kHDRMinRLEWidth = 8;
constexpr uint64_t kHDRMaxRLEWidth = 32767;
constexpr unsigned kHDRRunFlag = 128;
constexpr uint64_t kRGBEBytes = 4;

// Where the pixels start: after the blank line that ends the variables and
// the resolution line that follows it.
uint64_t HDRDataStart(const unsigned char* data, size_t size) {
    const unsigned char* end = data + size;
    static const char kBlankLine[] = "\n\n";
    const unsigned char* blank = std::search(data, end, kBlankLine, kBlankLine + 2);
    const unsigned char* resolutionEnd = blank == end ? end : std::find(blank + 2, end, '\n');
    return resolutionEnd == end ? size + 1 : uint64_t(resolutionEnd - data) + 1;
}

// The end of one coded channel of a row that starts at at; past the file's
// end when the file is cut, 0 when the row is malformed (the decoder refuses it).
uint64_t HDRChannelEnd(const unsigned char* data, size_t size, uint64_t at, uint64_t width) {
    for (uint64_t filled = 0; filled < width;) {
        if (at >= size)
            return at + 1;
        unsigned count = data[at++];
        if (count > kHDRRunFlag) {
            count -= kHDRRunFlag;
            at += 1;
        } else {
            at += count;
        }
        if (count > width - filled)
            return 0;
        filled += count;
    }
    return at;
}

// False when run-length coded rows end before the file says they do.
bool HDRRowsComplete(const unsigned char* data, size_t size, uint64_t width, uint64_t height) {
    if (width < kHDRMinRLEWidth || width > kHDRMaxRLEWidth)
        return true; // flat rows: the decoder reads each pixel once
    uint64_t at = HDRDataStart(data, size);
    for (uint64_t row = 0; row < height; ++row) {
        if (at + kRGBEBytes > size)
            return false;
        if (data[at] != 2 || data[at + 1] != 2 || (data[at + 2] & 0x80))
            return true; // flat from here on
        if (BigEndian(data + at + 2, 2) != width)
            return true; // the decoder refuses it
        at += kRGBEBytes;
        for (uint64_t channel = 0; channel < kRGBEBytes && at != 0; ++channel)
            at = HDRChannelEnd(data, size, at, width);
        if (at == 0)
            return true;
        if (at > size)
            return false;
    }
    return true;
}

// ---- Decoding ----------------------------------------------------------------------------
// The decoder reads zeros past the end of a cut file and calls the image
// whole, after filling every row it was promised: 18 bytes of TGA claiming
// 8000 x 8000 would cost a second of decoding. It is handed the file as the
// buffer of a reading callback instead of as plain memory: it asks the
// callback for more exactly when it reads past the file's last byte, and the
// callback then stops the decode (an exception through the decoder's plain
// C code, which holds nothing but memory, and that is listed above). A file
// the decoder had to invent bytes for is refused as cut.

struct ReadPastTheEnd {};

// user points at a flag: false while the decoder's first refill asks for the
// buffer it does not know it has been given.
int ReadPastEnd(void* user, char*, int) {
    if (!*static_cast<bool*>(user))
        return 0;
    throw ReadPastTheEnd();
}
// Padding skipped at the end of a file (a BMP's last row) is not pixel data.
void SkipPastEnd(void*, int) {}
int AlwaysAtEnd(void*) {
    return 1;
}

const stbi_io_callbacks kPastEndCallbacks = {ReadPastEnd, SkipPastEnd, AlwaysAtEnd};

struct Decoded {
    unsigned char* pixels = nullptr;
    int width = 0, height = 0, channels = 0;
    bool cut = false;
    DecoderSpend spent;
};

// Decodes with at most limit bytes of decoder memory.
Decoded Decode(const unsigned char* data, int size, uint64_t limit) {
    stbi__context context;
    bool armed = false;
    stbi__start_callbacks(&context, const_cast<stbi_io_callbacks*>(&kPastEndCallbacks), &armed);
    armed = true;
    // The whole file is the callback's buffer; the first refill above read nothing.
    stbi_uc* bytes = const_cast<stbi_uc*>(data);
    context.read_from_callbacks = 1;
    context.img_buffer = context.img_buffer_original = bytes;
    context.img_buffer_end = context.img_buffer_original_end = bytes + size;
    Decoded d;
    DecoderBeginDecode(limit);
    try {
        d.pixels = stbi__load_and_postprocess_8bit(&context, &d.width, &d.height, &d.channels, 0);
    } catch (const ReadPastTheEnd&) {
        DecoderFreeBlocksOfDecode();
        d = Decoded();
        d.cut = true;
    }
    d.spent = DecoderEndDecode();
    return d;
}

// Why an image of no pixels or over the size limits is refused; empty for any other.
std::string OutsideLimits(unsigned long long width, unsigned long long height) {
    if (width == 0 || height == 0)
        return Reason("image without pixels (%llu x %llu)", width, height);
    if (width <= uint64_t(kMaxImageDimension) && height <= uint64_t(kMaxImageDimension) &&
        width * height <= kMaxImagePixels)
        return std::string();
    return Reason("image too large (%llu x %llu)", width, height);
}

// ---- Variants the decoder does not read ---------------------------------------------------
// A whole file in a variant of its format that the decoder does not read is
// not damaged, and a person converts it rather than looking for a good copy.
// The decoder's failure reason says which check refused the file; the file's
// own header fields then say whether they hold a real variant (RLE4 at 4 bits,
// a known PSD colour mode) or values no writer makes, which are damage. Each
// function returns the variant's description, or null for damage.

constexpr size_t kVariantSize = 64;
using Variant = char[kVariantSize];

uint32_t LittleEndian(const unsigned char* data, size_t size, size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | (at + i < size ? data[at + i] : 0);
    return value;
}

uint32_t BigEndianAt(const unsigned char* data, size_t size, size_t at, int bytes) {
    return at + bytes <= size ? BigEndian(data + at, bytes) : 0;
}

const char* JPEGVariant(const char* reason, const unsigned char* data, size_t size, Variant out) {
    const JPEGWalk walk = WalkJPEG(data, size);
    constexpr int kExtendedPrecision = 12;
    if (std::strcmp(reason, "only 8-bit") == 0)
        return walk.precision == kExtendedPrecision ? "12-bit samples" : nullptr;
    // The decoder leaves the height to a DNL segment unread; without one the height is just 0.
    if (std::strcmp(reason, "no header height") == 0 && walk.heightInDNL)
        return "height given in a DNL segment after the scan";
    if (std::strcmp(reason, "unknown marker") != 0)
        return nullptr;
    // Frames other than baseline, extended and progressive Huffman coding,
    // the conditioning tables (DAC) that precede arithmetic-coded frames and
    // the hierarchical progression's header (DHP).
    constexpr unsigned char kSOF3 = 0xC3, kSOF5 = 0xC5, kSOF7 = 0xC7, kSOF9 = 0xC9, kDAC = 0xCC,
                            kSOF15 = 0xCF, kDHP = 0xDE;
    const unsigned char m = walk.unknownMarker;
    if (m == kDAC)
        return "arithmetic coding";
    if (!walk.unknownIsFrame)
        return nullptr;
    if (m == kDHP)
        return "hierarchical";
    const char* coding = m == kSOF3                  ? "lossless"
                         : m >= kSOF5 && m <= kSOF7  ? "hierarchical"
                         : m >= kSOF9 && m <= kSOF15 ? "arithmetic coding"
                                                     : nullptr;
    if (!coding)
        return nullptr;
    std::snprintf(out, kVariantSize, "%s (SOF%d frame)", coding, m - 0xC0);
    return out;
}

const char* BMPVariant(const char* reason, const unsigned char* data, size_t size, Variant) {
    constexpr size_t kBitsAt = 28, kCompressionAt = 30;
    constexpr uint32_t kRLE8 = 1, kRLE4 = 2, kJPEGInside = 4, kPNGInside = 5;
    const uint32_t bits = LittleEndian(data, size, kBitsAt, 2);
    const uint32_t compression = LittleEndian(data, size, kCompressionAt, 4);
    if (std::strcmp(reason, "BMP RLE") == 0) {
        if (compression == kRLE8 && bits == 8)
            return "RLE8 compression";
        return compression == kRLE4 && bits == 4 ? "RLE4 compression" : nullptr;
    }
    if (std::strcmp(reason, "BMP JPEG/PNG") != 0)
        return nullptr;
    if (compression == kJPEGInside)
        return "JPEG compression";
    return compression == kPNGInside ? "PNG compression" : nullptr;
}

const char* PSDVariant(const char* reason, const unsigned char* data, size_t size, Variant out) {
    constexpr size_t kVersionAt = 4, kChannelsAt = 12, kDepthAt = 22, kModeAt = 24;
    constexpr uint32_t kLargeDocument = 2, kMaxChannels = 56, kZIP = 2, kZIPPredicted = 3;
    if (std::strcmp(reason, "wrong version") == 0)
        return BigEndianAt(data, size, kVersionAt, 2) == kLargeDocument
                   ? "version 2 (large document format)"
                   : nullptr;
    if (std::strcmp(reason, "wrong channel count") == 0) {
        const uint32_t channels = BigEndianAt(data, size, kChannelsAt, 2);
        if (channels > kMaxChannels)
            return nullptr;
        std::snprintf(out, kVariantSize, "%u channels", unsigned(channels));
        return out;
    }
    if (std::strcmp(reason, "unsupported bit depth") == 0) {
        const uint32_t depth = BigEndianAt(data, size, kDepthAt, 2);
        return depth == 1 ? "1-bit channels" : depth == 32 ? "32-bit channels" : nullptr;
    }
    if (std::strcmp(reason, "wrong color format") == 0) {
        static const char* const kModes[] = {"bitmap colour mode",
                                             "greyscale colour mode",
                                             "indexed colour mode",
                                             nullptr,
                                             "CMYK colour mode",
                                             nullptr,
                                             nullptr,
                                             "multichannel colour mode",
                                             "duotone colour mode",
                                             "Lab colour mode"};
        const uint32_t mode = BigEndianAt(data, size, kModeAt, 2);
        return mode < std::size(kModes) ? kModes[mode] : nullptr;
    }
    if (std::strcmp(reason, "bad compression") != 0)
        return nullptr;
    // The compression field follows the header and three sections of stated lengths.
    constexpr size_t kHeaderBytes = 26;
    constexpr int kSections = 3;
    size_t at = kHeaderBytes;
    for (int section = 0; section < kSections && at <= size; ++section)
        at += 4 + BigEndianAt(data, size, at, 4);
    const uint32_t compression = BigEndianAt(data, size, at, 2);
    return compression == kZIP || compression == kZIPPredicted ? "ZIP compression" : nullptr;
}

const char* HDRVariant(const char* reason, const unsigned char* data, size_t size, Variant) {
    const unsigned char* end = data + size;
    if (std::strcmp(reason, "unsupported format") == 0) {
        // The one other pixel format of the format.
        static const char kXYZE[] = "\nFORMAT=32-bit_rle_xyze\n";
        const bool xyze = std::search(data, end, kXYZE, kXYZE + sizeof(kXYZE) - 1) != end;
        return xyze ? "XYZE colour (FORMAT=32-bit_rle_xyze)" : nullptr;
    }
    if (std::strcmp(reason, "unsupported data layout") != 0)
        return nullptr;
    // A resolution line of one of the other seven orders, such as +Y 4 +X 4.
    static const char kBlankLine[] = "\n\n";
    const unsigned char* line = std::search(data, end, kBlankLine, kBlankLine + 2);
    constexpr ptrdiff_t kMaxLine = 40;
    const std::string text(reinterpret_cast<const char*>(line), std::min(end - line, kMaxLine));
    char sign[2] = {}, axis[2] = {};
    unsigned length[2] = {};
    int used = 0;
    const bool parsed = std::sscanf(text.c_str(), "\n\n%c%c %u %c%c %u\n%n", &sign[0], &axis[0],
                                    &length[0], &sign[1], &axis[1], &length[1], &used) == 6 &&
                        used > 0;
    auto isSign = [](char c) { return c == '+' || c == '-'; };
    auto isAxis = [](char c) { return c == 'X' || c == 'Y'; };
    if (!parsed || !isSign(sign[0]) || !isSign(sign[1]) || !isAxis(axis[0]) || !isAxis(axis[1]) ||
        axis[0] == axis[1])
        return nullptr;
    return "pixel order other than -Y +X (rows top to bottom)";
}

struct FormatVariants {
    const DecoderFormat* format = nullptr;
    const char* (*variant)(const char* reason, const unsigned char* data, size_t size,
                           Variant out) = nullptr;
};

const FormatVariants kFormatVariants[] = {
    {&kJPEG, JPEGVariant}, {&kBMP, BMPVariant}, {&kPSD, PSDVariant}, {&kHDR, HDRVariant}};

// The decoder's own size limits (its reason "too large") and a variant it
// does not read are the failures a person needs told apart from a damaged file.
std::string DecodeFailure(const DecoderFormat& format, const unsigned char* data, int size) {
    const char* reason = stbi_failure_reason();
    if (reason && std::strcmp(reason, "too large") == 0)
        return Reason("image too large (over the %s decoder's limits)", format.name);
    for (const FormatVariants& known : kFormatVariants) {
        Variant out = {};
        const char* variant = known.format == &format && reason
                                  ? known.variant(reason, data, size_t(size), out)
                                  : nullptr;
        if (variant)
            return Reason("%s not supported: %s", format.name, variant);
    }
    return Reason("truncated or corrupt %s", format.name);
}

// The size the decoder's header reader gives, when it gives one.
struct Claim {
    bool known = false;
    int width = 0, height = 0, channels = 0;
};

// Refuses what the decoder should not be given: a JPEG table it would write
// past its arrays with, an image over the size limits, HDR rows it would read
// for ever. Null with the reason, or the format the decoder will pick (and
// in claim the size its header gives).
const DecoderFormat* Admit(const unsigned char* data, int size, Claim* claim, std::string* reason) {
    const DecoderFormat* format = FindDecoderFormat(data, size);
    if (!format) {
        *reason = "unknown image format";
        return nullptr;
    }
    if (format == &kPNM && !PNMNumbersFit(data, size_t(size))) {
        *reason = Reason("corrupt PNM (a header number over %d)", INT_MAX);
        return nullptr;
    }
    if (format == &kJPEG && !WalkJPEG(data, size_t(size)).tablesFit) {
        *reason = "corrupt JPEG (a Huffman table of more than 256 codes)";
        return nullptr;
    }
    stbi__context context;
    stbi__start_mem(&context, data, size);
    int width = 0, height = 0, channels = 0;
    if (!stbi__info_main(&context, &width, &height, &channels)) {
        if (stbi_failure_reason() && std::strcmp(stbi_failure_reason(), "too large") == 0) {
            *reason = DecodeFailure(*format, data, size);
            return nullptr;
        }
        return format; // the decoder will say what it makes of it
    }
    // A BMP stored top row first gives its height negated.
    const unsigned long long w = std::abs(int64_t(width)), h = std::abs(int64_t(height));
    *reason = OutsideLimits(w, h);
    if (!reason->empty())
        return nullptr;
    if (format == &kHDR && !HDRRowsComplete(data, size_t(size), w, h)) {
        *reason = "truncated or corrupt HDR";
        return nullptr;
    }
    *claim = {true, int(w), int(h), channels};
    return format;
}

// What uploading a decoded image takes from the budget: the texture and its
// mipmaps, and the decoded pixels, which stay in memory while the driver
// uploads them, and of which the driver stages a copy of its own on the way
// (measured: a software driver's peak rises by the texture, its mipmaps and
// twice the pixels).
uint64_t UploadBytes(int width, int height, int channels, uint64_t decoded) {
    return ImageGPUBytes(width, height, channels) + kDriverCopies * decoded;
}

std::string BudgetExceeded(const TextureBudget& budget, uint64_t needed) {
    return Reason("over the scene's texture budget (needs %llu MiB, %llu of %llu MiB in use)",
                  MiBUp(needed), MiBUp(budget.used), MiBUp(budget.limit));
}

} // namespace

uint64_t ImageGPUBytes(int width, int height, int channels) {
    const uint64_t texel = channels == 3 ? 4 : uint64_t(channels);
    uint64_t total = 0;
    for (uint64_t w = uint64_t(width), h = uint64_t(height);;
         w = std::max<uint64_t>(w / 2, 1), h = std::max<uint64_t>(h / 2, 1)) {
        total += w * h * texel;
        if (w == 1 && h == 1)
            break;
    }
    return total;
}

void DecodedImage::PixelsFree::operator()(unsigned char* pixels) const {
    stbi_image_free(pixels);
}

DecodedImage ImageDecode(const unsigned char* data, int size, const TextureBudget& budget) {
    DecodedImage out;
    if (!data || size <= 0) {
        out.reason = "no image data";
        return out;
    }
    Claim claim;
    const DecoderFormat* format = Admit(data, size, &claim, &out.reason);
    if (!format)
        return out;
    // The file's bytes stay in memory while it decodes: they are charged too.
    const uint64_t held = budget.used + uint64_t(size);
    if (held > budget.limit) {
        out.reason = BudgetExceeded(budget, uint64_t(size));
        return out;
    }
    const uint64_t left = budget.limit - held;
    // The decoded image holds at least the pixels its header claims: an image
    // whose upload could not fit is not decoded at all.
    if (claim.known) {
        const uint64_t pixels = uint64_t(claim.width) * uint64_t(claim.height) * claim.channels;
        const uint64_t uploading = UploadBytes(claim.width, claim.height, claim.channels, pixels);
        if (uploading > left) {
            out.reason = BudgetExceeded(budget, uploading);
            return out;
        }
    }
    // Blocks the decoder handed out before (a caller's own decode) stay counted;
    // this decode may add at most what is left of the budget.
    const uint64_t before = DecoderBytesHeld();
    Decoded image = Decode(data, size, left);
    DecodedImage::Pixels pixels(image.pixels);
    const DecoderSpend& spent = image.spent;
    if (!image.pixels || image.cut) {
        if (spent.refused)
            out.reason = BudgetExceeded(budget, spent.wanted - before);
        else if (spent.exhausted)
            out.reason = "out of memory decoding the image";
        else if (image.cut) // the decoder's reason is left from before
            out.reason = Reason("truncated or corrupt %s", format->name);
        else
            out.reason = DecodeFailure(*format, data, size);
        return out;
    }
    // A header the decoder's header reader could not read was let through;
    // what the decoder then made of it is held to the same limits.
    out.reason = OutsideLimits(uint64_t(image.width), uint64_t(image.height));
    if (!out.reason.empty())
        return out;
    const uint64_t decoded = spent.held - before;
    const uint64_t uploading = UploadBytes(image.width, image.height, image.channels, decoded);
    if (uploading > left) {
        out.reason = BudgetExceeded(budget, uploading);
        return out;
    }
    out.pixels = std::move(pixels);
    out.width = image.width;
    out.height = image.height;
    out.channels = image.channels;
    return out;
}
