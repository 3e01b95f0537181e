// Logger: the process-wide console log. One line per message: time stamp,
// level marker, subsystem tag, printf-style message; coloured by level when
// standard output is a terminal.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "core/Timer.h"

enum LogLevel {
    LOG_ERROR = 0,
    LOG_WARNING = 1,
    LOG_INFO = 2,
    LOG_DEBUG = 3,
    LOG_TRACE = 4,
};

class Logger {
public:
    // The one logger of the process, created on first use (thread-safe
    // function-local static) and destroyed at exit.
    static Logger* Instance();

    virtual ~Logger() = default;

    // Any thread may log: each line is written whole, under the logger's lock.
    void Log(int level, const char* tag, const char* format, ...)
        __attribute__((format(printf, 4, 5)));

    // Redirects the lines (tests capture them in a memory stream). Returns
    // the previous stream.
    FILE* SetStream(FILE* stream);

    Timer mTimer;
    bool mShowTime;
    int mLevel;

private:
    Logger();
    std::string Prefix(int level, const char* tag);

    std::mutex mLock; // held for each line and for a change of stream
    FILE* mStream;
    bool mColour; // the stream is a terminal: colour by ANSI escapes
};

// Shorthand used by every module: LogMessage(LOG_INFO, "Game", "...").
#define LogMessage(level, tag, ...) Logger::Instance()->Log((level), (tag), __VA_ARGS__)
