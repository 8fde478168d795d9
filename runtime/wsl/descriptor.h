// Reader of window descriptor blocks (WSLDIAL): window records, control records, use
// descriptors, font and colour records, value lists and resource references.
//
// A descriptor buffer is the block of a "DABDUMP" resource copied two bytes in: buffer byte 0
// is 0, byte 1 unused, block byte k at buffer position k + 2. Every descriptor offset is a
// position in this buffer and 0 means "none". All integers are little-endian.
//
//   buffer +2  u32 offset of the first window record
//   window record (kind 25, or 26 for a report), 116 bytes:
//     +0 u8 kind  +1 next window  +5 attribute word  +9 (0)  +13..+28 x y width height (i32)
//     +29 first control  +33 label  +37 font record  +41 title  +45 +49 (0)  +53 colour record
//     +57 icon  +61 message  +65 (0)  +69 help  +77 value list  +81 second attribute word
//     +85 palette  +89 timer (1/100 s)  +93 menu bar  +97 toolbar  +101 cursor
//     +105 second value list  +109 u8 kind + u32 offset  +114 +115 u8 flags
//   control record header: +0 u8 kind  +1 next control  +5 attribute word  +9 value list
//     +13 field number  +17 label; the rest depends on the kind (kControlLayouts).
//   use descriptor (9 bytes): u8 data type, u32 size, u32 extra
//   font record (16 bytes): u32 face, u8 points, u8 charset, 2 bytes 0, u32 colour, u32 style
//   colour record (12 bytes): three u32 colours, 0xFFFFFFFF = default
//   value-list node (8 bytes): u32 value, u32 next node
//   resource reference: FF, u8 kind (1 platform stock, 2 program), u16 value, NUL
//
// Invariant of this reader: it never reads outside the buffer it was given. A record that
// does not lie wholly inside the buffer, or a string without a NUL before the buffer's end,
// reads as absent; chains that loop or run outside the buffer end there. Nothing allocates,
// so the reader is the same in the Windows build and the host build (fuzzed there).
#pragma once
#include <cstddef>
#include <cstdint>

namespace vel {

constexpr std::int32_t kNotGiven = INT32_MIN;  // 0x80000000 in a position: not given
constexpr std::uint32_t kDefaultColor = 0xFFFFFFFFu;
constexpr std::uint8_t kWindowRecord = 25;
constexpr std::uint8_t kReportRecord = 26;
constexpr std::uint32_t kWindowRecordSize = 116;
constexpr std::uint32_t kControlHeaderSize = 21;

// Window record +5, the first attribute word: the unit of every position and size in the
// window (a report keeps only these bits).
constexpr std::uint32_t kUnitBits = 0x300;
constexpr std::uint32_t kUnitDialog = 0x000;       // dialog units of the window's font
constexpr std::uint32_t kUnitMillimetre = 0x100;   // 1/25 inch
constexpr std::uint32_t kUnitThousandth = 0x200;   // 1/1000 inch
constexpr std::uint32_t kUnitPixel = 0x300;        // pixels (points in a report)

// Window record +81, the second attribute word: the frame.
constexpr std::uint32_t kFrameSystemMenu = 0x1000;
constexpr std::uint32_t kFrameMaximizeBox = 0x0800;  // implies the system menu
constexpr std::uint32_t kFrameOpenMinimized = 0x8000;
constexpr std::uint32_t kFrameOpenMaximized = 0x4000;
constexpr std::uint32_t kFrameBorderBits = 0x0060;
constexpr std::uint32_t kFrameThin = 0x00, kFrameResizable = 0x20, kFrameDouble = 0x40, kFrameNone = 0x60;

// Control record +5, the control's attribute word.
constexpr std::uint32_t kJustifyBits = 0x1C;
constexpr std::uint32_t kJustifyCentre = 0x08;
constexpr std::uint32_t kJustifyRight = 0x10;  // neither: left
// An entry that shows "*" for every character typed (PASSWORD switches it at run time).
constexpr std::uint32_t kEntryPassword = 0x1000;

// Font record +12, the style: weight in the low 12 bits (0 = normal), then the emphasis.
constexpr std::uint32_t kFontWeightBits = 0x0FFF;
constexpr std::uint32_t kFontItalic = 0x1000, kFontUnderline = 0x2000, kFontStrikeOut = 0x4000;

// Control kinds with a layout of their own; other kinds (2, 4, 5, 7, 15, 17, 18, 32 .. 34,
// 37, 38) carry only the header.
enum ControlKind : std::uint8_t {
  kKindString = 1, kKindImage = 3, kKindShape = 6, kKindEntry = 8, kKindButton = 9,
  kKindPrompt = 10, kKindOption = 11, kKindCheck = 12, kKindGroup = 13, kKindList = 14,
  kKindSpin = 16, kKindRadio = 21, kKindProgress = 35, kKindPanel = 39,
};

// x, y, width, height in the window's unit; kNotGiven where not given.
struct DescriptorPosition {
  std::int32_t x, y, width, height;
};

struct UseDescriptor {
  std::uint8_t type;    // data type code (19 = zero-terminated string, 1 = byte, 6 = long ...)
  std::uint32_t size;   // bytes
  std::uint32_t extra;
};

struct FontRecord {
  const char* face;     // null when the record names none
  std::uint8_t points;
  std::uint8_t charset;
  std::uint32_t color;  // kDefaultColor = default
  std::uint32_t style;  // 0xFFFFFFFF = default
};

struct ColorRecord {
  std::uint32_t color[3];
};

// An icon or cursor field: either a name or a reference to a stock or program resource.
struct ImageName {
  const char* name;     // non-null for a name
  bool is_reference;
  std::uint8_t kind;    // reference: 1 platform stock resource, 2 the program's own
  std::uint16_t value;  // reference: resource number + 1 (0 = none)
};

// A window record's fields; offsets are raw (0 = none), resolve them with the Descriptor.
struct WindowRecord {
  std::uint32_t offset;
  std::uint8_t kind;
  std::uint32_t next;
  std::uint32_t attributes;         // +5
  DescriptorPosition position;      // +13
  std::uint32_t first_control;      // +29
  std::uint32_t label;              // +33
  std::uint32_t font;               // +37
  std::uint32_t title;              // +41
  std::uint32_t colors;             // +53
  std::uint32_t icon;               // +57
  std::uint32_t message;            // +61
  std::uint32_t help;               // +69
  std::uint32_t values;             // +77
  std::uint32_t frame;              // +81 second attribute word
  std::uint32_t palette;            // +85
  std::uint32_t timer;              // +89
  std::uint32_t menu;               // +93
  std::uint32_t toolbar;            // +97
  std::uint32_t cursor;             // +101
  std::uint32_t status_values;      // +105 second value list (status-bar zone widths)
  std::uint8_t frame_kind;          // +109
  std::uint32_t frame_offset;       // +110
  std::uint8_t mdi_flags[2];        // +114, +115
};

// A control record's fields, flattened over every kind; a field the kind does not have reads
// as 0 (and has_use / has_position tell the two structured ones apart).
struct ControlRecord {
  std::uint32_t offset;
  std::uint8_t kind;
  std::uint32_t next;
  std::uint32_t attributes;         // kJustifyBits, kEntryPassword
  std::uint32_t values;             // value list handed to the control (list: alert keys)
  std::uint32_t field;
  std::uint32_t label;
  bool has_use;
  std::uint32_t use;                // use descriptor offset (0 = not bound through one)
  bool has_position;
  DescriptorPosition position;
  std::uint32_t text;
  std::uint32_t picture;            // entry/string picture, image name
  std::uint32_t format;             // list format string
  std::uint32_t tip;
  std::uint32_t source;             // list: source label
  std::uint32_t icon;               // button: icon name (from its name block)
  std::uint32_t font;               // prompt
  std::uint32_t cursor;             // prompt
  std::uint32_t colors;             // prompt
  std::uint32_t value;              // radio: its value text
  std::uint32_t true_value, false_value;  // check
  std::uint32_t mode;               // entry +77, option +77, list +85
  std::uint32_t list_extra;         // list +105
  std::uint32_t key;                // button key code
  std::uint8_t is_default;          // button +85
  std::uint16_t period[2];          // button, 1/100 s
  std::uint8_t drop;                // list: drop height in rows, 0 = plain list
  std::uint32_t fill;               // panel
  double low, high, step;           // progress and spin ranges, spin step
};

// One node of a value list.
struct ValueNode {
  std::uint32_t value;
  std::uint32_t next;
};

class Descriptor {
 public:
  Descriptor() = default;
  // bytes: the whole buffer (block at position 2); not owned, must outlive the reader.
  Descriptor(const std::uint8_t* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

  const std::uint8_t* bytes() const { return bytes_; }
  std::size_t size() const { return size_; }

  // Offset of the first window record (buffer +2), 0 when the buffer is too short.
  std::uint32_t FirstWindow() const;
  // The window or report record at offset; false when it is 0, not wholly inside the buffer,
  // or of another kind.
  bool Window(std::uint32_t offset, WindowRecord* out) const;
  // Walks the window chain for the record whose label equals `label` (ASCII letters compared
  // without regard to case); 0 when none.
  std::uint32_t WindowByLabel(const char* label) const;
  // The control record at offset; false when 0 or not wholly inside the buffer.
  bool Control(std::uint32_t offset, ControlRecord* out) const;

  // Sub-records and strings; each false / null when absent or outside the buffer.
  const char* String(std::uint32_t offset) const;
  bool Use(std::uint32_t offset, UseDescriptor* out) const;
  bool Font(std::uint32_t offset, FontRecord* out) const;
  bool Colors(std::uint32_t offset, ColorRecord* out) const;
  bool Image(std::uint32_t offset, ImageName* out) const;
  bool Value(std::uint32_t offset, ValueNode* out) const;
  // Copies up to max values of the list starting at offset; returns how many the list has
  // (it stops at a loop or at a node outside the buffer).
  std::size_t Values(std::uint32_t offset, std::uint32_t* out, std::size_t max) const;

  // Every chain walk stops after this many steps: no chain of a valid buffer is longer, so
  // a loop cannot hang the reader.
  std::size_t MaxChainSteps() const { return size_ / 8 + 1; }

  // Raw little-endian reads; false when the bytes are not wholly inside the buffer.
  bool U8(std::uint32_t offset, std::uint8_t* out) const;
  bool U16(std::uint32_t offset, std::uint16_t* out) const;
  bool U32(std::uint32_t offset, std::uint32_t* out) const;
  bool F64(std::uint32_t offset, double* out) const;

 private:
  bool Inside(std::uint32_t offset, std::uint32_t length) const;
  const std::uint8_t* bytes_ = nullptr;
  std::size_t size_ = 0;
};

// Iteration over a window's controls: for (auto c = FirstControl(d, w); c.ok; c = Next(d, c)).
struct ControlCursor {
  bool ok;
  ControlRecord record;
  std::size_t steps;
};
ControlCursor FirstControl(const Descriptor& d, const WindowRecord& window);
ControlCursor NextControl(const Descriptor& d, const ControlCursor& cursor);

// True for the kinds whose controls take one of the window's variable addresses at open: the
// kinds with a use descriptor, and lists (bound to their queue).
bool ControlTakesVariable(std::uint8_t kind);

// "FtpClient_async$ftpcl001" gives "FTPCL001_RSC": the part after the first "$" (all of it
// without a "$"), upper-cased, and "_RSC". Returns the length, or 0 when out is too small.
std::size_t DescriptorResourceName(const char* module_id, char* out, std::size_t out_size);

// Resource bytes -> descriptor buffer. When the resource begins with module_id and its NUL
// and a block of at least four bytes follows, returns the buffer size ((resource size - n -
// 1) + 2) and, when buffer is non-null (buffer_size at least that), fills it: byte 0 = 0,
// byte 1 = 0, then the block. Returns 0 for a resource of another module or a short one.
std::size_t DescriptorBufferFromResource(const std::uint8_t* resource, std::size_t resource_size,
                                         const char* module_id, std::uint8_t* buffer,
                                         std::size_t buffer_size);

}  // namespace vel
