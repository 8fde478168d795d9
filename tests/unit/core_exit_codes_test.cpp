// Real Windows programs under Wine end with the runtime's exit codes: 0 after a normal end and
// after a refused version check, 2 after a fatal runtime error, and at once (not 0 or 2) when
// the user asks to stop abnormally.
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/check.h"

namespace {

struct Run {
  DWORD exit_code;
  std::string output;
};

std::string ChildPath() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of("\\/") + 1) + "core_exit_child.exe";
}

Run RunChild(const char* mode) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  CreatePipe(&read, &write, &sa, 0);
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write;
  si.hStdError = write;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string command = "\"" + ChildPath() + "\" " + mode;
  Run run{0xFFFFFFFF, ""};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(read);
    CloseHandle(write);
    return run;
  }
  CloseHandle(write);
  char buf[4096];
  DWORD n = 0;
  while (ReadFile(read, buf, sizeof buf, &n, nullptr) && n > 0) run.output.append(buf, n);
  CloseHandle(read);
  if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &run.exit_code);
  else TerminateProcess(pi.hProcess, 99);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  // Normalise line ends for comparisons.
  std::string out;
  for (char c : run.output)
    if (c != '\r') out += c;
  run.output = out;
  return run;
}

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST_CASE("exit: a normal run initialises, runs main, terminates in mirror order, exits 0") {
  Run r = RunChild("normal");
  CHECK_EQ(r.exit_code, 0u);
  CHECK_EQ(r.output, std::string("init100\ninit5\nmain\nterm5\nterm100\n"));
}

TEST_CASE("exit: a fatal runtime error answered No ends the program with 2") {
  Run r = RunChild("fatal");
  CHECK_EQ(r.exit_code, 2u);
  CHECK_EQ(r.output, std::string("init100\ninit5\nmain\n"
                                 "box: Internal error 01 : CTLLIST\nDo you want to GPF?\n"
                                 "term5\nterm100\n"));
}

TEST_CASE("exit: a pure virtual call is reported as diagnostic 80 and ends with 2") {
  Run r = RunChild("pure-virtual");
  CHECK_EQ(r.exit_code, 2u);
  CHECK_EQ(r.output, std::string("init100\ninit5\nmain\n"
                                 "box: Pure virtual function called\nDo you want to GPF?\n"
                                 "term5\nterm100\n"));
}

TEST_CASE("exit: a double free is reported with its text and ends with 2") {
  Run r = RunChild("double-free");
  CHECK_EQ(r.exit_code, 2u);
  CHECK(r.output.find("box: memory block free'd twice\nDo you want to GPF?\n") != std::string::npos);
  CHECK(r.output.find("not reached") == std::string::npos);
  CHECK(ReadFile("core_exit_child_trace.txt").rfind("Error: memory block free'd twice\r\n", 0) == 0);
}

TEST_CASE("exit: a refused version check tells the user and exits 0 without running main") {
  Run r = RunChild("version");
  CHECK_EQ(r.exit_code, 0u);
  CHECK_EQ(r.output, std::string(
      "init100\ninit5\n"
      "version box: Veltrin 5.5 Runtime Library | This program or a component DLL requires V55RUNX "
      "version 5.509.00 or later\nThis version is 5.508.00 \n"
      "term5\nterm100\n"));
  Run beta = RunChild("beta");
  CHECK_EQ(beta.exit_code, 0u);
  CHECK(beta.output.find("built using the beta release of Veltrin 5") != std::string::npos);
  CHECK(beta.output.find("main") == std::string::npos);
}

TEST_CASE("exit: answering Yes stops the program abnormally at once") {
  Run r = RunChild("gpf");
  CHECK(r.exit_code != 0u && r.exit_code != 2u);
  CHECK(r.output.find("not reached") == std::string::npos);
  CHECK(r.output.find("term5") == std::string::npos);
}
