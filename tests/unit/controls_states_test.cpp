// Control states of the client's main window on the display: an option group's Disable and
// Hide reach its radios.
#include <windows.h>

#include <string>

#include "runtime/wsl/fields.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/property_names.h"
#include "support/check.h"
#include "wsl_window_support.h"

using namespace vel::wsl;
using wsltest::kModule;

namespace {

constexpr int kPassword = 11, kOption = 17, kRadio1 = 18, kRadio2 = 19;

struct MainWindow {
  wsltest::Variables vars = wsltest::MakeVariables(kModule, "P33$WINDOW");
  Window* w = nullptr;
  MainWindow() {
    wsltest::Setup();
    WindowOpen(&w, kModule, "P33$WINDOW", vars.addresses.data());
  }
  ~MainWindow() { WindowClose(&w); }
  HWND Child(int field) const { return GetDlgItem(w->hwnd, 0x4000 + field); }
};

}  // namespace

TEST_CASE("option group: Disable and Hide reach its radios, and back") {
  MainWindow m;
  REQUIRE(m.w != nullptr);
  const int disable = PropertyCode("Disable"), hide = PropertyCode("Hide");
  PropertySet(m.w, kOption, disable, "1");
  CHECK(!IsWindowEnabled(m.Child(kOption)));
  CHECK(!IsWindowEnabled(m.Child(kRadio1)));
  CHECK(!IsWindowEnabled(m.Child(kRadio2)));
  CHECK_EQ(PropertyGet(m.w, kRadio2, disable), std::string("1"));
  PropertySet(m.w, kOption, disable, "");
  CHECK(IsWindowEnabled(m.Child(kRadio1)));
  CHECK(IsWindowEnabled(m.Child(kRadio2)));
  // The Enabled property is the same switch the other way round.
  PropertySet(m.w, kOption, PropertyCode("Enabled"), "0");
  CHECK(!IsWindowEnabled(m.Child(kRadio1)));
  PropertySet(m.w, kOption, PropertyCode("Enabled"), "1");
  CHECK(IsWindowEnabled(m.Child(kRadio1)));
  PropertySet(m.w, kOption, hide, "1");
  CHECK(!IsWindowVisible(m.Child(kRadio1)));
  CHECK(!IsWindowVisible(m.Child(kRadio2)));
  PropertySet(m.w, kOption, hide, "");
  CHECK(IsWindowVisible(m.Child(kRadio1)));
  // A radio disabled on its own stays apart from its group.
  PropertySet(m.w, kRadio2, disable, "1");
  CHECK(IsWindowEnabled(m.Child(kRadio1)));
  CHECK(!IsWindowEnabled(m.Child(kRadio2)));
}
