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

// A thread's capture keeps exactly its own lines, as the stream shows them,
// while another thread logs and the stream is swapped under both.
TEST(Logger, ThreadCaptureKeepsOnlyItsThreadsLinesWhileOthersLog) {
    LogCapture capture;
    std::thread other([] {
        for (int i = 0; i < 500; ++i)
            LogMessage(LOG_INFO, "Other", "theirs %d", i);
    });
    std::string mine;
    std::vector<std::string> expected, caught, onStream;
    Logger::CaptureThisThread(&mine);
    for (int i = 0; i < 500; ++i) {
        LogMessage(LOG_ERROR, "Mine", "mine %d", i);
        expected.push_back("[E]  [Mine] mine " + std::to_string(i));
        if (i % 50 == 0) // swapped and put back, as a test's capture does
            Logger::Instance()->SetStream(Logger::Instance()->SetStream(stdout));
    }
    Logger::CaptureThisThread(nullptr);
    other.join();
    std::istringstream in(mine);
    for (std::string line; std::getline(in, line);)
        caught.push_back(line.substr(line.find(' ') + 1)); // without the stamp
    for (const std::string& line : capture.Lines())
        if (line.find("[Mine]") != std::string::npos)
            onStream.push_back(line);
    EXPECT_EQ(caught, expected);
    EXPECT_EQ(onStream, expected);
}
