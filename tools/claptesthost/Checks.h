// The CLAP test host's checks of velmora.clap, as a host and as a hostile
// host meets it: what it describes, its sound against the VST 2 plug-in's
// bit for bit, its state, the calls a careless or malicious host makes, two
// threads, and the editor in a real window where there is a display.
#pragma once

#include <string>

namespace claphost {

struct CheckOptions {
    std::string clap;     // the .clap
    std::string vst;      // the VST 2 plug-in to compare with
    double seconds = 3.0; // of test signal per render
    bool editor = true;   // the editor's checks (they need a display)
};

// Prints a line per check and "N passed, M failed"; the exit status.
int runChecks(const CheckOptions& options);

} // namespace claphost
