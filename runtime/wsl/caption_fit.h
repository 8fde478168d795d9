// Widening a window's horizontal dialog unit until every fixed-width caption fits.
//
// Dialog units follow the window font's average character width, which keeps a layout made
// with a proportional Western font intact under any font of similar proportions. The fonts
// the platform substitutes for other scripts (a Japanese code page's, say) can draw Latin
// text wider per average character; a caption laid out to fit its box then runs into its
// neighbour ("...from the Regist" over the next prompt). Scaling every horizontal position and
// width by the same factor keeps the layout's proportions and makes each caption whole.
// Windows whose captions already fit (the Western fonts the windows were laid out with) keep
// their scale exactly.
#pragma once
#include <windows.h>

#include "runtime/wsl/descriptor.h"
#include "runtime/wsl/window.h"

namespace vel::wsl {

// The horizontal pixels a caption of `kind` needs around its text: the check mark or radio
// circle and its gap, a push button's frame.
int CaptionChrome(std::uint8_t kind);

// Raises w->scale's horizontal factor (dialog-unit windows only) so that the caption of every
// prompt, check box, radio and button with a given width fits it in w's font. Call after the
// font is made and before any control is created.
void FitScaleToCaptions(Window* w, const Descriptor& d, const WindowRecord& rec);

}  // namespace vel::wsl
