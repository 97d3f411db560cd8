// Runs a process with a sysfs tree of the tests' own mounted over /sys, in a
// private mount namespace, so that the whole program can read it.
#pragma once

#include <string>

namespace camera_info {

// Moves the calling process into a mount namespace of its own (inside a user
// namespace of its own when it is not root), where mounts are seen by it and
// its children only. Returns why it cannot be done, or an empty text. Call
// it in a child process.
std::string enterPrivateMounts();

// Moves the calling process into a mount namespace of its own (inside a user
// namespace of its own when it is not root) and bind-mounts `sysDir` over
// /sys there; nothing is seen outside. Returns why it cannot be done where
// the machine refuses (no namespaces for this user, / and /sys not mount
// points as in a chroot), or an empty text. Call it in a child process.
std::string enterFakeSysfs(const std::string& sysDir);

// Whether a child can enter a fake sysfs here; the reason why not, or empty.
std::string fakeSysfsRefusal();

// Exit code that CTest takes for a skipped test.
constexpr int kSkipExitCode = 77;

}  // namespace camera_info
