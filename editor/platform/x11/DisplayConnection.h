// The editor's own connection to the X display, opened and answered within a
// bounded time. xcb_connect waits without end for a server that accepts the
// connection and never answers its set-up, which would hold the host's
// user-interface thread for good; here every wait on the server ends at a
// deadline, and a server that has not answered by then is no display.
#pragma once

#include <xcb/xcb.h>

#include <chrono>

namespace ui {

using Deadline = std::chrono::steady_clock::time_point;

// A connection to the display that `name` names, in DISPLAY's forms (":N",
// ":N.S", "unix:N", "host:N", "[v6addr]:N", "tcp/host:N", "unix/:N"; DISPLAY
// itself when null), its set-up answered by `deadline`. Null when the name
// is none of those, nothing accepts, the server refuses the connection or
// has not answered by then, or it has no such screen. The caller ends it
// with xcb_disconnect.
xcb_connection_t* connectDisplay(const char* name, Deadline deadline);

// Waits until the reply to request `sequence`, or its error, has come,
// reading the connection without blocking meanwhile (events that come with
// it stay queued for xcb_poll_for_event). False when the deadline passed
// first or the connection broke. `reply` and `error`, either of which may
// be set, are the caller's to free.
bool awaitReply(xcb_connection_t* connection, unsigned int sequence, Deadline deadline,
                void** reply, xcb_generic_error_t** error);

} // namespace ui
