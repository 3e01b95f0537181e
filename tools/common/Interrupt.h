// Interrupt: the measuring tools' answer to SIGINT, SIGTERM and SIGHUP: a request to
// stop that long work (tracing, rendering rounds) polls between steps, so a
// run ends promptly and never in the middle of writing a file.
#pragma once

// Installs the handlers (once per process; before SDL starts, which then
// leaves them in place instead of turning the signals into quit events).
void CatchInterrupts();
// Whether SIGINT, SIGTERM or SIGHUP arrived since CatchInterrupts.
bool Interrupted();
// A reader that closes the tool's output pipe early (`| head`) then shows
// as a failed write (EPIPE) the tool reports, not as a silent death.
void IgnoreBrokenPipe();
