// TempDir: mkdtemp-made scratch directory, removed recursively.
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

TempDir::TempDir(const char* prefix) {
    const std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) != nullptr)
        mPath = name.data();
}

TempDir::~TempDir() {
    if (mPath.empty())
        return;
    std::error_code error;
    std::filesystem::remove_all(mPath, error);
}

std::string TempDir::File(const std::string& name) const {
    return (std::filesystem::path(mPath) / name).string();
}

bool TempDir::Write(const std::string& name, const std::string& bytes) const {
    if (mPath.empty())
        return false;
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}
