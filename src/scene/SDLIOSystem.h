// SDLIOSystem, SDLIOStream: Assimp's file access routed through SDL streams,
// so the model and every file it references are read the way all assets are.
#pragma once

#include <cstddef>

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>

struct SDL_RWops;

class SDLIOStream : public Assimp::IOStream {
public:
    explicit SDLIOStream(SDL_RWops* rwops);
    ~SDLIOStream() override;

    // Some of the importer's readers ask for more at the end of a file cut
    // short again and again, never giving up (a PLY cut inside its header):
    // after kMaxReadsAtEnd reads in a row that found nothing, Read throws,
    // which fails the import with kReadPastEndMessage as its reason.
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    aiReturn Seek(size_t offset, aiOrigin origin) override;
    size_t Tell() const override;
    size_t FileSize() const override;
    void Flush() override;

    SDL_RWops* mRWops;      // owned; never null for a stream Open returned
    size_t mEmptyReads = 0; // reads in a row that found nothing
};

// No reader makes a thousand attempts in a row at the end of a file; one
// that loops there makes millions a second.
constexpr size_t kMaxReadsAtEnd = 1000;
constexpr const char* kReadPastEndMessage =
    "the file ends before what it announces (the importer kept reading past its end)";

class SDLIOSystem : public Assimp::IOSystem {
public:
    SDLIOSystem() = default;
    ~SDLIOSystem() override = default;

    // True only for a regular file that can be opened for reading.
    bool Exists(const char* path) const override;
    char getOsSeparator() const override;
    // Null when the file can't be opened (for reading: also when it is not a
    // regular file), so the importer reports the failure itself.
    Assimp::IOStream* Open(const char* path, const char* mode) override;
    void Close(Assimp::IOStream* stream) override;
};
