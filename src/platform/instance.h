// The single-instance lock and the Open-With hand-off to a running window.
//
// The lock is a flock on a file named after the window title in the user's
// runtime folder ($XDG_RUNTIME_DIR, else /tmp with the user id in the name).
// The window holds it exclusively; command-line conversions share it, so they
// run side by side but never beside a window. Help and version take none.
// Beside the lock file the window listens on a local socket (owner-only) for
// files handed to it by a second start of the program.
#pragma once

#include <string>
#include <vector>

namespace tarnwick::platform {

enum class LockMode { Exclusive, Shared };

enum class LockOutcome {
    Taken,     // held by this process until it ends
    Held,      // another process of this user holds it in a way that excludes us
    Unusable,  // the lock file cannot be used (a link, another user's file...)
};

// The lock file of `name`.
std::string InstanceLockPath(const std::string& name);
// Takes the lock without waiting. Taken and Unusable both let the start go
// on: a lock file we cannot use cannot tell us about another copy of ours.
LockOutcome AcquireInstanceLock(const std::string& name, LockMode mode);
// True when another process holds the lock exclusively (a window runs). Takes
// nothing itself.
bool InstanceHeldExclusively(const std::string& name);
// The exclusive lock as a yes/no: false only when another process holds it.
bool AcquireSingleInstance(const std::string& name);

// The hand-off socket of `name`, beside the lock file.
std::string HandOffSocketPath(const std::string& name);
// Listens on the hand-off socket; the descriptor to watch for readability,
// -1 when the socket cannot be made (the window then works without hand-off).
// Call only while holding the exclusive lock.
int ListenForHandOff(const std::string& name);
// Accepts every waiting connection of `listener` and returns the paths sent
// over them; each sender of this user gets an acknowledgement, any other
// sender is refused.
std::vector<std::string> AcceptHandOffs(int listener);
// Stops listening and removes the socket.
void StopHandOff(int listener, const std::string& name);
// Sends `path` to the window listening for `name` and waits at most
// `timeoutMs` for its acknowledgement. False with the reason when it was not
// taken.
bool HandOffToWindow(const std::string& name, const std::string& path, int timeoutMs,
                     std::string* reason);

}  // namespace tarnwick::platform
