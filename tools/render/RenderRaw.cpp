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

// The rate is not in the file: the command line's stays.
bool readRaw(const std::string& path, float& /*rate*/, std::vector<float>& left,
             std::vector<float>& right, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot read " + path;
        return false;
    }
    float frame[2];
    while (std::fread(frame, sizeof(float), 2, f) == 2) {
        left.push_back(frame[0]);
        right.push_back(frame[1]);
    }
    std::fclose(f);
    return true;
}

bool writeRaw(const std::string& path, float /*rate*/, const std::vector<float>& left,
              const std::vector<float>& right, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path;
        return false;
    }
    bool ok = true;
    for (std::size_t i = 0; i < left.size() && ok; ++i) {
        const float frame[2] = {left[i], right[i]};
        ok = std::fwrite(frame, sizeof(float), 2, f) == 2;
    }
    ok = std::fclose(f) == 0 && ok;
    if (!ok) error = "short write to " + path;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const render::FileFormat raw{
        "velmora-render-raw", "Files are raw interleaved stereo 32-bit floats.", readRaw, writeRaw};
    return render::run(argc, argv, raw, VELMORA_DEFAULT_PLUGIN);
}
