// velmora-render-raw: the renderer for builds without libsndfile. Input and
// output are raw interleaved stereo 32-bit little-endian floats; used to
// compare builds sample for sample.
#include "tools/render/RenderCore.h"

#include <cstdio>
#include <string>
#include <vector>

#ifndef VELMORA_DEFAULT_PLUGIN
#define VELMORA_DEFAULT_PLUGIN ""
#endif

namespace {

bool readRaw(const std::string& path, std::vector<float>& left, std::vector<float>& right) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::vector<float> all;
    float frame[2];
    while (std::fread(frame, sizeof(float), 2, f) == 2) {
        left.push_back(frame[0]);
        right.push_back(frame[1]);
    }
    std::fclose(f);
    return true;
}

bool writeRaw(const std::string& path, const std::vector<float>& left,
              const std::vector<float>& right) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = true;
    for (std::size_t i = 0; i < left.size() && ok; ++i) {
        const float frame[2] = {left[i], right[i]};
        ok = std::fwrite(frame, sizeof(float), 2, f) == 2;
    }
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv) {
    render::Options o;
    o.plugin = VELMORA_DEFAULT_PLUGIN;
    std::string error;
    if (!render::parseArgs(argc, argv, o, error)) {
        std::fputs(
            render::usage("velmora-render-raw", "Files are raw interleaved stereo 32-bit floats.")
                .c_str(),
            error == "help" ? stdout : stderr);
        if (error == "help") return 0;
        std::fprintf(stderr, "velmora-render-raw: %s\n", error.c_str());
        return 2;
    }
    std::vector<float> left, right, outL, outR;
    if (o.input.empty()) {
        render::makeDemo(o.rate, o.seconds, left, right);
        render::applyDemoSettings(o);
    } else if (!readRaw(o.input, left, right)) {
        std::fprintf(stderr, "velmora-render-raw: cannot read %s\n", o.input.c_str());
        return 1;
    }
    if (!o.writeInput.empty() && !writeRaw(o.writeInput, left, right)) {
        std::fprintf(stderr, "velmora-render-raw: cannot write %s\n", o.writeInput.c_str());
        return 1;
    }
    if (!render::renderSignal(o, left, right, outL, outR, error)) {
        std::fprintf(stderr, "velmora-render-raw: %s\n", error.c_str());
        return 1;
    }
    if (!writeRaw(o.output, outL, outR)) {
        std::fprintf(stderr, "velmora-render-raw: cannot write %s\n", o.output.c_str());
        return 1;
    }
    std::printf("velmora-render-raw: %zu frames through %s\n", outL.size(), o.plugin.c_str());
    return 0;
}
