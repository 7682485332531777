#pragma once

#include <string>
#include <vector>

namespace kelvor {

// How the game finds and starts other programs. What every program it starts gets, whoever
// starts it: standard input, output and error
// and nothing else of the game's (the sound device alsa-lib opened, the game's pipes), default
// signal handling and an empty signal mask, as from a shell.
class ChildProcess {
 public:
  // Taken before fork: the limit the fallback below walks up to, read while that is still
  // allowed.
  ChildProcess();

  // In the child, after fork and before exec; async-signal-safe. Every descriptor above 2 is
  // marked close-on-exec rather than closed, so that a pipe the starter reads the exec's outcome
  // from stays open until the exec succeeds.
  void PrepareForExec() const;

  // Starts argv[0], a full path, with the given arguments and the game's environment, detached:
  // a short-lived child starts it and ends at once, so the program is nobody's zombie and lives
  // on after the game. The arguments go to execve as the bytes they are. True once the program
  // runs; false when it could not be started (missing, not executable, an interpreter the
  // kernel cannot find...), which a pipe closed by a successful exec tells apart.
  bool StartDetached(const std::vector<std::string>& argv) const;

  // A regular file this process may execute.
  static bool IsExecutableFile(const std::string& path);
  // A program name as a shell finds it, but only in the folders of PATH that are full paths: an
  // empty or relative entry ("", ".") means the working folder, which is wherever the game was
  // started and may hold anything. Empty when it is nowhere else.
  static std::string FindInAbsolutePath(const std::string& name);

 private:
  int m_descriptorLimit = 0;
};

}  // namespace kelvor
