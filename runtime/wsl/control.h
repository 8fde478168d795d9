// Control objects and control classes (WSLCLASS).
//
// A control object is made from a control record (runtime/wsl/descriptor.h) by the
// constructor installed for its kind in the creation table (26 slots: kinds 1..18, 21,
// 32..35, 37..39; an empty slot creates nothing). Each object belongs to one control class,
// whose platform window class is registered once per run: with a platform base class the
// base's attributes and procedure are taken over (the procedure kept for default handling)
// and one pointer slot is added for the control object; without one a fresh class is made.
// Class state: 0 not registered, 1 registered under its own name, 2 used under the base name.
//
// Invariants: a control's platform window holds a pointer to its object from WM_NCCREATE
// until WM_NCDESTROY; `window` owns the object; positions are kept in the window's unit
// (the pixel rectangle is derived from them); the size bits 0x10/0x20 (kept apart from the
// attribute word, whose 0x10 is the right justification) mark a width/height that was not
// given and was replaced by the natural size.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "runtime/wsl/descriptor.h"

namespace vel::wsl {

class Window;
class Control;
struct AccessibleFacts;

constexpr std::uint32_t kWidthNotGiven = 0x10;   // added to the control attribute word
constexpr std::uint32_t kHeightNotGiven = 0x20;
constexpr int kChildIdBase = 0x4000;             // child identifier = field number + 0x4000

struct ControlClass {
  const char* name;       // "VelEdit" ...
  const char* base;       // platform base class, or null for a fresh class
  int state;              // 0 not registered, 1 own name, 2 base name
  WNDPROC base_proc;      // the base class's procedure (DefWindowProc for a fresh class)
  int object_slot;        // byte offset of the control pointer in the window extra bytes
  ATOM atom;
  UINT class_style;       // extra class style for a fresh class
};

// Registers the class (once); false after raising error 503 "WSLCLASS" for an unknown base.
bool RegisterControlClass(ControlClass* cls);
// The object of a control window (null for windows that are not controls).
Control* ControlFromHandle(HWND hwnd);
// Forgets registrations (window-system clean-up): classes are unregistered.
void UnregisterControlClasses();

// Values of properties an object does not answer itself, by (code, index).
using PropertyBag = std::map<std::pair<int, int>, std::string>;

// A variable bound to a control: the address WindowOpen received and its use descriptor.
struct Binding {
  void* address = nullptr;
  UseDescriptor use{};
  bool has_use = false;
};

class Control {
 public:
  Control(Window* window, const ControlRecord& record);
  virtual ~Control();

  // --- creation
  virtual ControlClass* Class() = 0;
  virtual DWORD Style() const { return 0; }           // beyond WS_CHILD | WS_VISIBLE
  virtual DWORD ExStyle() const { return 0; }
  virtual std::string CreationText() const { return caption_; }
  // Natural pixel size of the sides that were not given.
  virtual SIZE NaturalSize(HDC dc) const;
  virtual void AfterCreate() {}
  // The value list of control +9 (alert keys for lists, values of the others).
  virtual void TakeValues(const std::vector<std::uint32_t>& values);
  // Creates the platform window as a child of the window (pixel rect from the units).
  bool CreatePlatformWindow();

  // --- the bound variable
  void Bind(void* address) { binding_.address = address; }
  const Binding& binding() const { return binding_; }
  virtual bool TakesVariable() const { return binding_.has_use; }
  // Variable -> control.
  virtual void Display();
  // Control -> variable (on EVENT:Accepted and in the refresh).
  virtual void Update() {}
  // The idle refresh: user edits go to the variable, changed variables to the control.
  virtual void Refresh();
  virtual int Choice() const { return 0; }
  virtual bool CanTakeFocus() const;
  virtual void Select();

  // --- properties (values as text; false: not answered by this control)
  virtual bool GetProperty(int code, std::string* out);
  virtual bool SetProperty(int code, const std::string& value);
  virtual bool GetIndexed(int code, int index, std::string* out);
  virtual bool SetIndexed(int code, int index, const std::string& value);
  virtual bool GetRaw(int code, int index, std::string* out);
  virtual bool SetRaw(int code, int index, const std::string& value);

  // --- platform notifications
  // WM_COMMAND notification code sent to the parent about this control.
  virtual void OnCommand(int notification) { (void)notification; }
  // The control window's own procedure; the default hands everything to the base.
  virtual LRESULT WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT CallBase(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  // The control received the focus: it becomes the window's selected control and
  // EVENT:Selected is posted for it.
  void NoteFocus();
  // WM_SETFOCUS: NoteFocus, and what the class adds (a list repaints its selection).
  virtual void FocusGained() { NoteFocus(); }
  // Posts a field event for this control (EVENT:Accepted and the like).
  void PostFieldEvent(int event_code);
  // Tooltip (runtime/wsl/tooltips.h): a control whose tip depends on the point (a list's row
  // tips) says so, and answers the text at a client point; the default is the Tip property.
  virtual bool HasPointTip() const { return false; }
  virtual std::string TipAt(POINT client) const { (void)client; return tip_; }
  // --- assistive tools (runtime/wsl/accessible.h), under the runtime lock on the window's
  // thread. Children are numbered from 1 (a list's visible rows); 0 is the control itself.
  virtual void Describe(AccessibleFacts* facts) const;
  virtual int AccessibleChildCount() const { return 0; }
  virtual bool DescribeChild(int child, AccessibleFacts* facts) const { (void)child, (void)facts; return false; }
  virtual bool ChildLocation(int child, RECT* screen) const { (void)child, (void)screen; return false; }
  virtual int ChildAt(POINT screen) const { (void)screen; return 0; }
  virtual int FocusedChild() const { return 0; }
  virtual int SelectedChild() const { return 0; }
  virtual bool SelectChild(int child, long flags) { (void)child, (void)flags; return false; }
  virtual bool DoDefaultAction(int child) { (void)child; return false; }
  // For Describe: the states every control shares (unavailable, invisible, focusable, focused)
  // and the caption of the prompt just before the control, which labels it.
  long CommonState() const;
  const Control* LabelPrompt() const;
  // Keyed controls: a non-zero key code (a button's descriptor +81) presses the control when
  // that key is typed in its window (runtime/wsl/keyboard.h).
  virtual int KeyCode() const { return 0; }
  virtual void PressByKey(int key_code) { (void)key_code; }
  // Alert keys: a key code in the control's alert list arrives as EVENT:AlertKey.
  bool IsAlertKey(int key) const;
  void PostAlertKey(int key);

  // --- state
  Window* window() const { return window_; }
  int field() const { return field_; }
  std::uint8_t kind() const { return kind_; }
  const std::string& label() const { return label_; }
  std::uint32_t attributes() const { return attributes_; }
  std::uint32_t size_bits() const { return not_given_; }
  HWND hwnd() const { return hwnd_; }
  void set_hwnd(HWND h) { hwnd_ = h; }
  const DescriptorPosition& position() const { return position_; }
  // Pixel rectangle in the window's client coordinates (from the unit position).
  RECT PixelRect() const { return pixel_rect_; }
  const std::string& caption() const { return caption_; }
  const std::string& picture() const { return picture_; }
  const std::string& tip() const { return tip_; }
  // Justification from attribute bits 0x1C: 0 left, 1 centre, 2 right.
  int Justification() const;
  // The window font (or the control's own).
  HFONT Font() const;
  // Last text written to the control from the variable (for the refresh's comparison).
  std::string& shown() { return shown_; }
  // An empty field object made by Target; it has no platform window.
  bool is_placeholder() const { return placeholder_; }
  PropertyBag& bag() { return bag_; }
  void set_placeholder() { placeholder_ = true; }

 protected:
  void MoveToUnits(const DescriptorPosition& p);
  bool EndsRadioGroup() const;
  // Enables/disables (or shows/hides) the platform window; the focus leaves it first.
  void SetUsable(bool usable, bool by_enabling);
  Window* window_;
  int field_;
  std::uint8_t kind_;
  std::string label_;
  std::uint32_t attributes_;
  std::uint32_t not_given_ = 0;  // kWidthNotGiven / kHeightNotGiven
  DescriptorPosition position_;
  RECT pixel_rect_{};
  Binding binding_;
  std::string caption_, picture_, tip_;
  std::vector<std::uint32_t> alert_keys_;
  HWND hwnd_ = nullptr;
  std::string shown_;
  bool placeholder_ = false;
  PropertyBag bag_;
  bool hidden_ = false, disabled_ = false;
};

// The creation table.
using ControlConstructor = Control* (*)(Window* window, const ControlRecord& record);
// Installs the constructor of a kind (1..18, 21, 32..35, 37..39); false for another kind.
bool InstallControlConstructor(std::uint8_t kind, ControlConstructor ctor);
ControlConstructor ControlConstructorFor(std::uint8_t kind);
void ClearControlConstructors();

// An empty field object (made by the Target property for a missing field number).
Control* MakePlaceholderControl(Window* window, int field);

}  // namespace vel::wsl
