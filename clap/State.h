// The instance's state as hosts keep it with a session: the eight values,
// under a tag and a version, so that a stream from anything else is
// recognised and refused.
//
// Layout, every number little-endian: the tag "VLMR", the version (32
// bits, 1), the number of values (32 bits, 8), then per value its
// parameter's id (32 bits) and its normalised value (an IEEE single's 32
// bits). The values are the effect's own, not the host's plain ones, so a
// dial left between two choices comes back where it was.
#pragma once

#include "clap/Exchange.h"

#include <clap/stream.h>

#include <optional>

namespace clapglue {

// False when the stream refused the bytes.
bool saveState(const clap_ostream& stream, const ParamValues& values);

// The values of a stream that holds exactly one state of this layout: the
// tag, a known version, each parameter once and every value a number in
// 0 .. 1, then the stream's end. None for anything else (truncated, foreign,
// garbage, a failing stream); nothing is changed then.
std::optional<ParamValues> loadState(const clap_istream& stream);

} // namespace clapglue
