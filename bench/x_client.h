#pragma once
// What the benchmark's X clients (window_watch, press_latency) share: a clock, the start and end
// of the program they watch, and a picture of a window as the server shows it.
#include <X11/Xlib.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <string>

namespace kelvor::bench {

// Milliseconds on the monotonic clock.
double NowMs();

// A window the program destroys before our request about it arrives is no error of the program.
int IgnoreXErrors(Display*, XErrorEvent*);

// Forks and runs argv[0] with its arguments; its output goes to /dev/null unless verbose.
// Returns the child's pid, or -1 when the fork failed.
pid_t StartProgram(Display* display, char* const argv[], bool verbose);

// Asks the program to end (SIGTERM), and kills it if it has not ended within 2 s.
void EndProgram(pid_t child, int* status, rusage* usage);

// What the server shows of the window at this moment, as a binary PPM.
void Snapshot(Display* display, Window w, int width, int height, const std::string& path);

}  // namespace kelvor::bench
