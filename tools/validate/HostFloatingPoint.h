// The calling thread's floating-point environment as a host sets it, for the
// validator's attack with exceptions unmasked: the control and status
// registers read and written whole, and a trap reported by the call it came
// from rather than as a bare crash.
#pragma once

#include <cstdint>
#include <string>

namespace validate {

struct FloatingPointState {
    std::uint32_t mxcsr = 0;                     // 0 where there is no SSE unit
    std::uint16_t x87Control = 0, x87Status = 0; // 0 where there is no x87 unit
    // The same controls: exception masks, rounding, precision, flush to
    // zero. The exception flags are not among them: any arithmetic may raise
    // those of the exceptions that stay masked (inexact, underflow), and an
    // unmasked one traps instead of raising its flag.
    bool sameControls(const FloatingPointState& o) const {
        return (mxcsr & ~0x3Fu) == (o.mxcsr & ~0x3Fu) && x87Control == o.x87Control;
    }
    std::string text() const;
};

// Whether this build can read and set the state (x86 and x86-64).
bool floatingPointStateKnown();
FloatingPointState currentFloatingPoint();
// Loads the control words and the exception flags (the x87 stack stays).
void setFloatingPoint(const FloatingPointState& s);
// `masked` with invalid operation, division by zero and overflow unmasked
// and no exception flag raised, as Delphi's runtime leaves a thread (x87
// control word 0x1332, MXCSR 0x1900).
FloatingPointState delphiHost(const FloatingPointState& masked);

// From now on a floating-point trap prints "trapped: " and the text that
// `what` points to at that moment, and ends the process with status 3.
void reportTrapsAs(const char* const* what);

} // namespace validate
