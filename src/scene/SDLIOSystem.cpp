// SDLIOSystem, SDLIOStream: own the SDL streams that Assimp reads the model
// and its material files through.
#include "scene/SDLIOSystem.h"

#include <cassert>
#include <cctype>
#include <cstring>
#include <stdexcept>
#include <string>

#include <SDL2/SDL_rwops.h>

#include "core/AssetFile.h"
#include "core/Logger.h"

namespace {

// Assimp's origins and SDL's whence values share their numbering, so an
// origin passes through unchanged.
static_assert(aiOrigin_SET == RW_SEEK_SET && aiOrigin_CUR == RW_SEEK_CUR &&
                  aiOrigin_END == RW_SEEK_END,
              "seek origins must match SDL's whence values");

// SDL reports an unknown size or position as a negative number; as a size_t
// it would read as an enormous file, so it is reported as empty instead.
size_t NonNegative(Sint64 value) {
    return value < 0 ? 0 : static_cast<size_t>(value);
}

// The importer's material-file reader writes texture statements and the
// anisotropy ("a") into the current material without checking that there is
// one: such a line before the first "newmtl" crashes it. It takes "newmtl"
// only at the very start of a line (after a line end it also skips
// indentation, so indentation is ignored for the statements), and keywords by
// their first letters, so a file is judged by the first eight characters of
// each line.
constexpr size_t kLineHeadSize = 8;
constexpr size_t kScanChunkSize = 64 * 1024;
const char* const kUncheckedKeywords[] = {"map_", "bump", "norm", "disp"};

enum class LineKind { Other, Material, Unchecked };

LineKind JudgeLine(const std::string& head, bool indented) {
    if (!indented && head.compare(0, 6, "newmtl") == 0)
        return LineKind::Material;
    std::string lower(head);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* keyword : kUncheckedKeywords) {
        if (lower.compare(0, std::strlen(keyword), keyword) == 0)
            return LineKind::Unchecked;
    }
    // The anisotropy is "a" and a number; a longer word ("aniso") fails to
    // parse as one before anything is written.
    if (!lower.empty() && lower[0] == 'a' &&
        (lower.size() == 1 || !std::isalpha(static_cast<unsigned char>(lower[1]))))
        return LineKind::Unchecked;
    return LineKind::Other;
}

// True when such a statement comes before the first material; reads the
// stream from its current position (the caller rewinds it).
bool PropertyBeforeFirstMaterial(SDL_RWops* rwops) {
    std::string head;
    bool indented = false;
    bool leading = true;
    std::string chunk(kScanChunkSize, '\0');
    size_t got;
    while ((got = SDL_RWread(rwops, &chunk[0], 1, chunk.size())) > 0) {
        for (size_t i = 0; i < got; ++i) {
            char c = chunk[i];
            if (c == '\n' || c == '\r' || c == '\0' || c == '\f') { // the importer's line ends
                LineKind kind = JudgeLine(head, indented);
                if (kind != LineKind::Other)
                    return kind == LineKind::Unchecked;
                head.clear();
                indented = false;
                leading = true;
            } else if (leading && (c == ' ' || c == '\t')) {
                indented = true;
            } else {
                leading = false;
                if (head.size() < kLineHeadSize)
                    head.push_back(c);
            }
        }
    }
    return JudgeLine(head, indented) == LineKind::Unchecked;
}

// Reading is all the importer does with model files; only a mode that could
// write or create a file goes to SDL unchecked.
bool ReadOnlyMode(const char* mode) {
    return mode && mode[0] == 'r' && !strchr(mode, '+');
}

} // namespace

SDLIOStream::SDLIOStream(SDL_RWops* rwops) : mRWops(rwops) {
    assert(rwops && "a stream is only made for a file SDL opened");
}

SDLIOStream::~SDLIOStream() {
    if (mRWops)
        SDL_RWclose(mRWops);
}

size_t SDLIOStream::Read(void* buffer, size_t size, size_t count) {
    size_t got = SDL_RWread(mRWops, buffer, size, count);
    if (got > 0 || size == 0 || count == 0) {
        mEmptyReads = 0;
        return got;
    }
    // Unwound through the reader like its own failures, to the importer's
    // entry point, which takes any std::exception as the import's failure.
    if (++mEmptyReads >= kMaxReadsAtEnd)
        throw std::runtime_error(kReadPastEndMessage);
    return 0;
}

size_t SDLIOStream::Write(const void* buffer, size_t size, size_t count) {
    return SDL_RWwrite(mRWops, buffer, size, count);
}

aiReturn SDLIOStream::Seek(size_t offset, aiOrigin origin) {
    // Assimp passes backward offsets as wrapped size_t values; the signed
    // conversion restores them.
    Sint64 result = SDL_RWseek(mRWops, static_cast<Sint64>(offset), static_cast<int>(origin));
    return result == -1 ? aiReturn_FAILURE : aiReturn_SUCCESS;
}

size_t SDLIOStream::Tell() const {
    return NonNegative(SDL_RWseek(mRWops, 0, RW_SEEK_CUR));
}

size_t SDLIOStream::FileSize() const {
    return NonNegative(SDL_RWsize(mRWops));
}

void SDLIOStream::Flush() {}

// Only a regular file exists for the importer: probing a FIFO by opening it
// would block until a writer came, and a directory reads as garbage.
bool SDLIOSystem::Exists(const char* path) const {
    SDL_RWops* rwops = OpenRegularFile(path);
    if (!rwops)
        return false;
    SDL_RWclose(rwops);
    return true;
}

char SDLIOSystem::getOsSeparator() const {
#ifdef _WIN32
    return '\\';
#else
    return '/';
#endif
}

Assimp::IOStream* SDLIOSystem::Open(const char* path, const char* mode) {
    SDL_RWops* rwops = ReadOnlyMode(mode) ? OpenRegularFile(path) : SDL_RWFromFile(path, mode);
    if (!rwops)
        return nullptr;
    // Any file may be named as a material library, so every file read is
    // judged; valid model and material files never hold such a line.
    if (ReadOnlyMode(mode)) {
        bool unsafe = PropertyBeforeFirstMaterial(rwops);
        if (unsafe || SDL_RWseek(rwops, 0, RW_SEEK_SET) != 0) {
            if (unsafe)
                LogMessage(
                    LOG_ERROR, "Mesh",
                    "\"%s\" sets a material property before its first material (newmtl); not read",
                    path);
            SDL_RWclose(rwops);
            return nullptr;
        }
    }
    return new SDLIOStream(rwops);
}

void SDLIOSystem::Close(Assimp::IOStream* stream) {
    delete stream;
}
