#include "tools/validate/HostFloatingPoint.h"

#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace validate {

namespace {
#if defined(__i386__) || defined(__x86_64__)
constexpr bool kX86 = true;
#else
constexpr bool kX86 = false;
#endif
const char* const* trapContext = nullptr;

void reportTrap() {
    const char* what = trapContext && *trapContext ? *trapContext : "(no call)";
#if defined(_WIN32)
    std::fprintf(stderr, "trapped: %s\n", what);
    std::printf("trapped: %s\n", what);
    std::fflush(stdout);
    std::fflush(stderr);
#else
    // Only what a signal handler may call.
    const char head[] = "trapped: ";
    (void)!write(STDOUT_FILENO, head, sizeof head - 1);
    (void)!write(STDOUT_FILENO, what, std::strlen(what));
    (void)!write(STDOUT_FILENO, "\n", 1);
#endif
}

#if defined(_WIN32)
LONG CALLBACK onException(EXCEPTION_POINTERS* info) {
    switch (info->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case 0xC00002B4: // STATUS_FLOAT_MULTIPLE_FAULTS (SSE)
    case 0xC00002B5: // STATUS_FLOAT_MULTIPLE_TRAPS (SSE)
        reportTrap();
        ExitProcess(3);
    default:
        return EXCEPTION_CONTINUE_SEARCH;
    }
}
#else
void onSignal(int) {
    reportTrap();
    _exit(3);
}
#endif
} // namespace

std::string FloatingPointState::text() const {
    char t[80];
    std::snprintf(t, sizeof t, "MXCSR 0x%04X, x87 control 0x%04X, status 0x%04X",
                  static_cast<unsigned>(mxcsr), static_cast<unsigned>(x87Control),
                  static_cast<unsigned>(x87Status));
    return t;
}

bool floatingPointStateKnown() { return kX86; }

FloatingPointState currentFloatingPoint() {
    FloatingPointState s;
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("stmxcsr %0" : "=m"(s.mxcsr));
    __asm__ volatile("fnstcw %0" : "=m"(s.x87Control));
    __asm__ volatile("fnstsw %0" : "=m"(s.x87Status));
    // Only the exception flags and their summary: the stack's top and the
    // condition codes are not the environment a call must keep.
    s.x87Status &= 0x00FF;
#endif
    return s;
}

void setFloatingPoint(const FloatingPointState& s) {
#if defined(__i386__) || defined(__x86_64__)
    struct {
        std::uint32_t word[7];
    } env;
    __asm__ volatile("fnstenv %0" : "=m"(env));
    env.word[0] = (env.word[0] & 0xFFFF0000u) | s.x87Control;
    env.word[1] = (env.word[1] & 0xFFFFFF00u) | (s.x87Status & 0x00FFu);
    __asm__ volatile("fldenv %0" : : "m"(env));
    __asm__ volatile("ldmxcsr %0" : : "m"(s.mxcsr));
#else
    (void)s;
#endif
}

FloatingPointState delphiHost(const FloatingPointState& masked) {
    FloatingPointState s = masked;
    // Of MXCSR's masks only DM, UM and PM set, and no flag: 0x1900 with the
    // rounding, flush-to-zero and denormals-are-zero bits as they were.
    s.mxcsr = (masked.mxcsr & ~0x1FBFu) | 0x1900u;
    // The same three masks of the x87 control word: 0x1332 as Delphi has
    // it where the precision and rounding are its own.
    s.x87Control = static_cast<std::uint16_t>((masked.x87Control & ~0x003Fu) | 0x0032u);
    s.x87Status = 0;
    return s;
}

void reportTrapsAs(const char* const* what) {
    trapContext = what;
#if defined(_WIN32)
    AddVectoredExceptionHandler(1, onException);
#else
    struct sigaction a {};
    a.sa_handler = onSignal;
    sigemptyset(&a.sa_mask);
    sigaction(SIGFPE, &a, nullptr);
#endif
}

} // namespace validate
