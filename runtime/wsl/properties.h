// The property system: codes, names, index normalisation and the three access routes.
//
// A property code is a 16-bit number: 0x7000..0x7CFF single-valued, 0x7D00 and up
// list-valued (with a separate 0-based index), below 0x7000 passed with its index to the
// object's third route. Targets: a window, 0 the current window, -1 the printer object (made
// on first use), -4 the runtime-wide system object; field 0 addresses the window itself.
// Values are text (numbers in decimal, on/off as "1" or ""). A property an object does not
// answer is kept per object, so what was set reads back.
#pragma once
#include <cstdint>
#include <string>

namespace vel::wsl {

class Window;

inline Window* const kCurrentTarget = nullptr;
inline Window* const kPrinterTarget = reinterpret_cast<Window*>(static_cast<std::intptr_t>(-1));
inline Window* const kSystemTarget = reinterpret_cast<Window*>(static_cast<std::intptr_t>(-4));

enum class PropertyRoute { kSingle, kIndexed, kRaw, kInvalid };
struct NormalisedProperty {
  int code;
  int index;
  PropertyRoute route;
};
// Index 0 = none. Font,5 is FontCharSet; other codes 0x7000..0x7CFF become code + i - 1
// (a result outside that range is invalid); list-valued codes keep i - 1 (0 for no index,
// except 0x7E0A, which then gets -1). Codes outside 0..0xFFFF and negative indexes are invalid.
NormalisedProperty NormaliseProperty(int code, int index);

// "PROP:Width", "prop:width" and "Width" give 0x7C04; an unknown name gives 0.
int PropertyCode(const std::string& text);
// The table's kind of a name (0 when unknown).
int PropertyKind(const std::string& name);

std::string PropertyGet(Window* target, int field, int code, int index = 0);
void PropertySet(Window* target, int field, int code, int index, const std::string& value);
inline void PropertySet(Window* target, int field, int code, const std::string& value) {
  PropertySet(target, field, code, 0, value);
}

// The generated code's forms, with code, index and value on the string stack: the get pops
// the index (top) and the code and pushes the value; the set pops the value (top), the index
// and the code; PropertyCodeOnStack pops a name and returns its code.
void PropertyGetOnStack(Window* target, int field);
void PropertySetOnStack(Window* target, int field);
int PropertyCodeOnStack();

// Forgets the printer and system objects' values (window-system clean-up, tests).
void ResetPropertyObjects();

}  // namespace vel::wsl
