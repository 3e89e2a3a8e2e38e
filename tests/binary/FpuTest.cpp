// Loading the library masks every floating-point exception on the loading
// thread: the x87 control word becomes 0x133F on 32-bit x86, and MXCSR keeps
// all six exception masks set. Runs in a process of its own, so that this
// load is the library's first.
//   host_fpu_test PLUGIN
#include "frame/DFloatingPoint.h"
#include "tools/host/VstHost.h"

#include <cstdio>
#include <string>

#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::string path = argv[1];
#if defined(_WIN32)
    if (path[0] == '/') path = "Z:" + path;
#endif
    int failures = 0;
#if defined(__i386__)
    // The platform default: 53-bit precision, exceptions masked except none
    // changed yet; unmask division by zero so the change is visible.
    std::uint16_t cw = 0x027B;
    __asm__ volatile("fldcw %0" : : "m"(cw));
#endif
#if defined(__i386__) || defined(__x86_64__)
    _mm_setcsr(_mm_getcsr() & ~0x0200u); // unmask division by zero
#endif
    auto library = vhost::Library::load(path);
    if (!library) {
        std::printf("FAILED: cannot load %s\n", path.c_str());
        return 1;
    }
#if defined(__i386__)
    std::uint16_t after = currentX87ControlWord();
    std::printf("x87 control word after load: 0x%04X\n", after);
    // Bit 6 is reserved: the processor stores it as 1 whatever was loaded.
    if ((after & ~0x0040u) != kLibraryX87ControlWord) {
        std::printf("FAILED: expected 0x%04X\n", kLibraryX87ControlWord);
        ++failures;
    }
#endif
#if defined(__i386__) || defined(__x86_64__)
    std::uint32_t mxcsr = currentMxcsr();
    std::printf("MXCSR after load: 0x%08X\n", mxcsr);
    if ((mxcsr & 0x1F80u) != 0x1F80u) {
        std::printf("FAILED: not every MXCSR exception is masked\n");
        ++failures;
    }
#endif
    std::printf("%d passed, %d failed\n", failures ? 0 : 1, failures ? 1 : 0);
    return failures ? 1 : 0;
}
