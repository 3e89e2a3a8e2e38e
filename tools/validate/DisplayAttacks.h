// The attacks on a Linux editor's X display: editors of two instances
// opened, idled and closed on two threads at once, then the plug-in
// unloaded, after which the host's own X error handler must still hear the
// host's errors; and displays that accept a connection and never answer (or
// never accept), where effEditOpen must give up in bounded time while the
// audio plays on. Each loads the plug-in with a handle of its own, prints
// its counts and PASS or FAIL as the validator's other attacks do, and
// counts in `passed` or `failed`; where it does not apply (on Windows, or
// without a display to open editors on) it says so and counts in neither.
// Run them once no other handle holds the plug-in: the first checks that
// the library really unloads.
#pragma once

#include <string>

namespace validate {

void displayAttacks(const std::string& plugin, int& passed, int& failed);

} // namespace validate
