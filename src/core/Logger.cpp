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
    std::lock_guard<std::mutex> hold(mLock);
    FILE* previous = mStream;
    mStream = stream;
    mColour = isatty(fileno(stream)) != 0;
    return previous;
}

std::string Logger::Prefix(int level, const char* tag) {
    char stamp[32] = "";
    if (mShowTime) {
        // The mark is never moved, so this is the time since the logger started.
        float seconds = (mTimer.ElapsedMs() - mTimer.mLastMs) / 1000.0f;
        snprintf(stamp, sizeof(stamp), "%.6f ", static_cast<double>(seconds));
    }
    return std::string(stamp) + Marker(level) + " [" + tag + "] ";
}

void Logger::Log(int level, const char* tag, const char* format, ...) {
    if (level > mLevel)
        return;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    std::string message(length > 0 ? size_t(length) + 1 : 1, '\0');
    vsnprintf(&message[0], message.size(), format, args);
    message.pop_back();
    va_end(args);
    // The stamp is taken under the lock, so stamps never decrease down the log.
    std::lock_guard<std::mutex> hold(mLock);
    const std::string line = Prefix(level, tag) + message;
    const char* colour = mColour ? Colour(level) : nullptr;
    if (colour)
        fputs(colour, mStream);
    fwrite(line.data(), 1, line.size(), mStream);
    // Reset at the end of every coloured line so nothing colours the shell
    // after the program ends.
    if (colour)
        fputs(kColourReset, mStream);
    fputc('\n', mStream);
    fflush(mStream);
}
