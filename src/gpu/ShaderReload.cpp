// ShaderReload: the load runs with this thread's log lines also kept in
// memory, so the first error line can be picked out of them.
#include "gpu/ShaderReload.h"

#include <sstream>

#include "core/Logger.h"

namespace {

const char* const kInfoLogHeader = "OpenGL error log:";
const char* const kErrorMarker = "[E]";
const char* const kTagEnd = "] ";

// The message of a log line: what follows its tag ("... [E]  [Shader] msg").
std::string Message(const std::string& line) {
    size_t error = line.find(kErrorMarker);
    size_t from = error == std::string::npos ? 0 : error + 3;
    size_t tagEnd = line.find(kTagEnd, from);
    std::string message = tagEnd == std::string::npos ? line : line.substr(tagEnd + 2);
    size_t first = message.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : message.substr(first);
}

} // namespace

std::string FirstErrorLine(const std::string& logText) {
    std::istringstream in(logText);
    std::string line;
    std::string firstError;
    bool inInfoLog = false;
    while (std::getline(in, line)) {
        if (line.find(kErrorMarker) == std::string::npos)
            continue;
        std::string message = Message(line);
        if (message.empty())
            continue;
        if (inInfoLog)
            return message;
        if (message == kInfoLogHeader) {
            inInfoLog = true;
            continue;
        }
        if (firstError.empty())
            firstError = message;
    }
    return firstError;
}

int ReloadShaderProgram(const ShaderSource& source, std::string* firstError) {
    std::string text;
    std::string* previous = Logger::CaptureThisThread(&text);
    ShaderProgram fresh{};
    int result = LoadShaderProgram(fresh, source.vertexPath, source.fragmentPath);
    Logger::CaptureThisThread(previous);
    if (result != 0) {
        DestroyShaderProgram(fresh); // a program that failed to link
        *firstError = FirstErrorLine(text);
        if (firstError->empty())
            *firstError = std::string("couldn't load ") + source.fragmentPath;
        return -1;
    }
    DestroyShaderProgram(*source.record);
    *source.record = fresh;
    return 0;
}
