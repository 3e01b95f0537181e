// SDL IO bridge: stream positioning and sizes, seek failures, a reader stuck
// at the end of a file, file probing,
// opening (regular files only), closing, refusing material files that would
// crash the importer, and the path separator.
#include "scene/SDLIOSystem.h"

#include <cstring>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <SDL2/SDL_rwops.h>
#include <gtest/gtest.h>

#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

constexpr size_t kFileSize = 100;

// A scratch file holding the bytes 0, 1, ..., 99, removed afterwards.
class ScratchFile {
public:
    ScratchFile() {
        char name[] = "/tmp/sdlio-XXXXXX";
        int fd = mkstemp(name);
        mPath = name;
        unsigned char bytes[kFileSize];
        for (size_t i = 0; i < kFileSize; ++i)
            bytes[i] = static_cast<unsigned char>(i);
        EXPECT_EQ(ssize_t(kFileSize), write(fd, bytes, kFileSize));
        close(fd);
    }
    ~ScratchFile() { unlink(mPath.c_str()); }
    std::string mPath;
};

int OpenDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir))
        ++count;
    closedir(dir);
    return count;
}

// An SDL stream whose seek and size answer what the test sets, to pin down how the
// bridge reads SDL's results.
Sint64 gSeekResult = 0;
int gLastWhence = -1;

Sint64 ScriptedSeek(SDL_RWops*, Sint64, int whence) {
    gLastWhence = whence;
    return gSeekResult;
}

Sint64 ScriptedSize(SDL_RWops*) {
    return gSeekResult;
}

int FreeOnClose(SDL_RWops* rwops) {
    SDL_FreeRW(rwops);
    return 0;
}

SDL_RWops* ScriptedStream() {
    SDL_RWops* rwops = SDL_AllocRW();
    rwops->seek = ScriptedSeek;
    rwops->size = ScriptedSize;
    rwops->close = FreeOnClose;
    return rwops;
}

} // namespace

TEST(SDLIOStream, SeekTellReadAndFileSizeFollowTheFile) {
    ScratchFile file;
    SDLIOSystem system;
    std::unique_ptr<Assimp::IOStream> stream(system.Open(file.mPath.c_str(), "rb"));
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(kFileSize, stream->FileSize());

    ASSERT_EQ(aiReturn_SUCCESS, stream->Seek(10, aiOrigin_SET));
    EXPECT_EQ(10u, stream->Tell());
    stream->Flush();
    EXPECT_EQ(10u, stream->Tell());
    // 90 bytes remain: 11 whole 8-byte items.
    unsigned char buffer[160];
    EXPECT_EQ(11u, stream->Read(buffer, 8, 20));
    EXPECT_EQ(10, buffer[0]);
    EXPECT_EQ(99, buffer[89]);

    // Backward offsets arrive as wrapped size_t values.
    ASSERT_EQ(aiReturn_SUCCESS, stream->Seek(size_t(-30), aiOrigin_CUR));
    EXPECT_EQ(70u, stream->Tell());
    ASSERT_EQ(aiReturn_SUCCESS, stream->Seek(size_t(-1), aiOrigin_END));
    EXPECT_EQ(1u, stream->Read(buffer, 1, 1));
    EXPECT_EQ(99, buffer[0]);
}

// A reader asking again and again at the end of the file is stopped with a
// reason the importer reports; one that finds bytes in between is not.
TEST(SDLIOStream, AReaderThatKeepsAskingAtTheEndOfTheFileIsStopped) {
    ScratchFile file;
    SDLIOSystem system;
    std::unique_ptr<Assimp::IOStream> stream(system.Open(file.mPath.c_str(), "rb"));
    ASSERT_NE(nullptr, stream);
    unsigned char buffer[kFileSize];
    ASSERT_EQ(kFileSize, stream->Read(buffer, 1, kFileSize));
    for (size_t i = 1; i < kMaxReadsAtEnd; ++i)
        ASSERT_EQ(0u, stream->Read(buffer, 1, 1)) << i;
    ASSERT_EQ(aiReturn_SUCCESS, stream->Seek(size_t(-1), aiOrigin_END));
    ASSERT_EQ(1u, stream->Read(buffer, 1, 1)) << "a read that finds a byte starts the count again";
    for (size_t i = 1; i < kMaxReadsAtEnd; ++i)
        ASSERT_EQ(0u, stream->Read(buffer, 1, 1)) << i;
    try {
        stream->Read(buffer, 1, 1);
        ADD_FAILURE() << "read number " << kMaxReadsAtEnd << " at the end went on";
    } catch (const std::exception& stop) {
        EXPECT_STREQ(kReadPastEndMessage, stop.what());
    }
}

TEST(SDLIOStream, WriteReachesTheFile) {
    ScratchFile file;
    SDLIOSystem system;
    Assimp::IOStream* out = system.Open(file.mPath.c_str(), "wb");
    ASSERT_NE(nullptr, out);
    const char text[] = "abcdef";
    EXPECT_EQ(3u, out->Write(text, 2, 3));
    system.Close(out);

    std::unique_ptr<Assimp::IOStream> in(system.Open(file.mPath.c_str(), "rb"));
    ASSERT_NE(nullptr, in);
    EXPECT_EQ(6u, in->FileSize());
}

TEST(SDLIOStream, SeekFailsExactlyWhenSDLReportsMinusOne) {
    SDLIOStream stream(ScriptedStream());
    gSeekResult = -1;
    EXPECT_EQ(aiReturn_FAILURE, stream.Seek(3, aiOrigin_END));
    EXPECT_EQ(RW_SEEK_END, gLastWhence);
    gSeekResult = 7;
    EXPECT_EQ(aiReturn_SUCCESS, stream.Seek(7, aiOrigin_CUR));
    EXPECT_EQ(RW_SEEK_CUR, gLastWhence);
    gSeekResult = 0;
    EXPECT_EQ(aiReturn_SUCCESS, stream.Seek(0, aiOrigin_SET));
    EXPECT_EQ(RW_SEEK_SET, gLastWhence);

    // A real file refuses a position before its start.
    ScratchFile file;
    SDLIOSystem system;
    std::unique_ptr<Assimp::IOStream> real(system.Open(file.mPath.c_str(), "rb"));
    ASSERT_NE(nullptr, real);
    EXPECT_EQ(aiReturn_FAILURE, real->Seek(size_t(-5), aiOrigin_SET));
}

TEST(SDLIOStream, UnknownSizeAndPositionReadAsZero) {
    // SDL answers -1 for a size or position it can't tell.
    SDLIOStream stream(ScriptedStream());
    gSeekResult = -1;
    EXPECT_EQ(0u, stream.FileSize());
    EXPECT_EQ(0u, stream.Tell());
}

TEST(SDLIOSystem, ExistsProbesWithoutLeavingAStreamOpen) {
    ScratchFile file;
    SDLIOSystem system;
    int before = OpenDescriptors();
    EXPECT_TRUE(system.Exists(file.mPath.c_str()));
    EXPECT_EQ(before, OpenDescriptors());
    EXPECT_FALSE(system.Exists("/tmp/no-such-dir/missing.obj"));
    EXPECT_EQ(before, OpenDescriptors());
}

TEST(SDLIOSystem, OpenOfAMissingFileGivesNoStreamAndCloseReleasesOne) {
    SDLIOSystem system;
    EXPECT_EQ(nullptr, system.Open("/tmp/no-such-dir/missing.obj", "rb"));
    system.Close(nullptr);

    ScratchFile file;
    int before = OpenDescriptors();
    Assimp::IOStream* stream = system.Open(file.mPath.c_str(), "rb");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(before + 1, OpenDescriptors());
    system.Close(stream);
    EXPECT_EQ(before, OpenDescriptors());
}

TEST(SDLIOSystem, FilesSettingAPropertyBeforeTheirFirstMaterialAreNotOpened) {
    TempDir dir("sdlio");
    SDLIOSystem system;
    // The importer takes "newmtl" only at the start of a line, and texture and
    // anisotropy keywords by their first letters; each of these would crash it.
    using namespace std::string_literals; // one text holds a zero byte
    const std::string texts[] = {"map_Kd brick.png\nnewmtl a\n"s, "# c\r\nbump b.png\n"s,
                                 "  newmtl a\nmap_Kd x.png\n"s, "NEWMTL a\nnormal n.png\n"s,
                                 "dispx d.png"s, "\n\tMAP_KS s.png\nnewmtl a\n"s, "#\fbump b.png"s,
                                 "# c\0map_Kd x.png\nnewmtl a"s, "1\n a\nnewmtl b"s, "a 0.5"s};
    for (const std::string& text : texts) {
        ASSERT_TRUE(dir.Write("bad.mtl", text));
        LogCapture log;
        int before = OpenDescriptors();
        EXPECT_EQ(nullptr, system.Open(dir.File("bad.mtl").c_str(), "rb")) << text;
        EXPECT_EQ(before, OpenDescriptors()) << text;
        EXPECT_EQ(1u, log.Lines().size()) << text;
        EXPECT_TRUE(log.HasLine("[E]  [Mesh] \"" + dir.File("bad.mtl") +
                                "\" sets a material property before its first material (newmtl); not read"))
            << text;
    }
}

TEST(SDLIOSystem, MaterialFilesAndOtherFilesOpenAtTheirStart) {
    TempDir dir("sdlio");
    SDLIOSystem system;
    const std::string longComment = "# " + std::string(70000, 'x') + "\n"; // past one read chunk
    const std::string texts[] = {"newmtl a\nmap_Kd brick.png\nbump b.png\n",
                                 "newmtlx\nmap_Kd x.png\n", "v 0 0 0\nf 1 1 1\n",
                                 longComment + "newmtl a\nmap_Kd x.png", ""};
    for (const std::string& text : texts) {
        ASSERT_TRUE(dir.Write("good.mtl", text));
        Assimp::IOStream* stream = system.Open(dir.File("good.mtl").c_str(), "rb");
        ASSERT_NE(nullptr, stream) << text.substr(0, 40);
        EXPECT_EQ(0u, stream->Tell());
        std::string read(text.size(), '\0');
        EXPECT_EQ(text.size(), stream->Read(&read[0], 1, read.size()));
        EXPECT_EQ(text, read);
        system.Close(stream);
    }
}

TEST(SDLIOSystem, SeparatorIsThePlatformsOwn) {
    SDLIOSystem system;
    EXPECT_EQ('/', system.getOsSeparator());
}

// A FIFO without a writer would block open() for ever, a directory or a
// device has no file size: none of them is a file the importer may read.
TEST(SDLIOSystem, OnlyRegularFilesExistOrOpenForReading) {
    char dir[] = "/tmp/sdlio-dir-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    const std::string fifo = std::string(dir) + "/texture.png";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    SDLIOSystem system;
    int before = OpenDescriptors();
    for (const std::string& path : {std::string(dir), fifo, std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(system.Exists(path.c_str()));
        EXPECT_EQ(nullptr, system.Open(path.c_str(), "rb"));
        EXPECT_NE(nullptr, strstr(SDL_GetError(), "is not a regular file"));
        EXPECT_EQ(before, OpenDescriptors());
    }
    unlink(fifo.c_str());
    rmdir(dir);
}
