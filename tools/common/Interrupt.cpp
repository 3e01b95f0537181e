// Interrupt: a flag set from the signal handler, the only thing a handler
// may safely do here; the tools read it between steps.
#include "common/Interrupt.h"

#include <csignal>

namespace {

// A hang-up (the terminal closed, a session's end) asks for a stop like the others.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
    gInterrupted = 1;
}

} // namespace

void CatchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESTART; // the libraries around need not expect EINTR
    sigemptyset(&action.sa_mask);
    for (int sig : kStopSignals)
        sigaction(sig, &action, nullptr);
}

void IgnoreBrokenPipe() {
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
}

bool Interrupted() {
    return gInterrupted != 0;
}
