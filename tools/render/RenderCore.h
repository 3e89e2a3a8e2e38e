// Shared core of the offline renderers: command line, the built-in demo
// signal, and running a plug-in binary over a stereo signal like a host.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace render {

struct Options {
    std::string plugin;     // plug-in binary; empty: the one built beside this tool
    std::string input;      // stereo input file; empty: the built-in demo
    std::string output;     // output file
    std::string writeInput; // also write the input signal here (raw tool)
    float rate = 44100.0f;  // Hz
    int block = 512;        // frames per processReplacing call
    int program = 0;        // selected before the parameters are set
    double seconds = 8.0;   // length of the demo
    std::vector<std::pair<int, float>> params; // index=value, applied in order
    bool settingsGiven = false;                // --program or --param on the command line
};

// Settings for the demo when the command line gives none: program 0 with the
// sweep moved down to 120 Hz .. 5.4 kHz, where the chord's harmonics lie, so
// that the pulses are clearly heard opening the filter.
void applyDemoSettings(Options& options);

// Parses the command line; false with a message in `error` (or "help").
bool parseArgs(int argc, char** argv, Options& options, std::string& error);
std::string usage(const char* tool, const char* formatNote);

// The demo: left, a drum-like pulse pattern (the key); right, a rich chord
// (the audio). With the default "Normal" stereo the pulses sweep the filter.
void makeDemo(float rate, double seconds, std::vector<float>& left, std::vector<float>& right);

// Loads the plug-in through its exported `main`, sets rate and block size,
// switches it on, selects the program, sets the parameters and renders the
// signal block by block through processReplacing.
bool renderSignal(const Options& options, const std::vector<float>& left,
                  const std::vector<float>& right, std::vector<float>& outLeft,
                  std::vector<float>& outRight, std::string& error);

// How one renderer reads and writes its files; both report failures in
// `error`. `read` may set the rate from the file.
struct FileFormat {
    const char* tool; // name in messages
    const char* note; // what the usage text says of the files
    bool (*read)(const std::string& path, float& rate, std::vector<float>& left,
                 std::vector<float>& right, std::string& error);
    bool (*write)(const std::string& path, float rate, const std::vector<float>& left,
                  const std::vector<float>& right, std::string& error);
};

// A whole renderer: command line, the demo or the input file, the render and
// the output file. Returns the process exit status.
int run(int argc, char** argv, const FileFormat& format, const char* defaultPlugin);

} // namespace render
