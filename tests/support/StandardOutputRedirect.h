// StandardOutputRedirect: points this process's standard output (file
// descriptor 1) at another open file or pipe for the object's lifetime, as
// a shell redirect would, so that tests see what a tool sees.
#pragma once

class StandardOutputRedirect {
public:
    explicit StandardOutputRedirect(int fd);
    ~StandardOutputRedirect();
    StandardOutputRedirect(const StandardOutputRedirect&) = delete;
    StandardOutputRedirect& operator=(const StandardOutputRedirect&) = delete;

private:
    int mSaved = -1;
};
