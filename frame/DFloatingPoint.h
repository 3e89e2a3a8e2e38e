// Floating-point environment that the library sets when it is loaded.
#pragma once

#include <cstdint>

// x87 control word at library load: extended precision (64-bit mantissa),
// round to nearest, all six exceptions masked.
constexpr std::uint16_t kLibraryX87ControlWord = 0x133F;

// Masks every floating-point exception so that invalid operations, division
// by zero, overflow and the rest give IEEE special values instead of traps.
// On 32-bit x86 it loads kLibraryX87ControlWord; wherever SSE maths is used it
// also sets all six exception-mask bits of MXCSR, leaving its other bits.
void setupLibraryFloatingPoint();

// The current x87 control word, or 0 where there is no x87 unit to ask.
std::uint16_t currentX87ControlWord();
// The current MXCSR, or 0 where there is no SSE unit.
std::uint32_t currentMxcsr();
