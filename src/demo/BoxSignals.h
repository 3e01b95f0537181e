// BoxSignals: while the demo waits on a blocking message box, a signal that
// would end the process ends the box's process too: SIGINT and SIGTERM end
// both with a given status (SDL would only queue them as quit events that
// nobody reads until the box is dismissed), any other such signal ends the
// box and then acts as it would have, and a box whose process outlives ours
// (SIGKILL) is ended by the kernel.
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
