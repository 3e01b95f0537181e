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

int LoadReference(const std::string& path, const std::string& key, ReferenceImage* out) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return -1;
    // Layout: magic, key length (uint64), key, width, height (int32), then
    // the visibility floats, the mask bytes and the depth floats.
    std::string header = std::string(kCacheMagic);
    std::vector<char> magic(header.size());
    uint64_t keyLength = 0;
    bool ok = fread(magic.data(), 1, magic.size(), file) == magic.size() &&
              std::equal(magic.begin(), magic.end(), header.begin()) &&
              fread(&keyLength, sizeof(keyLength), 1, file) == 1 && keyLength == key.size();
    std::string stored(ok ? keyLength : 0, '\0');
    int32_t size[2] = {0, 0};
    ok = ok && fread(&stored[0], 1, stored.size(), file) == stored.size() && stored == key &&
         fread(size, sizeof(size), 1, file) == 1 && size[0] > 0 && size[1] > 0;
    ReferenceImage image;
    if (ok) {
        size_t pixels = size_t(size[0]) * size_t(size[1]);
        image.width = size[0];
        image.height = size[1];
        image.visibility.resize(pixels);
        image.mask.resize(pixels);
        image.depth.resize(pixels);
        ok = fread(image.visibility.data(), sizeof(float), pixels, file) == pixels &&
             fread(image.mask.data(), 1, pixels, file) == pixels &&
             fread(image.depth.data(), sizeof(float), pixels, file) == pixels && fgetc(file) == EOF;
    }
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
