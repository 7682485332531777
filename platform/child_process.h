#pragma once

#include <string>
#include <vector>

namespace kelvor::child_process {

// Every program the game starts, whoever starts it, gets only the standard descriptors, an empty
// signal mask, the signal dispositions the game was started with (recorded before main runs:
// nohup's SIGHUP stays ignored, the game's own SIGPIPE does not) and the environment but for
// what SetForGameOnly changed.

// Marks every descriptor above 2 close-on-exec. Run first thing, so what the game's parent left
// open reaches no program a library starts either (alsa-lib's pipe plugin, popen).
void MarkInheritedDescriptorsCloseOnExec();

// Between fork and exec of a starter that forks by itself (QProcess); async-signal-safe. Signals
// as above; descriptors above 2 are marked, not closed, so the pipe that reports the exec's
// outcome stays open until it succeeds.
void PrepareForExec();

// Before the game starts itself again in its own process (execve): the signal dispositions back
// to those the game was started with, and every descriptor above 2 marked close-on-exec, whoever
// opened it since. The calling thread's signal mask stays as it is.
void PrepareForOwnExec();

// Starts argv[0], a full path, in a session of its own, so that it outlives the game and a
// hang-up or Ctrl+C in the game's terminal misses it. Its end is collected (no zombie): by the
// application's event loop when called on its thread, otherwise by a thread of its own.
bool StartDetached(const std::vector<std::string>& argv);

// Sets (null: removes) a variable that programs started later do not inherit. Only while the
// process has a single thread.
void SetForGameOnly(const char* name, const char* value);
// The environment for a started program: those variables as the game was started with them.
std::vector<std::string> Environment();

// A regular file this process may execute.
bool IsExecutableFile(const std::string& path);
// As a shell finds it, but only in PATH's full paths: "" and "." mean the working folder, which
// may hold anything. Empty when not found.
std::string FindInAbsolutePath(const std::string& name);
}  // namespace kelvor::child_process
