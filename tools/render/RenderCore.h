// Shared core of the offline renderers: the command line and its mistakes,
// the built-in demo signal, and running a plug-in binary over a stereo
// signal like a host, block by block from the input files to the output
// file. The renderers differ only in their file format.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace render {

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1; // a file or the plug-in failed
inline constexpr int kExitUsage = 2;  // a mistake on the command line

// What the renderer refuses to go on with: the argument it concerns, as the
// user wrote it, what is wrong with it, and what to do instead.
struct Mistake {
    std::string argument;
    std::string problem;
    std::string hint;
    int status = kExitUsage;
};

struct ParamSetting {
    int index;
    float value;          // 0 .. 1
    std::string argument; // as written, for messages
};

struct Options {
    std::string plugin;     // plug-in binary; empty: the one beside this tool, else the built one
    std::string input;      // -i: one file, left the key and right the audio
    std::string key;        // --key: the key from a file of its own ...
    std::string audio;      // ... and --audio the audio from another
    std::string output;     // -o
    std::string writeInput; // also write the plug-in's input signal here (for tests)
    int rate = 0;           // --rate in Hz; 0: the input's, else kDefaultRate
    int block = 512;        // frames per processReplacing call
    int bits = 32;          // 16, 24: integer PCM; 32: float
    bool bitsGiven = false;
    int program = 0; // selected before the parameters are set
    std::string programArg;
    double seconds = 8.0; // length of the demo
    bool secondsGiven = false;
    std::vector<ParamSetting> params; // applied in order
    bool settingsGiven = false;       // --program or --param on the command line
    bool force = false;               // the output may be an input file
    bool list = false;
    bool help = false;
    bool version = false;
};

inline constexpr int kDefaultRate = 44100;
inline constexpr int kMinRate = 8000;
inline constexpr int kMaxRate = 384000;
inline constexpr int kMaxBlock = 65536;
inline constexpr double kMaxSeconds = 3600.0;

// Parses the command line; a mistake when it has one.
bool parseArgs(int argc, char** argv, Options& options, Mistake& mistake);

// An input file open for reading. `read` gives up to `count` frames,
// interleaved by channel, and answers how many it gave (0 at the end).
class InputFile {
public:
    virtual ~InputFile() = default;
    virtual long long read(float* frames, long long count) = 0;

    int channels = 2;
    long long frames = 0; // as the file declares them
    int rate = 0;         // Hz; 0 when the format does not keep it
};

// An output file of interleaved stereo frames.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    // False when the file could not take them.
    virtual bool write(const float* frames, long long count) = 0;
    // Completes the file; false with the reason.
    virtual bool finish(std::string& problem) = 0;
};

// How one renderer reads and writes its files.
struct FileFormat {
    const char* tool;  // name in messages
    const char* files; // what the help text says of the files
    bool keepsRate;    // whether the files carry their sample rate
    bool integerBits;  // whether --bits 16 and 24 are offered
    // Null, with what is wrong and a hint, when the file cannot be read.
    std::unique_ptr<InputFile> (*open)(const std::string& path, std::string& problem,
                                       std::string& hint);
    // Null, with the reason, when the file cannot be written.
    std::unique_ptr<OutputFile> (*create)(const std::string& path, int rate, int bits,
                                          std::string& problem);
};

std::string usage(const FileFormat& format);

// A whole renderer: command line, the demo or the input files, the plug-in,
// the render and the output file. `builtPlugin` is the plug-in built with
// this tool; a file of its name beside the tool is preferred. Returns the
// process exit status.
int run(int argc, char** argv, const FileFormat& format, const char* builtPlugin);

} // namespace render
