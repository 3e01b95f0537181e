// ShotFiles: a shot's stem is the first whose files are all free, whatever
// lies under a taken name (a FIFO is never opened, so nothing blocks); every
// name taken refuses the shot instead of overwriting; a set whose write fails
// half-way leaves nothing of itself behind.
#include "demo/ShotFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

const char* const kStamp = "vesperon-20261208-101500";

enum Kind { FILE_, FIFO_, FOLDER_, DANGLING_LINK_ };

void Make(const TempDir& dir, const std::string& name, Kind kind) {
    std::string path = dir.File(name);
    switch (kind) {
    case FILE_:
        ASSERT_TRUE(dir.Write(name, "x"));
        break;
    case FIFO_:
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        break;
    case FOLDER_:
        ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
        break;
    case DANGLING_LINK_:
        ASSERT_EQ(symlink("no-such-target", path.c_str()), 0);
        break;
    }
}

bool Exists(const std::string& path) {
    struct stat info{};
    return lstat(path.c_str(), &info) == 0;
}

} // namespace

TEST(ShotFiles, TheStemIsTheFirstWhoseWholeSetIsFree) {
    const std::string s = kStamp;
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, Kind>> there;
        const char* expected; // suffix of the stem, or null for a refusal
    } cases[] = {
        {"an empty folder", {}, ""},
        {"the window's name taken", {{s + ".png", FILE_}}, "-2"},
        {"a FIFO under the window's name", {{s + ".png", FIFO_}}, "-2"},
        {"only the JSON's name taken", {{s + ".json", DANGLING_LINK_}}, "-2"},
        {"a folder under the truth's name", {{s + "-truth.png", FOLDER_}}, "-2"},
        {"the first two taken", {{s + ".png", FILE_}, {s + "-2-difference.png", FILE_}}, "-3"},
    };
    for (const Case& c : cases) {
        TempDir dir("vesperon-stem");
        for (const auto& entry : c.there)
            Make(dir, entry.first, entry.second);
        std::string stem, error;
        ASSERT_TRUE(ChooseShotStem(dir.Path(), kStamp, &stem, &error)) << c.what << ": " << error;
        EXPECT_EQ(stem, dir.File(s + c.expected)) << c.what;
    }

    TempDir full("vesperon-stem");
    Make(full, s + ".png", FIFO_);
    for (int n = 2; n <= kMaxShotsPerSecond; ++n)
        Make(full, s + "-" + std::to_string(n) + ".json", FILE_);
    std::string stem = "unchanged", error;
    EXPECT_FALSE(ChooseShotStem(full.Path(), kStamp, &stem, &error));
    EXPECT_EQ(stem, "unchanged");
    EXPECT_NE(error.find("every name for this second is taken"), std::string::npos) << error;
}

TEST(ShotFiles, ASetThatFailsHalfWayLeavesNothingOfItself) {
    TempDir dir("vesperon-set");
    Make(dir, "shot-truth.png", FOLDER_); // only a regular file may be replaced
    std::vector<ShotFile> files = {{dir.File("shot.png"), {1, 2, 3}},
                                   {dir.File("shot-truth.png"), {4, 5}},
                                   {dir.File("shot.json"), {'{', '}'}}};
    std::vector<std::string> written = {"earlier"};
    std::string error;
    EXPECT_FALSE(WriteShotSet(files, &written, &error));
    EXPECT_NE(error.find("shot-truth.png"), std::string::npos) << error;
    EXPECT_EQ(written, std::vector<std::string>{"earlier"});
    EXPECT_FALSE(Exists(dir.File("shot.png"))) << "the file written before the failure is removed";
    EXPECT_FALSE(Exists(dir.File("shot.json")));

    files.erase(files.begin() + 1);
    ASSERT_TRUE(WriteShotSet(files, &written, &error)) << error;
    EXPECT_EQ(written.size(), 3u);
    EXPECT_TRUE(Exists(dir.File("shot.png")) && Exists(dir.File("shot.json")));
}
