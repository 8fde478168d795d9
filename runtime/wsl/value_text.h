// Bound variables as text: reading a variable of a use descriptor's type into the text a
// control shows, and assigning a control's text back to the variable.
//
// Types (data type codes): 1 byte, 2/3 signed/unsigned 16-bit, 4..6 signed 32-bit, 7 unsigned
// 32-bit, 8 32-bit real, 9/13/14 64-bit real, 18 fixed string (blank-padded), 19
// zero-terminated string (at most size - 1 bytes), 20 length-prefixed string (one length
// byte). Packed decimals (10, 11) and groups are not shown by the window layer's own
// controls. An assignment never writes past `size` bytes.
#pragma once
#include <string>

#include "runtime/wsl/control.h"

namespace vel::wsl {

std::string VariableText(const Binding& binding);
void AssignVariable(const Binding& binding, const std::string& text);

// A value shown through a picture ("s39" or "@s39", "n14", "@D6" ...) by the picture engine's
// FORMAT, blanks around it removed; without a picture, or with an invalid one, the value as it
// is (trailing blanks removed).
std::string FormatThroughPicture(const std::string& value, const std::string& picture);
// The reverse (DEFORMAT): the value text of what the user typed. String pictures keep it.
std::string DeformatThroughPicture(const std::string& text, const std::string& picture);
// Width in characters a picture shows (0 when none or invalid).
int PictureWidth(const std::string& picture);

}  // namespace vel::wsl
