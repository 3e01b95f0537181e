// StandardStreams: descriptors 0, 1 and 2 of the process. Started with one of
// them closed, a program would hand that number to the next file or socket it
// opens (the X connection, a report) and then write its log into it or read
// its input from it; so each closed one is given /dev/null first.
#pragma once

// The device a closed standard descriptor is given.
constexpr const char* kNullDevice = "/dev/null";

// Opens nullDevice onto each of descriptors 0, 1 and 2 that is closed and
// leaves the open ones as they are. Call it first in main, before anything
// opens a file or a connection. False when a closed one could not be given
// the device: the reason is then written to standard error (if that is open),
// named after program, and the program should end rather than run on with a
// standard number free for its next file.
bool OpenClosedStandardStreams(const char* program, const char* nullDevice = kNullDevice);
