// ShotFiles: stems probed with lstat (which follows no link and opens
// nothing), and a set undone file by file when one of its writes fails.
#include "demo/ShotFiles.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

#include "core/OutputFile.h"

namespace {

// Anything at path, or a name that can't be looked up: either way not ours
// to take.
bool NameTaken(const std::string& path) {
    struct stat info{};
    return lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

bool StemFree(const std::string& stem) {
    for (const char* suffix : kShotSuffixes)
        if (NameTaken(stem + suffix))
            return false;
    return true;
}

} // namespace

bool ChooseShotStem(const std::string& folder, const std::string& stamp, std::string* stem,
                    std::string* error) {
    const std::string base = folder + "/" + stamp;
    for (int n = 1; n <= kMaxShotsPerSecond; ++n) {
        std::string candidate = n == 1 ? base : base + "-" + std::to_string(n);
        if (StemFree(candidate)) {
            *stem = candidate;
            return true;
        }
    }
    *error = "every name for this second is taken (up to \"" + base + "-" +
             std::to_string(kMaxShotsPerSecond) + "\")";
    return false;
}

bool WriteShotSet(const std::vector<ShotFile>& files, std::vector<std::string>* written,
                  std::string* error) {
    std::vector<std::string> done;
    for (const ShotFile& file : files) {
        if (WriteFileWhole(file.path, file.bytes.data(), file.bytes.size(), error)) {
            done.push_back(file.path);
            continue;
        }
        for (const std::string& path : done)
            unlink(path.c_str());
        return false;
    }
    written->insert(written->end(), done.begin(), done.end());
    return true;
}
