// Logger: exact line layout, level threshold and markers, time stamps.
#include "core/Logger.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "support/LogCapture.h"

TEST(Logger, InfoLineHasStampMarkerTwoBlanksTagAndMessage) {
    LogCapture capture;
    Logger::Instance()->Log(LOG_INFO, "Game", "Engine %s up...", "starting");
    std::string text = capture.Text();
    EXPECT_TRUE(std::regex_match(
        text, std::regex(R"(\d+\.\d{6} \[I\]  \[Game\] Engine starting up\.\.\.\n)")))
        << text;
}

TEST(Logger, EachLevelGetsItsMarker) {
    LogCapture capture;
    Logger::Instance()->Log(LOG_ERROR, "Shader", "e");
    Logger::Instance()->Log(LOG_WARNING, "Window", "w");
    Logger::Instance()->Log(LOG_INFO, "Mesh", "i");
    std::vector<std::string> lines = capture.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "[E]  [Shader] e");
    EXPECT_EQ(lines[1], "[W]  [Window] w");
    EXPECT_EQ(lines[2], "[I]  [Mesh] i");
}

TEST(Logger, LevelsAboveTheThresholdWriteNothing) {
    LogCapture capture;
    Logger::Instance()->Log(LOG_DEBUG, "Game", "debug");
    Logger::Instance()->Log(LOG_TRACE, "Game", "trace");
    EXPECT_EQ(capture.Text(), "");
}

TEST(Logger, UnknownLevelThatPassesIsWrittenWithEmptyMarker) {
    LogCapture capture;
    Logger::Instance()->Log(-1, "Game", "odd");
    std::string text = capture.Text();
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d+\.\d{6}  \[Game\] odd\n)"))) << text;
}

TEST(Logger, NoColourEscapesWhenTheStreamIsNotATerminal) {
    LogCapture capture;
    Logger::Instance()->Log(LOG_ERROR, "Game", "plain");
    EXPECT_EQ(capture.Text().find('\x1b'), std::string::npos);
}

TEST(Logger, TimeStampsNeverDecrease) {
    LogCapture capture;
    for (int i = 0; i < 50; ++i)
        Logger::Instance()->Log(LOG_INFO, "Game", "tick %d", i);
    double previous = -1.0;
    std::istringstream in(capture.Text());
    std::string line;
    while (std::getline(in, line)) {
        double stamp = std::stod(line.substr(0, line.find(' ')));
        EXPECT_GE(stamp, previous);
        previous = stamp;
    }
}
