// SDLIOSystem, SDLIOStream: Assimp's file access routed through SDL streams,
// so the model and every file it references are read the way all assets are.
#pragma once

#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>

struct SDL_RWops;

class SDLIOStream : public Assimp::IOStream {
public:
    explicit SDLIOStream(SDL_RWops* rwops);
    ~SDLIOStream() override;

    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    aiReturn Seek(size_t offset, aiOrigin origin) override;
    size_t Tell() const override;
    size_t FileSize() const override;
    void Flush() override;

    SDL_RWops* mRWops; // owned; never null for a stream Open returned
};

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
