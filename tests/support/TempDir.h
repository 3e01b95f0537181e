// TempDir: a fresh directory under /tmp for the lifetime of the object,
// removed with everything in it on destruction.
#pragma once

#include <string>

class TempDir {
public:
    // Creates /tmp/<prefix>-XXXXXX; Path() is empty when that fails.
    explicit TempDir(const char* prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return mPath; }
    // The path of name inside the directory.
    std::string File(const std::string& name) const;
    // Writes bytes to the file name inside the directory, replacing it.
    bool Write(const std::string& name, const std::string& bytes) const;

private:
    std::string mPath;
};
