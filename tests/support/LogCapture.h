// LogCapture: redirects the process-wide logger into a memory stream for the
// lifetime of the object, so tests can assert on the exact lines.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class LogCapture {
public:
    LogCapture();
    ~LogCapture();

    // Everything written so far.
    std::string Text();
    // The lines written so far, without the time-stamp prefix (from the
    // level marker on), e.g. "[E]  [Shader] Error compiling \"x\"".
    std::vector<std::string> Lines();
    // True when one of Lines() equals line exactly.
    bool HasLine(const std::string& line);
    // True when some line's message (the text after "] ") equals message.
    bool Contains(const std::string& message);
    // True when some line contains fragment anywhere.
    bool ContainsFragment(const std::string& fragment);

private:
    FILE* mPrevious;
    FILE* mStream;
    char* mBuffer;
    size_t mSize;
};
