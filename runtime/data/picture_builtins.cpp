// FORMAT and DEFORMAT on the string and decimal stacks: thin wrappers that take the operands
// off the stacks into local buffers and call the picture engines.
#include <cstring>

#include "runtime/core/decimal.h"
#include "runtime/core/memory.h"
#include "runtime/core/string_stack.h"
#include "runtime/data/picture.h"

namespace vel {
namespace {

// Pops the picture text (top) and compiles it.
void PopPicture(CompiledPicture* pic) {
  char text[kPictureTextMax + 2];
  std::uint32_t length = StackLength();
  StackPopToCString(text, sizeof text);
  // A text longer than 255 characters is an invalid picture, not a shortened one.
  if (length > static_cast<std::uint32_t>(kPictureTextMax)) std::memset(pic, 0, sizeof *pic);
  else CompilePicture(text, length, pic);
  pic->text = nullptr;  // the buffer does not outlive this call
}

void DigitsFromRegister(const DecRegister& r, DigitString* out) {
  std::memset(out, 0, sizeof *out);
  out->negative = r.sign != 0;
  int high = r.high < kDecDigits ? r.high : kDecDigits - 1;
  int low = r.low <= high ? r.low : high;
  while (high > low && high > kDecUnits && r.digits[high] == 0) --high;
  out->point = high - kDecUnits + 1;
  for (int i = high; i >= low && out->count < kMaxDigits; --i) out->digit[out->count++] = r.digits[i] % 10;
  DigitString copy = *out;
  char text[kMaxDigits * 2 + 8];
  int n = DigitsToText(copy, text, sizeof text);  // normalises leading zeros
  DigitsFromText(text, static_cast<std::uint32_t>(n), out);
}

}  // namespace

void FormatBuiltin() {
  CompiledPicture pic;
  PopPicture(&pic);
  if (!pic.Valid()) {
    StackDrop();
    StackPushEmpty();
    return;
  }
  char out[kPictureMaxWidth];
  int n = 0;
  switch (pic.Class()) {
    case kClassString: {
      char text[kPictureMaxWidth + 1];
      StackPopToString(text, static_cast<std::uint32_t>(pic.Width()));
      n = FormatText(pic, text, static_cast<std::uint32_t>(pic.Width()), out);
      break;
    }
    case kClassDecimal: {
      StackPopToDecimal();
      DigitString v;
      const DecRegister* r = DecPeek(1);
      if (r) DigitsFromRegister(*r, &v);
      else DigitsFromInteger(0, &v);
      DecPopInteger();
      n = FormatDigits(pic, v, out);
      break;
    }
    default:
      n = FormatReal(pic, StackPopReal(), out);
      break;
  }
  char* block = static_cast<char*>(MemAlloc(n ? n : 1));
  if (!block) {
    StackPushEmpty();
    return;
  }
  std::memcpy(block, out, n);
  StackPushOwned(block, static_cast<std::uint32_t>(n));
}

void DeformatBuiltin() {
  CompiledPicture pic;
  PopPicture(&pic);
  char text[kDeformatTextMax + 1];
  std::uint32_t length = StackLength();
  StackPopToCString(text, sizeof text);
  if (length > static_cast<std::uint32_t>(kDeformatTextMax)) length = kDeformatTextMax;
  char out[1200];
  int n = Deformat(pic, text, length, out, sizeof out);
  if (n == 0) {
    StackPushEmpty();
    return;
  }
  StackPushCString(out);
}

}  // namespace vel
