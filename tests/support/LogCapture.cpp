// LogCapture: memory-stream capture of the logger's lines for assertions.
#include "support/LogCapture.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "core/Logger.h"

LogCapture::LogCapture() : mBuffer(nullptr), mSize(0) {
    mStream = open_memstream(&mBuffer, &mSize);
    mPrevious = Logger::Instance()->SetStream(mStream);
}

LogCapture::~LogCapture() {
    Logger::Instance()->SetStream(mPrevious);
    fclose(mStream);
    free(mBuffer);
}

std::string LogCapture::Text() {
    fflush(mStream);
    return std::string(mBuffer, mSize);
}

std::vector<std::string> LogCapture::Lines() {
    std::vector<std::string> lines;
    std::istringstream in(Text());
    std::string line;
    while (std::getline(in, line)) {
        // Drop "<seconds> " in front of the marker.
        size_t space = line.find(' ');
        lines.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return lines;
}

bool LogCapture::HasLine(const std::string& line) {
    const std::vector<std::string> lines = Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool LogCapture::Contains(const std::string& message) {
    for (const std::string& line : Lines()) {
        // The message follows the bracketed tag: "[I]  [Tag] message".
        size_t close = line.find("] ", line.find('[', 1));
        if (close != std::string::npos && line.substr(close + 2) == message)
            return true;
    }
    return false;
}

bool LogCapture::ContainsFragment(const std::string& fragment) {
    return Text().find(fragment) != std::string::npos;
}
