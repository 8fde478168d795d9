// See caption_fit.h. The scale is refined sixteen-fold first (sx, sy and div multiplied alike
// give exactly the same pixels), so a widening is as small as the captions need.
#include "runtime/wsl/caption_fit.h"

#include <string>

namespace vel::wsl {

namespace {

constexpr int kRefine = 16;

// The caption as drawn: "&" marks the next letter as the mnemonic and is not drawn itself.
std::string DrawnText(const char* caption) {
  std::string out;
  for (const char* p = caption; *p; ++p) {
    if (*p == '&' && p[1]) ++p;
    out.push_back(*p);
  }
  return out;
}

bool HasCaption(std::uint8_t kind) {
  return kind == kKindPrompt || kind == kKindCheck || kind == kKindRadio || kind == kKindButton;
}

}  // namespace

int CaptionChrome(std::uint8_t kind) {
  switch (kind) {
    case kKindCheck:
    case kKindRadio: return GetSystemMetrics(SM_CXMENUCHECK) + 4;
    case kKindButton: return GetSystemMetrics(SM_CXEDGE);  // the text may touch the inner edge
    default: return 0;
  }
}

void FitScaleToCaptions(Window* w, const Descriptor& d, const WindowRecord& rec) {
  if ((w->attributes & kUnitBits) != kUnitDialog || w->scale.div == 0) return;  // dialog units only
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, w->font.handle);
  UnitScale fine{w->scale.sx * kRefine, w->scale.sy * kRefine, w->scale.div * kRefine};
  int needed_sx = fine.sx;
  for (ControlCursor c = FirstControl(d, rec); c.ok; c = NextControl(d, c)) {
    const ControlRecord& r = c.record;
    const int width = r.position.width;
    const char* caption = d.String(r.text);
    if (!HasCaption(r.kind) || !r.has_position || width == kNotGiven || width <= 0 || !caption || !*caption) continue;
    const std::string text = DrawnText(caption);
    SIZE extent{0, 0};
    GetTextExtentPoint32A(screen, text.data(), static_cast<int>(text.size()), &extent);
    const int need = extent.cx + CaptionChrome(r.kind);
    if (fine.X(width) >= need) continue;
    // The least sx with width * sx / div >= need.
    const long long sx = (static_cast<long long>(need) * fine.div + width - 1) / width;
    if (sx > needed_sx) needed_sx = static_cast<int>(sx);
  }
  SelectObject(screen, old);
  ReleaseDC(nullptr, screen);
  if (needed_sx > fine.sx) {
    fine.sx = needed_sx;
    w->scale = fine;
  }
}

}  // namespace vel::wsl
