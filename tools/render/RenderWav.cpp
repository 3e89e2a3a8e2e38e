// velmora-render: renders a stereo WAV file (or the built-in demo) through a
// plug-in binary and writes a 32-bit float stereo WAV file.
#include "tools/render/RenderCore.h"

#include <sndfile.h>

#include <cstdio>
#include <string>
#include <vector>

#ifndef VELMORA_DEFAULT_PLUGIN
#define VELMORA_DEFAULT_PLUGIN ""
#endif

namespace {

bool readWav(const std::string& path, float& rate, std::vector<float>& left,
             std::vector<float>& right, std::string& error) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) {
        error = "cannot read " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.channels > 2) {
        sf_close(f);
        error = path + ": need a mono or stereo file";
        return false;
    }
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(f, interleaved.data(), info.frames);
    sf_close(f);
    left.resize(got);
    right.resize(got);
    for (sf_count_t i = 0; i < got; ++i) {
        left[i] = interleaved[i * info.channels];
        right[i] = interleaved[i * info.channels + info.channels - 1];
    }
    rate = static_cast<float>(info.samplerate);
    return true;
}

bool writeWav(const std::string& path, float rate, const std::vector<float>& left,
              const std::vector<float>& right, std::string& error) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate + 0.5f);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    std::vector<float> interleaved(left.size() * 2);
    for (std::size_t i = 0; i < left.size(); ++i) {
        interleaved[2 * i] = left[i];
        interleaved[2 * i + 1] = right[i];
    }
    const sf_count_t n = static_cast<sf_count_t>(left.size());
    const bool ok = sf_writef_float(f, interleaved.data(), n) == n;
    sf_close(f);
    if (!ok) error = "short write to " + path;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const render::FileFormat wav{"velmora-render", "Files are WAV; the output is 32-bit float.",
                                 readWav, writeWav};
    return render::run(argc, argv, wav, VELMORA_DEFAULT_PLUGIN);
}
