// The test host's "gui" command: the editor of a CLAP plug-in in a window
// of this host, driven by commands on standard input (GuiHost.cpp).
#pragma once

namespace claphost {

// argv as main has it ("gui PLUGIN.clap ..."); the exit status.
int runGuiHost(int argc, char** argv);

} // namespace claphost
