// Field operations on the current window (WSLFIELD): display, refresh, selection, bounds.
// Each of them on a current window that is not open raises 536 "Window is not open", as
// property access does; with no current window at all they do nothing.
//
// Ranges are normalised before use: a first of 0 gives no range (every control of the
// window); a last of 0 takes the first; a first greater than the last swaps them; a range
// whose first is 0x7FFFFFFF (a window without controls) is empty.
#pragma once

namespace vel::wsl {

class Window;

struct FieldRange {
  int first, last;
  bool empty;
};
FieldRange NormaliseFieldRange(const Window* window, int first, int last);

// Writes the bound variables into the controls first..last. Nothing for a report.
void DisplayFields(int first = 0, int last = 0);
// The idle refresh of each bound control in the range. Nothing for a report.
void RefreshFields(int first = 0, int last = 0);
// Moves the focus to a field; 0 selects the next control that needs completion.
void SelectField(int field, int a = 0, int b = 0);
int FirstField();
int LastField();
int SelectedField();
// The control's current choice (a list's selected row); field 0 = the current event's control.
int FieldChoice(int field = 0);

}  // namespace vel::wsl
