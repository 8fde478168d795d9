// The list format language (CTLLUTIL): validation, parsing into column records, writing the
// text back, and the queue fields each column reads.
//
// A format string is a sequence of columns and groups:
//
//   column := width  L|R|C|D  [(indent)]  item*
//   group  := "[" column+ "]"  [(indent)]  modifier*
//   item   := E(c,c,c,c) | Z(n) | Q'text' | / | ? | @picture@ | #n# | * | I | J | Y | P
//           | T[(L1RBI)] | modifier
//   modifier := | | _ | F | M | S[(n)] | H(n) | ~header~[L|R|C|D][(indent)]
//
// Item letters are accepted in either case, justification letters and tree options only in
// upper case. E, Z and Q may appear once per column; a second picture item is skipped.
//
// Invariants of a parsed Format: columns are in format order with left = the previous
// column's right + 1 (the first starts at 0) and right = left + width - 1 (an empty column,
// width <= 0, has right = left - 1); every pixel value was converted from the window's unit
// with the x scale (multiply, then divide); a group's columns are a contiguous run
// [first, first + count). Data field numbers are 1-based and strictly increase unless a
// column's "#n#" item set its first field explicitly.
//
// Pure logic: no window code, no allocation but std::string/std::vector (host-built, fuzzed).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vel::listfmt {

// Column flags 1.
enum : std::uint32_t {
  kJustMask = 0x3,          // data justification: 0 L, 1 R, 2 C, 3 D
  kHeaderJustMask = 0xC,    // header justification, same codes << 2
  kRightBorder = 0x10,
  kUnderline = 0x20,
  kFixed = 0x40,
  kScroll = 0x80,
  kResizable = 0x100,
  kLineBreak = 0x200,
  kLocator = 0x400,
  kIcon = 0x800,
  kLineBreak2 = 0x4000,
  kTree = 0x8000,
};
// Column flags 2.
enum : std::uint32_t {
  kQueueColors = 0x1,
  kHItem = 0x2,
  kTreeL = 0x4,
  kTreeB = 0x8,
  kTreeI = 0x10,
  kTree1 = 0x20,
  kTreeR = 0x40,
  kQueueStyle = 0x80,
  kTransparentIcon = 0x100,
  kQueueTip = 0x200,
  kDefaultTip = 0x400,
};

// The window's x unit conversion: pixels = v * sx / div.
struct XScale {
  int sx = 1, div = 1;
  int ToPixels(int v) const;
  int FromPixels(int px) const;
};

struct Column {
  int left = 0, right = -1, width = 0;   // pixels
  int data_indent = 0, header_indent = 0;  // pixels
  std::uint32_t flags1 = 0, flags2 = 0;
  std::string header;
  bool has_header = false;
  int header_lines = 0;
  std::string picture;                   // "@s255": the item's text with its first "@"
  int field = 0;                         // first queue field (1-based)
  bool explicit_field = false;
  int scroll_width = 0;                  // pixels
  int h_value = 0;
  bool has_z = false;
  int z = 0;
  bool has_tip = false;
  std::string tip;                       // Q item's text
  int color_count = 0;                   // E item values written (0 = no E item)
  std::int32_t colors[4] = {0, 0, 0, 0};
  int group = -1;                        // index into Format::groups, or -1
  // The values as written, in the window's unit: the writer uses them while the pixel value
  // still equals their conversion, so an unchanged column reads back exactly as it was set.
  int unit_width = 0, unit_data_indent = 0, unit_header_indent = 0, unit_scroll = 0;

  int Justification() const { return static_cast<int>(flags1 & kJustMask); }
  int HeaderJustification() const { return static_cast<int>((flags1 & kHeaderJustMask) >> 2); }
  bool HasIcon() const { return (flags1 & kIcon) != 0; }
  bool HasTree() const { return (flags1 & kTree) != 0; }
  // Queue fields this column reads, 0 when it has none of that kind.
  int ColorField() const { return flags2 & kQueueColors ? field + 1 : 0; }
  int IconField() const;
  int TreeField() const;
  int StyleField() const;
  int TipField() const;
  int FieldsUsed() const;                // data + colours + icon + tree + style + tip
};

struct Group {
  int first = 0, count = 0;              // column indices
  int indent = 0;                        // pixels
  std::uint32_t flags1 = 0;              // modifiers only (border, underline, F, M, S)
  std::uint32_t flags2 = 0;              // kHItem
  std::string header;
  bool has_header = false;
  int header_lines = 0;
  int header_just = 0;
  bool has_header_just = false;
  int header_indent = 0;
  bool has_header_indent = false;
  int scroll_width = 0;
  int h_value = 0;
  int unit_indent = 0, unit_header_indent = 0, unit_scroll = 0;  // as written (see Column)
};

struct Format {
  std::vector<Column> columns;
  std::vector<Group> groups;
};

// 0 for a valid format string, else the 1-based position of the character at which it
// failed (length + 1 when the text ended too early).
std::size_t Validate(const char* text, std::size_t length);
std::size_t Validate(const std::string& text);

// Parses a valid string into *out (replacing it); an invalid one leaves *out untouched and
// returns false.
bool Parse(const char* text, std::size_t length, const XScale& scale, Format* out);
bool Parse(const std::string& text, const XScale& scale, Format* out);

// The format text of the records. Widths and indents go back to the window's unit: as they
// were written while unchanged, otherwise converted (multiply, then divide).
std::string Write(const Format& format, const XScale& scale);

}  // namespace vel::listfmt
