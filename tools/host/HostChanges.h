// How a host changes a parameter apart from its user interface, for the
// tests that watch the editor follow: from a thread of its own, and as
// automation that arrives on the thread that processes audio.
#pragma once

#include "tools/host/VstHost.h"

namespace vhost {

// setParameter on a new thread of the host's, which ends before the return.
void setFromOwnThread(Host& host, VstInt32 index, float value);

// An audio thread processes a few blocks of silence and, between two of
// them, sets the parameter, as automation playback does; it ends before
// the return.
void setWhileProcessing(Host& host, VstInt32 index, float value);

} // namespace vhost
