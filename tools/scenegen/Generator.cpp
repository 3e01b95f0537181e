// Generation pipeline. Textures are painted and encoded on worker threads while the main thread
// formats the OBJ, then helps with any textures left. Every file is written under a temporary
// name and renamed into place, so an interrupted run never leaves a truncated model that a build
// system would consider up to date.
#include "Generator.h"

#include "Architecture.h"
#include "ObjWriter.h"
#include "Textures.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace scenegen {

namespace {

namespace fs = std::filesystem;

bool writeFileAtomically(const fs::path& path, const void* data, size_t size, std::string& error) {
    const fs::path temp = path.string() + ".tmp";
    std::FILE* file = std::fopen(temp.string().c_str(), "wb");
    if (file == nullptr) {
        error = "cannot create " + temp.string();
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = "cannot write " + temp.string();
        std::remove(temp.string().c_str());
        return false;
    }
    std::error_code ec;
    fs::rename(temp, path, ec);
    if (ec) {
        error = "cannot rename " + temp.string() + " to " + path.string() + ": " + ec.message();
        std::remove(temp.string().c_str());
        return false;
    }
    return true;
}

// Hands out catalogue entries to whichever thread asks next and remembers the first failure.
class TextureJobs {
public:
    explicit TextureJobs(fs::path dir) : dir_(std::move(dir)) {}

    void work() {
        const auto& catalogue = textureCatalogue();
        for (size_t i = next_++; i < catalogue.size(); i = next_++) {
            const Image image = paintTexture(catalogue[i]);
            const std::vector<uint8_t> png = encodePng(image);
            std::string error = png.empty() ? "cannot encode " + catalogue[i].name : "";
            if (!png.empty()) {
                writeFileAtomically(dir_ / (catalogue[i].name + ".png"), png.data(), png.size(),
                                    error);
            }
            if (!error.empty()) {
                std::lock_guard<std::mutex> lock(mutex_);
                if (error_.empty())
                    error_ = error;
            }
        }
    }

    std::string error() const { return error_; }

private:
    fs::path dir_;
    std::atomic<size_t> next_{0};
    std::mutex mutex_;
    std::string error_;
};

std::string normalisedPrefix(std::string prefix) {
    if (!prefix.empty() && prefix.back() != '/')
        prefix += '/';
    return prefix;
}

} // namespace

GeneratorResult generate(const GeneratorOptions& options) {
    GeneratorResult result;
    const fs::path textureDir = options.outputDir / kTextureDirName;
    std::error_code ec;
    fs::create_directories(textureDir, ec);
    if (ec) {
        result.error = "cannot create " + textureDir.string() + ": " + ec.message();
        return result;
    }

    TextureJobs jobs(textureDir);
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    const unsigned workers = options.threads != 0 ? options.threads : hardware;
    std::vector<std::thread> threads;
    // The main thread is busy with the OBJ first, so it counts as one of the workers.
    for (unsigned i = 1; i < workers; ++i)
        threads.emplace_back([&jobs] { jobs.work(); });

    Scene scene;
    buildCourtyard(scene);
    const std::string obj = formatObj(scene, kMtlFileName);
    const std::string mtl = formatMtl(scene, normalisedPrefix(options.texturePrefix));
    std::string error;
    // The MTL goes first: once the OBJ exists the model is considered complete.
    const bool written =
        writeFileAtomically(options.outputDir / kMtlFileName, mtl.data(), mtl.size(), error) &&
        writeFileAtomically(options.outputDir / kObjFileName, obj.data(), obj.size(), error);

    jobs.work();
    for (std::thread& t : threads)
        t.join();

    if (!written) {
        result.error = error;
        return result;
    }
    if (!jobs.error().empty()) {
        result.error = jobs.error();
        return result;
    }
    result.ok = true;
    for (const Mesh& m : scene.meshes())
        result.meshes += m.empty() ? 0 : 1;
    result.triangles = scene.triangleCount();
    result.materials = scene.materials().size();
    result.textures = textureCatalogue().size();
    return result;
}

} // namespace scenegen
