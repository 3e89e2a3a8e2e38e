#include "plugin/params/DecimalSeparator.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#endif

#if defined(_WIN32)

std::string userDecimalSeparator() {
    wchar_t wide[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, wide, 8) <= 0 || !wide[0]) return ".";
    char utf8[32] = {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr);
    return n > 1 ? std::string(utf8) : std::string(".");
}

#else

std::string userDecimalSeparator() {
    // The order in which the C library itself lets these variables decide
    // the numeric category; an empty value counts as unset.
    const char* name = "C";
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* v = std::getenv(variable);
        if (v && *v) {
            name = v;
            break;
        }
    }
    locale_t numeric = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(0));
    if (!numeric) return ".";
    const char* radix = nl_langinfo_l(RADIXCHAR, numeric);
    std::string separator = (radix && *radix) ? radix : ".";
    freelocale(numeric);
    return separator;
}

#endif
