#pragma once

#include <string>
#include <vector>

namespace kelvor::child_process {

// How the game finds and starts other programs. What every program it starts gets, whoever
// starts it: standard input, output and error and nothing else of the game's (the sound device
// alsa-lib opened, the game's pipes); an empty signal mask; and the signal dispositions the game
// itself was started with. A signal ignored then (SIGHUP under nohup) stays ignored; one the game
// ignores for its own sake (SIGPIPE) is handled by default again. The dispositions are recorded
// as this part of the program is loaded, before main runs. And the environment as the game was
// started with it, but for what the game changed since for its own sake (SetForGameOnly).
// Marks every descriptor above 2 close-on-exec. The game runs it first thing, so that what
// its own parent left open reaches no program started inside the game, also none started by
// a library that passes on whatever it finds open (alsa-lib's pipe plugin, popen).
void MarkInheritedDescriptorsCloseOnExec();

// In the child after fork and before exec, for a starter that forks by itself (QProcess);
// async-signal-safe. Puts the signals back as above, and marks every descriptor above 2
// close-on-exec rather than closing it, so that a pipe the starter reads the exec's outcome
// from stays open until the exec succeeds.
void PrepareForExec();

// Starts argv[0], a full path, with the given arguments and the game's environment, through
// posix_spawn, in a session of its own: it lives on after the game, and a hang-up or Ctrl+C
// in the game's terminal is not its business. The arguments go to execve as the bytes they
// are. True once the program runs; false when it could not be started (missing, not
// executable, an interpreter the kernel cannot find...). Its end is collected by the event
// loop of the calling thread (by a thread of its own without one), so that it leaves no zombie.
bool StartDetached(const std::vector<std::string>& argv);

// Sets (or, with a null value, removes) an environment variable for the game alone: programs
// started later get the value the game was started with. For start-up only, while the
// process has a single thread.
void SetForGameOnly(const char* name, const char* value);
// The environment for a program the game starts: the game's, with every variable set for
// the game alone back as the game was started with it. As "NAME=value" entries.
std::vector<std::string> Environment();

// A regular file this process may execute.
bool IsExecutableFile(const std::string& path);
// A program name as a shell finds it, but only in the folders of PATH that are full paths: an
// empty or relative entry ("", ".") means the working folder, which is wherever the game was
// started and may hold anything. Empty when it is nowhere else.
std::string FindInAbsolutePath(const std::string& name);
}  // namespace kelvor::child_process
