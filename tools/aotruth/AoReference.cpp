// AoReference: stores a traced reference keyed by everything that made it.
#include "aotruth/AoReference.h"

#include <algorithm>
#include <cmath>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>

#include "core/OutputFile.h"
#include "core/Logger.h"

namespace {

const char* const kTag = "AoTruth";
const char* const kCacheMagic = "aotruth-reference 2\n";
const char* const kTracerVersion = "tracer 4: front-face primary hits, rank-1 lattice lifted by "
                                   "1e-5 of the eye distance, depths\n";

uint64_t Fnv1a(const std::string& text) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    return h;
}

void AppendMatrix(std::string* text, const char* name, const glm::mat4& m) {
    char number[32];
    *text += name;
    for (int c = 0; c < 4; ++c) {
        for (int r = 0; r < 4; ++r) {
            snprintf(number, sizeof(number), " %.9g", double(m[c][r]));
            *text += number;
        }
    }
    *text += "\n";
}

} // namespace

std::string ReferenceKey(const std::string& modelPath, const std::vector<std::string>& modelFiles,
                         const CameraSetup& camera, const TraceSettings& settings) {
    // The tracer's own version leads: a change to how references are made
    // must not reuse the ones made before it.
    std::string key = std::string(kTracerVersion) + "model " + modelPath + "\n";
    // A regenerated or edited model, material library or cut-out texture
    // makes older references stale.
    char line[160];
    for (const std::string& file : modelFiles) {
        struct stat info {};
        if (stat(file.c_str(), &info) == 0)
            snprintf(line, sizeof(line), " %lld bytes, modified %lld.%09ld\n",
                     (long long)info.st_size, (long long)info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
        else
            snprintf(line, sizeof(line), " missing\n");
        key += "file " + file + line;
    }
    AppendMatrix(&key, "view", camera.view);
    AppendMatrix(&key, "proj", camera.proj);
    snprintf(line, sizeof(line), "size %dx%d\nradius %.9g\nrays %d\n", camera.width, camera.height,
             double(settings.radius), settings.rays);
    key += line;
    return key;
}

std::string ReferenceCachePath(const std::string& dir, const std::string& key) {
    char name[64];
    snprintf(name, sizeof(name), "reference-%016" PRIx64 ".bin", Fnv1a(key));
    return dir + "/" + name;
}

namespace {

// Cache layout: magic, key length (uint64), key, width, height (int32), then
// the visibility floats, the mask bytes and the depth floats.
constexpr uint64_t kBytesPerPixel = sizeof(float) + sizeof(uint8_t) + sizeof(float);

uint64_t CacheFileSize(const std::string& key, uint64_t pixels) {
    return std::strlen(kCacheMagic) + sizeof(uint64_t) + key.size() + 2 * sizeof(int32_t) +
           pixels * kBytesPerPixel;
}

// Reads the header; true when it is this key's. *size gets the stored width and height.
bool ReadCacheHeader(FILE* file, const std::string& key, int32_t size[2]) {
    const size_t magicLength = std::strlen(kCacheMagic);
    std::vector<char> magic(magicLength);
    uint64_t keyLength = 0;
    if (fread(magic.data(), 1, magicLength, file) != magicLength ||
        !std::equal(magic.begin(), magic.end(), kCacheMagic) ||
        fread(&keyLength, sizeof(keyLength), 1, file) != 1 || keyLength != key.size())
        return false;
    std::string stored(key.size(), '\0');
    return fread(&stored[0], 1, stored.size(), file) == stored.size() && stored == key &&
           fread(size, sizeof(int32_t), 2, file) == 2;
}

} // namespace

int LoadReference(const std::string& path, const std::string& key, const CameraSetup& camera,
                  ReferenceImage* out) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return -1;
    int32_t size[2] = {0, 0};
    struct stat info {};
    bool ours = camera.width > 0 && camera.height > 0 && fstat(fileno(file), &info) == 0 &&
                ReadCacheHeader(file, key, size);
    if (!ours) { // another key's file or no cache file at all: simply stale
        fclose(file);
        return -1;
    }
    // The key names the camera, so its size is known: the stored one must
    // be it, and the file must hold exactly that many pixels, before any
    // plane is allocated from a number read from disk.
    const uint64_t pixels = uint64_t(camera.width) * uint64_t(camera.height);
    const uint64_t expected = CacheFileSize(key, pixels);
    if (size[0] != camera.width || size[1] != camera.height || uint64_t(info.st_size) != expected) {
        LogMessage(LOG_WARNING, kTag,
                   "Cached reference \"%s\" is damaged (%d x %d pixels in %lld bytes for a "
                   "%d x %d camera); tracing it again",
                   path.c_str(), int(size[0]), int(size[1]), (long long)info.st_size, camera.width,
                   camera.height);
        fclose(file);
        return -1;
    }
    ReferenceImage image;
    image.width = camera.width;
    image.height = camera.height;
    image.visibility.resize(pixels);
    image.mask.resize(pixels);
    image.depth.resize(pixels);
    bool ok = fread(image.visibility.data(), sizeof(float), pixels, file) == pixels &&
              fread(image.mask.data(), 1, pixels, file) == pixels &&
              fread(image.depth.data(), sizeof(float), pixels, file) == pixels &&
              fgetc(file) == EOF;
    fclose(file);
    if (!ok)
        return -1;
    *out = std::move(image);
    return 0;
}

int SaveReference(const std::string& path, const std::string& key, const ReferenceImage& image) {
    int32_t size[2] = {image.width, image.height};
    size_t pixels = size_t(image.width) * image.height;
    if (image.visibility.size() != pixels || image.mask.size() != pixels ||
        image.depth.size() != pixels) {
        LogMessage(LOG_ERROR, kTag,
                   "Not saving \"%s\": the reference's planes don't match its size", path.c_str());
        return -1;
    }
    uint64_t keyLength = key.size();
    std::string bytes(kCacheMagic);
    auto append = [&bytes](const void* data, size_t count) {
        bytes.append(static_cast<const char*>(data), count);
    };
    append(&keyLength, sizeof(keyLength));
    append(key.data(), key.size());
    append(size, sizeof(size));
    append(image.visibility.data(), pixels * sizeof(float));
    append(image.mask.data(), pixels);
    append(image.depth.data(), pixels * sizeof(float));
    // Whole or not at all: an interrupted run never leaves a truncated file
    // under the real name.
    std::string error;
    if (!WriteFileWhole(path, bytes.data(), bytes.size(), &error)) {
        LogMessage(LOG_ERROR, kTag, "%s", error.c_str());
        return -1;
    }
    return 0;
}
