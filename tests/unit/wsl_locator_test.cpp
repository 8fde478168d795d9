// Descriptor locator: finding windows in the DABDUMP resources of the registered modules
// (the executable, and a DLL registered as a second module), the identifier check, and the
// runtime error 502 "WSLDIAL" that window open raises for a window no module has.
#include <windows.h>

#include <cstring>
#include <string>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/core/startup.h"
#include "runtime/core/sys.h"
#include "runtime/wsl/locator.h"
#include "support/check.h"

namespace {

struct GeneratedResource {
  const char* name;
  const unsigned char* bytes;
  unsigned size;
};
#include "bytes.inc"

vel::ModuleDescriptor g_program{};
vel::ModuleDescriptor g_plugin{};
HMODULE g_plugin_handle = nullptr;

void RegisterProgram() {
  static bool done = false;
  if (done) return;
  done = true;
  vel::MemoryInitTerm(0);
  vel::RegisterModule(&g_program, nullptr);
}

std::string CurrentLabel(std::uint32_t window) {
  vel::WindowRecord w;
  if (!vel::CurrentDescriptor().Window(window, &w)) return "";
  const char* s = vel::CurrentDescriptor().String(w.label);
  return s ? s : "";
}

std::string g_fatal_message;
int g_fatal_calls = 0;
int FatalHook(const char* message) {
  g_fatal_message = message;
  ++g_fatal_calls;
  return vel::sys::kAnswerNo;
}

TEST_CASE("locator: the resources hold exactly the compiled bytes") {
  HMODULE self = GetModuleHandleA(nullptr);
  for (const GeneratedResource& r : kGeneratedResources) {
    HRSRC info = FindResourceA(self, r.name, "DABDUMP");
    REQUIRE(info != nullptr);
    CHECK_EQ(SizeofResource(self, info), DWORD{r.size});
    const void* bytes = LockResource(LoadResource(self, info));
    CHECK(bytes && std::memcmp(bytes, r.bytes, r.size) == 0);
  }
}

TEST_CASE("locator: finds the program's three windows") {
  RegisterProgram();
  CHECK_EQ(vel::LocateDescriptor("FtpClient_async$ftpcl001", "P21$WINDOW"), 0x40u);
  CHECK_EQ(CurrentLabel(0x40), std::string("P21$WINDOW"));
  CHECK(vel::DescriptorModule() == GetModuleHandleA(nullptr));
  CHECK_EQ(vel::LocateDescriptor("FtpClient_async$ftpcl001", "P27$WINDOW"), 0x354u);
  const std::uint32_t main = vel::LocateDescriptor("FtpClient_async$ftpcl001", "P33$WINDOW");
  CHECK(main > 0x354u);
  CHECK_EQ(CurrentLabel(main), std::string("P33$WINDOW"));
  // The window label compares without regard to case.
  CHECK_EQ(vel::LocateDescriptor("FtpClient_async$ftpcl001", "p33$window"), main);
}

TEST_CASE("locator: an identifier without $ names the whole resource") {
  RegisterProgram();
  const std::uint32_t w = vel::LocateDescriptor("NODOLLAR_MODULE", "EMPTY$WINDOW");
  REQUIRE(w != 0);
  vel::WindowRecord record;
  REQUIRE(vel::CurrentDescriptor().Window(w, &record));
  CHECK_EQ(record.first_control, 0u);  // an empty window
}

TEST_CASE("locator: a resource of another program's module is passed over") {
  RegisterProgram();
  // FTPCL002_RSC exists, but it begins with "FtpClient_other$ftpcl002".
  CHECK_EQ(vel::LocateDescriptor("FtpClient_async$ftpcl002", "P1$WINDOW"), 0u);
  CHECK(vel::LocateDescriptor("FtpClient_other$ftpcl002", "P1$WINDOW") != 0u);
  // The identifier itself compares exactly.
  CHECK_EQ(vel::LocateDescriptor("FTPCLIENT_ASYNC$FTPCL001", "P21$WINDOW"), 0u);
}

TEST_CASE("locator: a failed look-up leaves the current buffer as it was") {
  RegisterProgram();
  REQUIRE(vel::LocateDescriptor("FtpClient_async$ftpcl001", "P21$WINDOW") == 0x40u);
  const std::uint8_t* before = vel::CurrentDescriptor().bytes();
  CHECK_EQ(vel::LocateDescriptor("FtpClient_async$ftpcl001", "NOSUCH$WINDOW"), 0u);
  CHECK_EQ(vel::LocateDescriptor("Missing$module", "P21$WINDOW"), 0u);
  CHECK_EQ(vel::LocateDescriptor("", "P21$WINDOW"), 0u);
  CHECK(vel::CurrentDescriptor().bytes() == before);
  CHECK_EQ(CurrentLabel(0x40), std::string("P21$WINDOW"));
}

TEST_CASE("locator: window open's look-up raises 502 WSLDIAL for a missing window") {
  RegisterProgram();
  vel::SetFatalErrorHook(FatalHook);
  vel::SetApplicationActive(false);  // the runtime error then returns instead of halting
  g_fatal_calls = 0;
  CHECK_EQ(vel::LocateWindowDescriptor("FtpClient_async$ftpcl001", "NOSUCH$WINDOW"), 0u);
  CHECK_EQ(g_fatal_calls, 1);
  CHECK_EQ(vel::ErrorCode(), 502);
  CHECK(g_fatal_message.find("Internal error 02") != std::string::npos);
  CHECK(g_fatal_message.find("WSLDIAL") != std::string::npos);
  CHECK_EQ(vel::LocateWindowDescriptor("Missing$module", "P21$WINDOW"), 0u);
  CHECK_EQ(g_fatal_calls, 2);
  // A window that exists raises nothing.
  CHECK_EQ(vel::LocateWindowDescriptor("FtpClient_async$ftpcl001", "P21$WINDOW"), 0x40u);
  CHECK_EQ(g_fatal_calls, 2);
  vel::SetFatalErrorHook(nullptr);
  vel::SetApplicationActive(true);
}

TEST_CASE("locator: modules of the module list are searched after the executable") {
  RegisterProgram();
  g_plugin_handle = LoadLibraryA("wsl_test_module.dll");
  REQUIRE(g_plugin_handle != nullptr);
  // Not registered yet: its resources are not searched.
  CHECK_EQ(vel::LocateDescriptor("Plugin$ftpcl003", "P1$WINDOW"), 0u);
  vel::RegisterModule(&g_plugin, g_plugin_handle);
  CHECK(vel::LocateDescriptor("Plugin$ftpcl003", "P1$WINDOW") != 0u);
  CHECK(vel::DescriptorModule() == g_plugin_handle);
  // Both modules carry FTPCL001_RSC: the executable's is tried first, even though the DLL
  // was registered later; a label only the DLL's has is found there.
  CHECK_EQ(vel::LocateDescriptor("FtpClient_async$ftpcl001", "P21$WINDOW"), 0x40u);
  CHECK(vel::DescriptorModule() == GetModuleHandleA(nullptr));
  CHECK(vel::LocateDescriptor("FtpClient_async$ftpcl001", "ONLYINDLL$WINDOW") != 0u);
  CHECK(vel::DescriptorModule() == g_plugin_handle);
  vel::UnregisterModule(g_plugin_handle);
  CHECK_EQ(vel::LocateDescriptor("Plugin$ftpcl003", "P1$WINDOW"), 0u);
  vel::ReleaseDescriptor();  // before the DLL goes: nothing may point into it
  CHECK(vel::CurrentDescriptor().bytes() == nullptr);
  FreeLibrary(g_plugin_handle);
}

}  // namespace
