// BoxSignals: while the demo waits on a blocking message box, SIGINT and
// SIGTERM end the process (and the box) with a given status; SDL would only
// queue them as quit events that nobody reads until the box is dismissed.
#pragma once

// Installs the handlers for the lifetime of the object and restores the
// previous ones after it.
class ExitOnSignalWhileBlocked {
public:
    explicit ExitOnSignalWhileBlocked(int status);
    ~ExitOnSignalWhileBlocked();
    ExitOnSignalWhileBlocked(const ExitOnSignalWhileBlocked&) = delete;
    ExitOnSignalWhileBlocked& operator=(const ExitOnSignalWhileBlocked&) = delete;
};
