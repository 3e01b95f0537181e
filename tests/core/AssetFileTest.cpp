// AssetFile: whole-file reads, the NUL after the bytes, and each refusal
// logged once under the caller's tag.
#include "core/AssetFile.h"

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
    EXPECT_TRUE(
        log.ContainsFragment("[E]  [Texture] Error while loading texture \"" + missing + "\": "));
    EXPECT_TRUE(log.ContainsFragment("[E]  [Texture] Unable to determine file size for \"" + empty +
                                     "\": "));
    EXPECT_TRUE(
        log.HasLine("[E]  [Texture] Error while loading texture \"" + big + "\": file too large"));
    EXPECT_EQ(log.Lines().size(), 3u) << "one line per refusal";
}
