// Logger: the process-wide console log. One line per message: time stamp,
// level marker, subsystem tag, printf-style message; coloured by level when
// standard output is a terminal.
#pragma once

#include <cstdio>

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

    void Log(int level, const char* tag, const char* format, ...)
        __attribute__((format(printf, 4, 5)));
    void WritePrefix(int level, const char* tag);

    // Redirects the lines (tests capture them in a memory stream; a shader
    // reload catches the loader's lines to show the first error). Returns the
    // previous stream.
    FILE* SetStream(FILE* stream);

    Timer mTimer;
    bool mShowTime;
    int mLevel;
    FILE* mStream;

private:
    Logger();
    bool mColour; // the stream is a terminal: colour by ANSI escapes
};

// Shorthand used by every module: LogMessage(LOG_INFO, "Game", "...").
#define LogMessage(level, tag, ...) Logger::Instance()->Log((level), (tag), __VA_ARGS__)
