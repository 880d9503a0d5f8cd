// Runs a piece of the tool with standard output captured to a string and
// one press of Enter waiting on standard input.
#pragma once

#include <functional>
#include <string>

#include "system_text.h"

std::string CaptureStdout(const std::function<void()>& action);

struct CapturedRun {
    std::string out;
    int status;
    bool readInput;  // the press of Enter was taken from standard input
};

CapturedRun RunCaptured(const char* invocationName);

// RunCaptured where no block of 4 GiB can be had: in a child process whose
// address space is capped on Linux, as it is in a 32-bit Windows process.
CapturedRun RunCapturedShortOfMemory(const char* invocationName);
