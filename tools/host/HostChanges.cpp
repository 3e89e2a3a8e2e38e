#include "tools/host/HostChanges.h"

#include <thread>
#include <vector>

namespace vhost {

void setFromOwnThread(Host& host, VstInt32 index, float value) {
    std::thread([&] { host.setParameter(index, value); }).join();
}

void setWhileProcessing(Host& host, VstInt32 index, float value) {
    std::thread([&] {
        constexpr int kFrames = 256;
        std::vector<float> in(kFrames, 0.0f), left(kFrames), right(kFrames);
        float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {left.data(), right.data()};
        for (int block = 0; block < 8; ++block) {
            if (block == 4) host.setParameter(index, value);
            host.processReplacing(inputs, outputs, kFrames);
        }
    }).join();
}

} // namespace vhost
