// Logger: the process-wide console log with level markers and colours.
#include "core/Logger.h"

#include <cstdarg>
#include <unistd.h>

namespace {

const char* Marker(int level) {
    switch (level) {
    case LOG_ERROR:
        return "[E] ";
    case LOG_WARNING:
        return "[W] ";
    case LOG_INFO:
        return "[I] ";
    case LOG_DEBUG:
        return "[D] ";
    case LOG_TRACE:
        return "[T] ";
    default:
        return "";
    }
}

// The console colours of the levels (12 light red, 14 yellow, 10 light
// green, 13 light magenta) as the bright ANSI foregrounds; the background
// is never touched. Trace and unknown levels get no colour.
const char* Colour(int level) {
    switch (level) {
    case LOG_ERROR:
        return "\x1b[91m";
    case LOG_WARNING:
        return "\x1b[93m";
    case LOG_INFO:
        return "\x1b[92m";
    case LOG_DEBUG:
        return "\x1b[95m";
    default:
        return nullptr;
    }
}

const char* kColourReset = "\x1b[0m";

} // namespace

Logger::Logger() : mShowTime(true), mLevel(LOG_INFO), mStream(stdout) {
    mColour = isatty(fileno(stdout)) != 0;
}

Logger* Logger::Instance() {
    static Logger logger;
    return &logger;
}

FILE* Logger::SetStream(FILE* stream) {
    FILE* previous = mStream;
    mStream = stream;
    mColour = isatty(fileno(stream)) != 0;
    return previous;
}

void Logger::WritePrefix(int level, const char* tag) {
    const char* colour = Colour(level);
    if (mColour && colour)
        fputs(colour, mStream);
    if (mShowTime) {
        // The mark is never moved, so this is the time since the logger started.
        float seconds = (mTimer.ElapsedMs() - mTimer.mLastMs) / 1000.0f;
        fprintf(mStream, "%.6f ", static_cast<double>(seconds));
    }
    fprintf(mStream, "%s [%s] ", Marker(level), tag);
}

void Logger::Log(int level, const char* tag, const char* format, ...) {
    if (level > mLevel)
        return;
    // The truth's scene build and tracing threads log too: the stream's own
    // lock, held for the whole line, keeps their lines from interleaving.
    FILE* stream = mStream;
    flockfile(stream);
    WritePrefix(level, tag);
    va_list args;
    va_start(args, format);
    vfprintf(mStream, format, args);
    va_end(args);
    // Reset at the end of every coloured line so nothing colours the shell
    // after the program ends.
    if (mColour && Colour(level))
        fputs(kColourReset, mStream);
    fputc('\n', mStream);
    fflush(mStream);
    funlockfile(stream);
}
