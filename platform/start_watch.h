#pragma once

#include <chrono>
#include <string>
#include <vector>

// While the first windows come up, Qt asks the session bus, the accessibility bus and the
// screen-reader bridge's services on the window's thread, some calls without a time limit; a
// peer that has stopped answering keeps the window away for minutes, or for good. Which of them
// answers cannot be told in advance (a peer may answer one call and not the next), so the start
// is watched instead: the window thread beats while it moves, and a watcher thread, which uses
// neither Qt nor anything the window thread may hold, sees the beats stop. The program then
// starts again in the same process (the process id, parent, terminal job and exit status stay
// the player's) with those services set aside. Only one new start is made.
namespace kelvor::start_watch {

// How long the start may go without a beat.
constexpr std::chrono::milliseconds kStallLimit{1500};
// A beat that comes this soon after the limit still counts: the whole process may have been
// stopped (Ctrl+Z) and continued, which the watcher sees as a silence of the window thread.
constexpr std::chrono::milliseconds kGrace{150};

// First thing in main, while the process has a single thread, after every variable the game
// sets for itself. In the start made again, sets the services aside for the game (programs it
// starts keep the player's environment) and watches nothing; otherwise starts the watcher,
// which would start `argv` again.
void Begin(char** argv);

// The start is moving; from any thread, cheap (one write). Nothing once the watch has ended.
void Beat();

// The main window has shown: the watcher ends and is joined. Idempotent.
void End();

// Whether this is the start made again, with the desktop services set aside.
bool ServicesSetAside();

// `environment` (NAME=value entries) with the services set aside: no session bus, no
// accessibility bus, no screen-reader bridge.
std::vector<std::string> WithServicesSetAside(std::vector<std::string> environment);

}  // namespace kelvor::start_watch
