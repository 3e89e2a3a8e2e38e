#include "clap/State.h"

#include "clap/Face.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace clapglue {

namespace {

constexpr std::array<std::uint8_t, 4> kTag{'V', 'L', 'M', 'R'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 12;
constexpr std::size_t kBytes = kHeaderBytes + 8 * kNumActiveParams;
using Image = std::array<std::uint8_t, kBytes>;

void put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t get32(const std::uint8_t* at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return v;
}

// Streams may move fewer bytes per call than asked: both loops go on until
// everything has moved, the stream ends or it fails. A call that moves
// nothing, or claims more than it was given, ends the loop as a failure.
bool writeAll(const clap_ostream& s, const std::uint8_t* bytes, std::size_t n) {
    while (n > 0) {
        const std::int64_t done = s.write(&s, bytes, n);
        if (done <= 0 || static_cast<std::uint64_t>(done) > n) return false;
        bytes += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

// The number of bytes read before the stream ended; -1 when it failed.
std::int64_t readAll(const clap_istream& s, std::uint8_t* bytes, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const std::int64_t done = s.read(&s, bytes + got, n - got);
        if (done == 0) break;
        if (done < 0 || static_cast<std::uint64_t>(done) > n - got) return -1;
        got += static_cast<std::size_t>(done);
    }
    return static_cast<std::int64_t>(got);
}

} // namespace

bool saveState(const clap_ostream& stream, const ParamValues& values) {
    if (!stream.write) return false;
    Image image{};
    std::memcpy(image.data(), kTag.data(), kTag.size());
    put32(&image[4], kVersion);
    put32(&image[8], kNumActiveParams);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint8_t* at = &image[kHeaderBytes + 8 * i];
        put32(at, kParamIds[i]);
        put32(at + 4, std::bit_cast<std::uint32_t>(values[i]));
    }
    return writeAll(stream, image.data(), image.size());
}

std::optional<ParamValues> loadState(const clap_istream& stream) {
    if (!stream.read) return std::nullopt;
    Image image{};
    if (readAll(stream, image.data(), image.size()) != static_cast<std::int64_t>(kBytes))
        return std::nullopt;
    // One byte more means a longer stream: not this layout.
    std::uint8_t beyond = 0;
    if (readAll(stream, &beyond, 1) != 0) return std::nullopt;
    if (std::memcmp(image.data(), kTag.data(), kTag.size()) != 0) return std::nullopt;
    if (get32(&image[4]) != kVersion || get32(&image[8]) != kNumActiveParams) return std::nullopt;
    ParamValues values{};
    std::array<bool, kNumActiveParams> seen{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::uint8_t* at = &image[kHeaderBytes + 8 * i];
        const int index = paramIndexOf(get32(at));
        const float v = std::bit_cast<float>(get32(at + 4));
        if (index < 0 || seen[static_cast<std::size_t>(index)]) return std::nullopt;
        if (!(v >= 0.0f && v <= 1.0f)) return std::nullopt;
        seen[static_cast<std::size_t>(index)] = true;
        values[static_cast<std::size_t>(index)] = v;
    }
    return values;
}

} // namespace clapglue
