// velmora-render-raw: the renderer for builds without libsndfile. Input and
// output are raw interleaved stereo 32-bit little-endian floats; used to
// compare builds sample for sample.
#include "tools/render/RenderCore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef VELMORA_DEFAULT_PLUGIN
#define VELMORA_DEFAULT_PLUGIN ""
#endif

namespace {

constexpr long long kFrameBytes = 2 * sizeof(float);

// The rate is not in the file: the command line's holds.
class RawInput final : public render::InputFile {
public:
    RawInput(std::FILE* file, long long frameCount) : file(file) { frames = frameCount; }
    ~RawInput() override { std::fclose(file); }
    long long read(float* out, long long count) override {
        return static_cast<long long>(std::fread(out, kFrameBytes, count, file));
    }

private:
    std::FILE* file;
};

std::unique_ptr<render::InputFile> openRaw(const std::string& path, std::string& problem,
                                           std::string& hint) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        problem = std::string("cannot be read (") + std::strerror(errno) + ")";
        hint = "check the file's name and folder, and that you may read it";
        return nullptr;
    }
    long long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    if (size < 0 || size % kFrameBytes != 0) {
        std::fclose(f);
        problem = "is not raw stereo 32-bit floats (its size is not a whole number of frames)";
        hint = "give raw interleaved stereo 32-bit little-endian floats";
        return nullptr;
    }
    return std::make_unique<RawInput>(f, size / kFrameBytes);
}

class RawOutput final : public render::OutputFile {
public:
    explicit RawOutput(std::FILE* file) : file(file) {}
    ~RawOutput() override {
        if (file) std::fclose(file);
    }
    bool write(const float* frames, long long count) override {
        return static_cast<long long>(std::fwrite(frames, kFrameBytes, count, file)) == count;
    }
    bool finish(std::string& problem) override {
        const bool ok = std::fclose(file) == 0;
        file = nullptr;
        if (!ok) problem = std::string("could not be completed (") + std::strerror(errno) + ")";
        return ok;
    }

private:
    std::FILE* file;
};

std::unique_ptr<render::OutputFile> createRaw(const std::string& path, int /*rate*/, int /*bits*/,
                                              std::string& problem) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        problem = std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<RawOutput>(f);
}

} // namespace

int main(int argc, char** argv) {
    const render::FileFormat raw{"velmora-render-raw",
                                 "Files are raw interleaved stereo 32-bit floats.",
                                 false,
                                 false,
                                 openRaw,
                                 createRaw};
    return render::run(argc, argv, raw, VELMORA_DEFAULT_PLUGIN);
}
