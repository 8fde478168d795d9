// Property codes by name: the one list from which both the constants the runtime and the
// program use (kPropWidth, kPropStatusText ...) and the runtime's name table
// (runtime/wsl/property_names.cpp, which PROP: names are looked up in) are made, so the two
// cannot disagree.
//
// Each row: X(name, code, kind). The name is the PROP: name as written (look-ups ignore case),
// the kind the table's: low byte 1 text, 2 number, 3 on/off, 4 variable reference, 0 composite
// or pass-through; 0x100 composite names, 0x200 runtime-wide settings, 0x400 report and list
// names. Aliases share a code ("Above" is "Decimal"); a composite's parts follow its code in
// order (At,2 is Ypos), which the index normalisation relies on (checked below).
//
// Code ranges: below 0x7000 raw (handed with the index to the object's third route),
// 0x7000..0x7CFF single-valued, 0x7D00 and up list-valued with a 0-based index.
#pragma once

// clang-format off
#define VEL_PROPERTY_NAMES(X) \
  X(Text, 0x7C00, 0x1)                \
  X(Type, 0x7C01, 0x2)                \
  X(At, 0x7C02, 0x102)                \
  X(Xpos, 0x7C02, 0x2)                \
  X(Ypos, 0x7C03, 0x2)                \
  X(Width, 0x7C04, 0x2)               \
  X(Height, 0x7C05, 0x2)              \
  X(Center, 0x7C06, 0x3)              \
  X(CenterOffSet, 0x7C07, 0x2)        \
  X(Left, 0x7C08, 0x3)                \
  X(LeftOffSet, 0x7C09, 0x2)          \
  X(Decimal, 0x7C0A, 0x3)             \
  X(DecimalOffSet, 0x7C0B, 0x2)       \
  X(Right, 0x7C0C, 0x3)               \
  X(RightOffSet, 0x7C0D, 0x2)         \
  X(Above, 0x7C0A, 0x3)               \
  X(AboveSize, 0x7C0B, 0x2)           \
  X(Below, 0x7C06, 0x3)               \
  X(BelowSize, 0x7C07, 0x2)           \
  X(Class, 0x7C0E, 0x101)             \
  X(VBXFile, 0x7C0E, 0x1)             \
  X(VBXName, 0x7C0F, 0x1)             \
  X(Font, 0x7C10, 0x0)                \
  X(FontName, 0x7C10, 0x1)            \
  X(FontSize, 0x7C11, 0x2)            \
  X(FontColor, 0x7C12, 0x2)           \
  X(FontStyle, 0x7C13, 0x2)           \
  X(TipsFont, 0x10, 0x0)              \
  X(StatusFont, 0x14, 0x0)            \
  X(Range, 0x7C14, 0x102)             \
  X(RangeLow, 0x7C14, 0x2)            \
  X(RangeHigh, 0x7C15, 0x2)           \
  X(VCR, 0x7C16, 0x3)                 \
  X(VCRFeq, 0x7C17, 0x1)              \
  X(Double, 0x7C19, 0x3)              \
  X(Resize, 0x7C1A, 0x3)              \
  X(NoFrame, 0x7C1B, 0x3)             \
  X(MM, 0x7C1C, 0x3)                  \
  X(Thous, 0x7C1D, 0x3)               \
  X(Points, 0x7C1E, 0x3)              \
  X(Pixels, 0x7C1E, 0x3)              \
  X(Sum, 0x7C40, 0x3)                 \
  X(Ave, 0x7C41, 0x3)                 \
  X(Max, 0x7C42, 0x3)                 \
  X(Min, 0x7C43, 0x3)                 \
  X(Cnt, 0x7C44, 0x3)                 \
  X(PageNo, 0x7C45, 0x3)              \
  X(Page, 0x7C50, 0x3)                \
  X(Absolute, 0x7C51, 0x3)            \
  X(Alone, 0x7C52, 0x3)               \
  X(Preview, 0x7C53, 0x405)           \
  X(FlushPreview, 0x7C54, 0x3)        \
  X(First, 0x7C55, 0x3)               \
  X(Last, 0x7C56, 0x3)                \
  X(Ins, 0x7C57, 0x3)                 \
  X(Ovr, 0x7C58, 0x3)                 \
  X(Boxed, 0x7C59, 0x3)               \
  X(Cap, 0x7C5A, 0x3)                 \
  X(Column, 0x7C5C, 0x2)              \
  X(Cursor, 0x7C5D, 0x1)              \
  X(Default, 0x7C5E, 0x3)             \
  X(Disable, 0x7C5F, 0x3)             \
  X(Drop, 0x7C60, 0x2)                \
  X(Fill, 0x7C61, 0x2)                \
  X(From, 0x7C62, 0x401)              \
  X(Full, 0x7C63, 0x3)                \
  X(Gray, 0x7C64, 0x3)                \
  X(Hide, 0x7C65, 0x3)                \
  X(Hlp, 0x7C66, 0x1)                 \
  X(HScroll, 0x7C67, 0x3)             \
  X(Icon, 0x7C68, 0x1)                \
  X(Iconize, 0x7C69, 0x3)             \
  X(Imm, 0x7C6A, 0x3)                 \
  X(Key, 0x7C6B, 0x2)                 \
  X(Landscape, 0x7C6C, 0x3)           \
  X(Mark, 0x7C6D, 0x405)              \
  X(Mask, 0x7C6E, 0x3)                \
  X(Maximize, 0x7C6F, 0x3)            \
  X(Mdi, 0x7C70, 0x3)                 \
  X(Meta, 0x7C71, 0x3)                \
  X(Modal, 0x7C72, 0x3)               \
  X(Msg, 0x7C73, 0x1)                 \
  X(NoBar, 0x7C74, 0x3)               \
  X(NoMerge, 0x7C75, 0x3)             \
  X(PageAfter, 0x7C77, 0x3)           \
  X(PageAfterNum, 0x7C77, 0x2)        \
  X(PageBefore, 0x7C78, 0x3)          \
  X(PageBeforeNum, 0x7C79, 0x2)       \
  X(Password, 0x7C7A, 0x3)            \
  X(ReadOnly, 0x7C7B, 0x3)            \
  X(Req, 0x7C7C, 0x3)                 \
  X(Reset, 0x7C7D, 0x2)               \
  X(Round, 0x7C7E, 0x3)               \
  X(Scroll, 0x7C7F, 0x3)              \
  X(Separate, 0x7C80, 0x3)            \
  X(Skip, 0x7C81, 0x3)                \
  X(Std, 0x7C82, 0x2)                 \
  X(Step, 0x7C83, 0x2)                \
  X(System, 0x7C84, 0x3)              \
  X(Format, 0x7C85, 0x1)              \
  X(Timer, 0x7C86, 0x2)               \
  X(Check, 0x7C87, 0x3)               \
  X(Trn, 0x7C88, 0x3)                 \
  X(Upr, 0x7C89, 0x3)                 \
  X(VScroll, 0x7C8B, 0x3)             \
  X(WithNext, 0x7C8C, 0x2)            \
  X(WithPrior, 0x7C8D, 0x2)           \
  X(Items, 0x7C8E, 0x2)               \
  X(Selected, 0x7C8F, 0x2)            \
  X(SelStart, 0x7C8F, 0x2)            \
  X(SelEnd, 0x7C90, 0x2)              \
  X(Auto, 0x7C91, 0x3)                \
  X(ToolBox, 0x7C92, 0x3)             \
  X(Palette, 0x7C93, 0x2)             \
  X(ImageBits, 0x7C94, 0x1)           \
  X(Thread, 0x7C95, 0x2)              \
  X(Handle, 0x7C96, 0x2)              \
  X(Active, 0x7C97, 0x3)              \
  X(VBXEvent, 0x7C98, 0x1)            \
  X(Follows, 0x7C99, 0x402)           \
  X(AcceptAll, 0x7C9A, 0x3)           \
  X(Touched, 0x7C9B, 0x3)             \
  X(VScrollPos, 0x7C9E, 0x2)          \
  X(ClipBits, 0x7C9F, 0x403)          \
  X(Tip, 0x7CA0, 0x1)                 \
  X(ToolTip, 0x7CA0, 0x1)             \
  X(LFNSupport, 0x7CA5, 0x203)        \
  X(Progress, 0x7CA6, 0x2)            \
  X(Visible, 0x7CA7, 0x3)             \
  X(Enabled, 0x7CA8, 0x3)             \
  X(Wizard, 0x7CA9, 0x3)              \
  X(ChoiceFEQ, 0x7CAA, 0x2)           \
  X(ClientHandle, 0x7CAB, 0x2)        \
  X(LineCount, 0x7CAC, 0x2)           \
  X(MinWidth, 0x7CAD, 0x2)            \
  X(MinHeight, 0x7CAE, 0x2)           \
  X(MaxWidth, 0x7CAF, 0x2)            \
  X(MaxHeight, 0x7CB0, 0x2)           \
  X(NoTips, 0x7CB1, 0x3)              \
  X(TipDelay, 0x7CB2, 0x2)            \
  X(TipDisplay, 0x7CB3, 0x2)          \
  X(WNDProc, 0x7CB4, 0x2)             \
  X(ClientWNDProc, 0x7CB5, 0x2)       \
  X(ImageBlob, 0x7CB6, 0x2)           \
  X(Spread, 0x7CB7, 0x3)              \
  X(Size, 0x7CB9, 0x2)                \
  X(ScreenText, 0x7CBA, 0x1)          \
  X(HScrollPos, 0x7CBB, 0x2)          \
  X(LazyDisplay, 0x7CBC, 0x3)         \
  X(DeferMove, 0x7CBD, 0x2)           \
  X(AppInstance, 0x7CBE, 0x202)       \
  X(Value, 0x7CBF, 0x1)               \
  X(TrueValue, 0x7CBF, 0x1)           \
  X(FalseValue, 0x7CC0, 0x1)          \
  X(DDETimeOut, 0x7CC1, 0x202)        \
  X(TabRows, 0x7CC2, 0x2)             \
  X(NumTabs, 0x7CC3, 0x2)             \
  X(LibVersion, 0x7CC4, 0x2)          \
  X(ExeVersion, 0x7CC5, 0x2)          \
  X(Create, 0x7CC6, 0x1)              \
  X(SaveAs, 0x7CC7, 0x1)              \
  X(Open, 0x7CC8, 0x1)                \
  X(Blob, 0x7CC9, 0x2)                \
  X(DoVerb, 0x7CCA, 0x2)              \
  X(SizeMode, 0x7CCB, 0x2)            \
  X(SelectInterface, 0x7CCC, 0x1)     \
  X(AddRef, 0x7CCD, 0x1)              \
  X(Release, 0x7CCE, 0x1)             \
  X(Deactivate, 0x7CCF, 0x3)          \
  X(Update, 0x7CD0, 0x3)              \
  X(Paste, 0x7CD1, 0x3)               \
  X(ReportException, 0x7CD2, 0x3)     \
  X(PasteLink, 0x7CD3, 0x3)           \
  X(Copy, 0x7CD4, 0x3)                \
  X(CanPaste, 0x7CD5, 0x3)            \
  X(CanPasteLink, 0x7CD6, 0x3)        \
  X(WindowUI, 0x7CD7, 0x3)            \
  X(DesignMode, 0x7CD8, 0x3)          \
  X(Ctrl, 0x7CD9, 0x3)                \
  X(GrabHandles, 0x7CDA, 0x3)         \
  X(OLE, 0x7CDB, 0x3)                 \
  X(IsRadio, 0x7CDC, 0x3)             \
  X(LastEventName, 0x7CDD, 0x1)       \
  X(CLSID, 0x7CDE, 0x1)               \
  X(ProgID, 0x7CDF, 0x1)              \
  X(BevelStyle, 0x7CE0, 0x2)          \
  X(Join, 0x7CE2, 0x3)                \
  X(NoSheet, 0x7CE3, 0x3)             \
  X(Bevel, 0x7CE4, 0x102)             \
  X(BevelOuter, 0x7CE4, 0x2)          \
  X(BevelInner, 0x7CE5, 0x2)          \
  X(LineWidth, 0x7CE7, 0x2)           \
  X(Angle, 0x7CE9, 0x2)               \
  X(AutoSize, 0x7CEA, 0x0)            \
  X(Clip, 0x7CEB, 0x0)                \
  X(Stretch, 0x7CEC, 0x0)             \
  X(Zoom, 0x7CED, 0x0)                \
  X(Compatibility, 0x7CEE, 0x0)       \
  X(Design, 0x7CEF, 0x0)              \
  X(Document, 0x7CF0, 0x0)            \
  X(Link, 0x7CF1, 0x0)                \
  X(CreateFromFile, 0x7CF0, 0x0)      \
  X(CreateLinkToFile, 0x7CF1, 0x0)    \
  X(Align, 0x7CF2, 0x0)               \
  X(Cancel, 0x7CF3, 0x0)              \
  X(TextAlign, 0x7CF4, 0x0)           \
  X(Object, 0x7CF5, 0x0)              \
  X(License, 0x7CF6, 0x0)             \
  X(Language, 0x7CF8, 0x0)            \
  X(Color, 0x7CFA, 0x102)             \
  X(Background, 0x7CFA, 0x2)          \
  X(FillColor, 0x7CFA, 0x2)           \
  X(SelectedColor, 0x7CFB, 0x2)       \
  X(SelectedFillColor, 0x7CFC, 0x2)   \
  X(LineHeight, 0x7CFD, 0x2)          \
  X(DropWidth, 0x7CFE, 0x2)           \
  X(AlwaysDrop, 0x7CFF, 0x3)          \
  X(Up, 0x7A00, 0x3)                  \
  X(Down, 0x7A01, 0x3)                \
  X(UpsideDown, 0x7A02, 0x3)          \
  X(HeaderHeight, 0x7A03, 0x2)        \
  X(Checked, 0x7A04, 0x3)             \
  X(AutoPaper, 0x7A05, 0x3)           \
  X(Single, 0x7A06, 0x3)              \
  X(Parent, 0x7A07, 0x2)              \
  X(Repeat, 0x7A08, 0x2)              \
  X(EventsWaiting, 0x7A09, 0x3)       \
  X(DDEmode, 0x7A0A, 0x2)             \
  X(Threading, 0x7A0B, 0x3)           \
  X(TempNameFunc, 0x7A0C, 0x2)        \
  X(Delay, 0x7A0F, 0x2)               \
  X(BreakVar, 0x7A10, 0x4)            \
  X(Use, 0x7A10, 0x4)                 \
  X(FEQ, 0x7A11, 0x2)                 \
  X(ListFEQ, 0x7A12, 0x2)             \
  X(ButtonFEQ, 0x7A13, 0x2)           \
  X(Flat, 0x7A14, 0x3)                \
  X(WallPaper, 0x7A15, 0x1)           \
  X(Tiled, 0x7A16, 0x3)               \
  X(Centered, 0x7A17, 0x3)            \
  X(TileImage, 0x7A16, 0x3)           \
  X(CenterImage, 0x7A17, 0x3)         \
  X(ChildIndex, 0x7A18, 0x2)          \
  X(InToolBar, 0x7A19, 0x3)           \
  X(PrintMode, 0x7A1A, 0x2)           \
  X(RejectCode, 0x7A1B, 0x2)          \
  X(VLBProc, 0x7A1C, 0x2)             \
  X(VLBVal, 0x7A1D, 0x2)              \
  X(TempImage, 0x7A1E, 0x1)           \
  X(TempPath, 0x7A20, 0x101)          \
  X(TempPagePath, 0x7A20, 0x1)        \
  X(TempImagePath, 0x7A21, 0x1)       \
  X(LibHook, 0x7A30, 0x302)           \
  X(ColorDialogHook, 0x7A30, 0x202)   \
  X(FileDialogHook, 0x7A31, 0x202)    \
  X(FontDialogHook, 0x7A32, 0x202)    \
  X(PrinterDialogHook, 0x7A33, 0x202) \
  X(HaltHook, 0x7A34, 0x202)          \
  X(MessageHook, 0x7A35, 0x202)       \
  X(StopHook, 0x7A36, 0x202)          \
  X(AssertHook, 0x7A37, 0x202)        \
  X(FatalErrorHook, 0x7A38, 0x202)    \
  X(CharSet, 0x7A39, 0x202)           \
  X(FontCharSet, 0x7A3A, 0x2)         \
  X(SystemPropHook, 0x7A3B, 0x202)    \
  X(AssertHook2, 0x7A3C, 0x202)       \
  X(InitAStringHook, 0x7A3D, 0x202)   \
  X(NoWidth, 0x7A40, 0x3)             \
  X(NoHeight, 0x7A41, 0x3)            \
  X(NextPageNo, 0x7A42, 0x2)          \
  X(XOrigin, 0x7A43, 0x2)             \
  X(YOrigin, 0x7A44, 0x2)             \
  X(Target, 0x7A45, 0x2)              \
  X(Together, 0x7A46, 0x3)            \
  X(Dock, 0x7A47, 0x2)                \
  X(Docked, 0x7A48, 0x2)              \
  X(BrokenTabs, 0x7A49, 0x3)          \
  X(ImageInstance, 0x7A4A, 0x202)     \
  X(GlobalHelp, 0x7A4B, 0x203)        \
  X(Buffer, 0x7A4C, 0x2)              \
  X(clientx, 0x7A4D, 0x2)             \
  X(clienty, 0x7A4E, 0x2)             \
  X(clientwidth, 0x7A4F, 0x2)         \
  X(clientheight, 0x7A50, 0x2)        \
  X(UseAddress, 0x7A52, 0x2)          \
  X(FlushPageNumFunc, 0x7A54, 0x2)    \
  X(WheelScroll, 0x7A55, 0x2)         \
  X(NextTabStop, 0x7A56, 0x2)         \
  X(PrevTabStop, 0x7A57, 0x2)         \
  X(Status, 0x7D00, 0x102)            \
  X(StatusText, 0x7D01, 0x101)        \
  X(DragID, 0x7D02, 0x101)            \
  X(DropID, 0x7D03, 0x101)            \
  X(VBXEventArg, 0x7D04, 0x101)       \
  X(Edit, 0x7D05, 0x102)              \
  X(Alrt, 0x7D06, 0x102)              \
  X(IconList, 0x7D07, 0x102)          \
  X(Line, 0x7D08, 0x101)              \
  X(Tally, 0x7D09, 0x102)             \
  X(Child, 0x7D0A, 0x102)             \
  X(NextField, 0x7D0B, 0x102)         \
  X(SnapWidth, 0x7D0C, 0x102)         \
  X(SnapHeight, 0x7D0D, 0x102)       
// clang-format on

namespace vel::wsl {

#define VEL_PROPERTY_CONSTANT(name, code, kind) inline constexpr int kProp##name = code;
VEL_PROPERTY_NAMES(VEL_PROPERTY_CONSTANT)
#undef VEL_PROPERTY_CONSTANT

inline constexpr int kFirstSingleProperty = 0x7000;
inline constexpr int kLastSingleProperty = 0x7CFF;
inline constexpr int kFirstListProperty = 0x7D00;

// Codes with no name in the table. The list keeps three positions at 0x7C20..0x7C22 (0-based
// inside, 1-based to the program); the first is the row the mouse last went down on.
inline constexpr int kPropListStoredFirst = 0x7C20;
inline constexpr int kPropListStoredLast = 0x7C22;
inline constexpr int kPropMouseDownRow = kPropListStoredFirst;
// The one list-valued code that takes its index as given even when none is given (-1 then).
inline constexpr int kPropListIndexNegative = 0x7E0A;

// The index normalisation turns Name,i into code + i - 1; the composites' parts must follow.
static_assert(kPropAt + 1 == kPropYpos && kPropAt + 2 == kPropWidth && kPropAt + 3 == kPropHeight);
static_assert(kPropAt == kPropXpos);
static_assert(kPropRange == kPropRangeLow && kPropRange + 1 == kPropRangeHigh);
static_assert(kPropFont == kPropFontName && kPropFont + 1 == kPropFontSize && kPropFont + 2 == kPropFontColor &&
              kPropFont + 3 == kPropFontStyle);
static_assert(kPropBevel == kPropBevelOuter && kPropBevel + 1 == kPropBevelInner);
static_assert(kPropColor == kPropBackground && kPropColor == kPropFillColor && kPropColor + 1 == kPropSelectedColor &&
              kPropColor + 2 == kPropSelectedFillColor);
static_assert(kPropClass == kPropVBXFile && kPropClass + 1 == kPropVBXName);
static_assert(kPropTempPath == kPropTempPagePath && kPropTempPath + 1 == kPropTempImagePath);
// Aliases the description names.
static_assert(kPropAbove == kPropDecimal && kPropAboveSize == kPropDecimalOffSet);
static_assert(kPropBelow == kPropCenter && kPropBelowSize == kPropCenterOffSet);
static_assert(kPropPoints == kPropPixels && kPropSelected == kPropSelStart && kPropValue == kPropTrueValue &&
              kPropBreakVar == kPropUse);
// The unnamed list codes stay clear of every named one and of the list-valued range.
#define VEL_PROPERTY_UNNAMED(name, code, kind) \
  static_assert((code) < kPropListStoredFirst || (code) > kPropListStoredLast, #name " takes a list position code");
VEL_PROPERTY_NAMES(VEL_PROPERTY_UNNAMED)
#undef VEL_PROPERTY_UNNAMED
static_assert(kPropListIndexNegative >= kFirstListProperty);

}  // namespace vel::wsl
