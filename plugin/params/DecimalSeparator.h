// The decimal separator of the user's locale, for the texts that show a
// parameter's value: the editor's read-out and what the host is told.
#pragma once

#include <string>

// On Windows the user's locale setting; elsewhere the locale that the
// environment chooses for numbers (LC_ALL, else LC_NUMERIC, else LANG),
// looked up without changing the process's locale. "." when there is none
// or that locale is not installed. Not for the audio thread: it may allocate.
std::string userDecimalSeparator();
