// Control states of the client's main window on the display: an option group's Disable and
// Hide reach its radios, and the password entry shows asterisks while its variable keeps the
// typed text.
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

TEST_CASE("password entry: asterisks on the screen, the typed text in the variable") {
  MainWindow m;
  REQUIRE(m.w != nullptr);
  HWND entry = m.Child(kPassword);
  CHECK((GetWindowLongA(entry, GWL_STYLE) & ES_PASSWORD) != 0);
  CHECK_EQ(static_cast<int>(SendMessageA(entry, EM_GETPASSWORDCHAR, 0, 0)), static_cast<int>('*'));
  CHECK_EQ(PropertyGet(m.w, kPassword, PropertyCode("Password")), std::string("1"));
  SetWindowTextA(entry, "s3cret");
  SendMessageA(entry, EM_SETMODIFY, TRUE, 0);
  RefreshFields();
  CHECK_EQ(std::string(static_cast<char*>(m.vars.addresses[4])), std::string("s3cret"));
  // The other entries show their text as it is.
  CHECK_EQ(static_cast<int>(SendMessageA(m.Child(9), EM_GETPASSWORDCHAR, 0, 0)), 0);
  // The property switches it off and on again.
  PropertySet(m.w, kPassword, PropertyCode("Password"), "");
  CHECK_EQ(static_cast<int>(SendMessageA(entry, EM_GETPASSWORDCHAR, 0, 0)), 0);
}
