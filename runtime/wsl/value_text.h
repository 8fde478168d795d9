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

// The text of a value shown through a picture: "@s39"/"s39" keeps at most 39 characters with
// trailing blanks removed; numeric pictures show the number as written. Until the picture
// engine is linked in, this is the window layer's own subset.
std::string FormatThroughPicture(const std::string& value, const std::string& picture);
// Width in characters a picture shows (0 when unknown).
int PictureWidth(const std::string& picture);

}  // namespace vel::wsl
