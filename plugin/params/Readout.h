// The read-out's texts: the name and the value line that the editor window
// shows for a parameter, in the parameter's own unit. Pure functions of the
// index, the value and the decimal separator, so that the window and the
// tools that describe the parameters show the same text.
#pragma once

#include <string>
#include <string_view>

namespace readout {

// The parameters that act have a read-out; any other index shows nothing.
bool shows(int index);

// The name line; empty for an index without a read-out.
std::string_view name(int index);

// The value line for `value` (0.0 .. 1.0) of `index`; empty for an index
// without a read-out. `separator` is the user's decimal separator.
std::string valueText(int index, float value, std::string_view separator);

// "25Hz" .. "12.8KHz": the frequency text of a sweep position (indices 0, 1).
std::string frequencyText(float value, std::string_view separator);
// "0%" .. "100%" in tenths of a percent (indices 3, 5, 6).
std::string percentText(float value, std::string_view separator);

// A value of a parameter that only stores it: three decimals, "0.250".
std::string plainText(float value, std::string_view separator);

// General format, up to 15 significant digits, no trailing zeros and no
// point for a whole value; the point is then replaced by `separator`.
std::string numberText(double value, std::string_view separator);

} // namespace readout
