// AssetFile: whole-file reads, the NUL after the bytes, and each refusal
// logged once under the caller's tag.
#include "core/AssetFile.h"

#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "support/LogCapture.h"
#include "support/TempDir.h"

TEST(AssetFile, ReadsTheWholeFileFollowedByANul) {
    TempDir dir("vesperon-asset");
    ASSERT_TRUE(dir.Write("a.txt", std::string("ab\0cd", 5)));
    AssetFile file;
    ASSERT_EQ(ReadAssetFile(dir.File("a.txt").c_str(), "Shader", "shader", &file), 0);
    ASSERT_EQ(file.size, 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(file.data), 5), std::string("ab\0cd", 5));
    EXPECT_EQ(file.data[5], '\0');
    FreeAssetFile(&file);
    EXPECT_EQ(file.data, nullptr);
}

TEST(AssetFile, MissingEmptyAndOversizeFilesAreRefusedWithTheirMessages) {
    SDL_SetError("Couldn't get DPI");
    TempDir dir("vesperon-asset");
    ASSERT_TRUE(dir.Write("empty", ""));
    ASSERT_TRUE(dir.Write("big", std::string(100, 'x')));
    const std::string missing = dir.File("missing.png");
    const std::string empty = dir.File("empty");
    const std::string big = dir.File("big");
    LogCapture log;
    AssetFile file;
    EXPECT_EQ(ReadAssetFile(missing.c_str(), "Texture", "texture", &file), -1);
    EXPECT_EQ(ReadAssetFile(empty.c_str(), "Texture", "texture", &file), -1);
    EXPECT_EQ(ReadAssetFile(big.c_str(), "Texture", "texture", &file, 99), -1);
    EXPECT_EQ(file.data, nullptr);
    EXPECT_TRUE(log.ContainsFragment("[E]  [Texture] Error while loading texture \"" + missing +
                                     "\": Couldn't open " + missing +
                                     ": No such file or directory"));
    // Not whatever error SDL happened to hold from an earlier call.
    EXPECT_TRUE(log.HasLine("[E]  [Texture] Error while loading texture \"" + empty +
                            "\": the file is empty"));
    EXPECT_TRUE(log.HasLine("[E]  [Texture] Error while loading texture \"" + big +
                            "\": file too large (100 bytes, at most 99)"));
    EXPECT_EQ(log.Lines().size(), 3u) << "one line per refusal";
}

// A directory's size reads as about 2^63 and a FIFO without a writer blocks
// open() for ever: neither is opened for reading, nothing is allocated, and
// the line says what the path is.
TEST(AssetFile, OnlyRegularFilesAreRead) {
    TempDir dir("vesperon-asset");
    const std::string folder = dir.File("Scene.frag");
    const std::string fifo = dir.File("brick.png");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, const char*> cases[] = {
        {folder, "a directory"}, {fifo, "a FIFO"}, {"/dev/zero", "a device"}};
    for (const auto& [path, what] : cases) {
        SCOPED_TRACE(path);
        LogCapture log;
        AssetFile file;
        EXPECT_EQ(ReadAssetFile(path.c_str(), "Shader", "shader", &file), -1);
        EXPECT_EQ(file.data, nullptr);
        EXPECT_TRUE(log.HasLine("[E]  [Shader] Error while loading shader \"" + path +
                                "\": the path is not a regular file (it is " + what + ")"))
            << log.Text();
        EXPECT_EQ(log.Lines().size(), 1u);
    }
    unlink(fifo.c_str());
    rmdir(folder.c_str());
}

TEST(AssetFile, OpenRegularFileTellsARefusedTypeFromAMissingFile) {
    TempDir dir("vesperon-asset");
    ASSERT_TRUE(dir.Write("a.txt", "abc"));
    bool notRegular = true;
    SDL_RWops* stream = OpenRegularFile(dir.File("a.txt").c_str(), &notRegular);
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(notRegular);
    EXPECT_EQ(SDL_RWsize(stream), 3);
    SDL_RWclose(stream);
    EXPECT_EQ(OpenRegularFile(dir.File("missing").c_str(), &notRegular), nullptr);
    EXPECT_FALSE(notRegular);
    EXPECT_EQ(OpenRegularFile(dir.Path().c_str(), &notRegular), nullptr);
    EXPECT_TRUE(notRegular);
    EXPECT_TRUE(PathExists(dir.Path().c_str()));
    EXPECT_FALSE(PathExists(dir.File("missing").c_str()));
}

// A link that leads nowhere is something at the path (so a model's texture
// keeps its folder), and reading it says why it fails, with the whole path.
TEST(AssetFile, BrokenSymbolicLinksExistAndGiveTheirRealReason) {
    TempDir dir("vesperon-asset");
    const std::string dangling = dir.File("brick.png");
    const std::string loop = dir.File("loop.png");
    ASSERT_EQ(symlink("gone.png", dangling.c_str()), 0);
    ASSERT_EQ(symlink("loop.png", loop.c_str()), 0);
    const std::pair<std::string, std::string> cases[] = {
        {dangling, "dangling symbolic link (to gone.png)"},
        {loop, "Too many levels of symbolic links"}};
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(PathExists(path.c_str()));
        LogCapture log;
        AssetFile file;
        EXPECT_EQ(ReadAssetFile(path.c_str(), "Texture", "texture", &file), -1);
        EXPECT_TRUE(log.HasLine("[E]  [Texture] Error while loading texture \"" + path +
                                "\": Couldn't open " + path + ": " + reason))
            << log.Text();
    }
    unlink(dangling.c_str());
    unlink(loop.c_str());
}
