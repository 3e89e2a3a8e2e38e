// velmora-render: renders sound files (or the built-in demo) through a
// plug-in binary and writes a stereo WAV file: 32-bit float, or 16- or
// 24-bit integer PCM. Files are read and written through libsndfile.
#include "tools/render/RenderCore.h"

#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifndef VELMORA_DEFAULT_PLUGIN
#define VELMORA_DEFAULT_PLUGIN ""
#endif

namespace {

class WavInput final : public render::InputFile {
public:
    WavInput(SNDFILE* file, const SF_INFO& info) : file(file) {
        channels = info.channels;
        frames = info.frames;
        rate = info.samplerate;
    }
    ~WavInput() override { sf_close(file); }
    long long read(float* out, long long count) override {
        return sf_readf_float(file, out, count);
    }

private:
    SNDFILE* file;
};

std::unique_ptr<render::InputFile> openWav(const std::string& path, std::string& problem,
                                           std::string& hint) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f) return std::make_unique<WavInput>(f, info);
    const int error = sf_error(nullptr);
    const std::string reason = sf_strerror(nullptr);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        problem = "does not exist";
        hint = "check the file's name and folder";
    } else if (error == SF_ERR_SYSTEM || std::filesystem::is_directory(path, ec)) {
        problem = "cannot be read (" + reason + ")";
        hint = "check that it is a file and that you may read it";
    } else {
        problem = "is not a sound file that the renderer reads (" + reason + ")";
        hint = "give a WAV, AIFF, FLAC or Ogg file with one or two channels";
    }
    return nullptr;
}

class WavOutput final : public render::OutputFile {
public:
    WavOutput(SNDFILE* file, int bits) : file(file), bits(bits) {}
    ~WavOutput() override {
        if (file) sf_close(file);
    }
    bool write(const float* frames, long long count) override {
        if (bits == 32) return sf_writef_float(file, frames, count) == count;
        // Integer PCM: the nearest step, clipped to the format's range, with
        // no dither; the steps are 2^-15 or 2^-23 of full scale. libsndfile
        // takes 32-bit words and keeps their top bits.
        const double scale = std::ldexp(1.0, bits - 1);
        const int shift = 32 - bits;
        words.resize(static_cast<std::size_t>(2 * count));
        for (std::size_t i = 0; i < words.size(); ++i) {
            const float x = frames[i];
            double s = x == x ? x * scale : 0.0;
            s = s < -scale ? -scale : s > scale - 1 ? scale - 1 : s;
            words[i] = static_cast<int>(std::lrint(s) * (1L << shift));
        }
        return sf_writef_int(file, words.data(), count) == count;
    }
    bool finish(std::string& problem) override {
        const int error = sf_error(file);
        const std::string reason = sf_strerror(file);
        const int closed = sf_close(file);
        file = nullptr;
        if (error == 0 && closed == 0) return true;
        problem = "could not be completed (" + reason + ")";
        return false;
    }

private:
    SNDFILE* file;
    int bits;
    std::vector<int> words;
};

std::unique_ptr<render::OutputFile> createWav(const std::string& path, int rate, int bits,
                                              std::string& problem) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | (bits == 16   ? SF_FORMAT_PCM_16
                                   : bits == 24 ? SF_FORMAT_PCM_24
                                                : SF_FORMAT_FLOAT);
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        problem = sf_strerror(nullptr);
        return nullptr;
    }
    return std::make_unique<WavOutput>(f, bits);
}

} // namespace

int main(int argc, char** argv) {
    const render::FileFormat wav{
        "velmora-render",
        "Input files are WAV, AIFF, FLAC or Ogg (what libsndfile reads); the output is WAV.",
        true,
        true,
        openWav,
        createWav};
    return render::run(argc, argv, wav, VELMORA_DEFAULT_PLUGIN);
}
