// The five-button question ("Yes", "Yes to all", "No", "No to all", "Cancel") as real dialogs on
// the display: each button's answer, the default, real keystrokes (Enter, Escape, Alt+letter),
// captions whole in their buttons (also under the Japanese code page), the accessible names, and
// a message hook's answers.
#include <windows.h>
#include <oleacc.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>

#include "runtime/core/errors.h"
#include "runtime/core/memory.h"
#include "runtime/wsl/icons.h"
#include "runtime/wsl/message_dialog.h"
#include "runtime/wsl/question_dialog.h"
#include "support/check.h"
#include "support/screenshot.h"
#include "unit/dialog_support.h"

using vel::wsl::AskQuestion;
using vel::wsl::QuestionAnswer;
using namespace dialogtest;

namespace {

constexpr int kYesId = 6, kYesAllId = 100, kNoId = 7, kNoAllId = 101, kCancelId = 2;

// The buttons as "id:caption" in creation order, and the default one.
struct Buttons {
  std::string list;
  int default_id = 0;
};
BOOL CALLBACK CollectButton(HWND child, LPARAM lp) {
  auto* seen = reinterpret_cast<Buttons*>(lp);
  char cls[32];
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Button")) return TRUE;
  const int id = GetDlgCtrlID(child);
  seen->list += (seen->list.empty() ? "" : ";") + std::to_string(id) + ":" + WindowText(child);
  if ((GetWindowLongA(child, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON) seen->default_id = id;
  return TRUE;
}

// Asks on this thread while a driver thread finds the box and acts on it.
QuestionAnswer Drive(const char* caption, QuestionAnswer default_answer, const std::function<void(HWND)>& act,
                     Buttons* seen = nullptr) {
  std::thread driver([&] {
    HWND dialog = WaitForDialog(caption);
    if (!dialog) return;
    if (seen) EnumChildWindows(dialog, CollectButton, reinterpret_cast<LPARAM>(seen));
    act(dialog);
  });
  const QuestionAnswer answer = AskQuestion("Replace the local file?|report.txt", caption, "", default_answer);
  driver.join();
  return answer;
}

// A real keystroke (with Alt when `alt`) once the box is the foreground window with the focus.
void Key(HWND dialog, WORD vk, bool alt) {
  for (int i = 0; i < 200 && GetForegroundWindow() != dialog; ++i) Sleep(10);
  Sleep(100);
  INPUT in[4]{};
  int n = 0;
  auto add = [&](WORD k, bool up) {
    in[n].type = INPUT_KEYBOARD;
    in[n].ki.wVk = k;
    in[n].ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ++n;
  };
  if (alt) add(VK_MENU, false);
  add(vk, false);
  add(vk, true);
  if (alt) add(VK_MENU, true);
  SendInput(static_cast<UINT>(n), in, sizeof(INPUT));
}

// Ends the box if a keystroke left it open, so that a failing case cannot hang the program.
void CloseIfOpen(HWND dialog) {
  Sleep(500);
  if (IsWindow(dialog)) Press(dialog, kCancelId);
}

void Setup() {
  vel::MemoryInitTerm(0);
  vel::wsl::SetMessageHook(nullptr);
  vel::ClearReplacementTexts();
}

std::string Without(std::string s, char c) {
  s.erase(std::remove(s.begin(), s.end(), c), s.end());
  return s;
}

}  // namespace

TEST_CASE("question: five buttons in order, each answering for itself, the default as asked") {
  Setup();
  const struct {
    int id;
    QuestionAnswer answer;
  } rows[] = {{kYesId, QuestionAnswer::kYes},
              {kYesAllId, QuestionAnswer::kYesToAll},
              {kNoId, QuestionAnswer::kNo},
              {kNoAllId, QuestionAnswer::kNoToAll},
              {kCancelId, QuestionAnswer::kCancel}};
  for (const auto& row : rows) {
    Buttons seen;
    // Each box has the pressed button as its default: the default follows the argument.
    const QuestionAnswer got = Drive("Replace?", row.answer, [&](HWND d) { Press(d, row.id); }, &seen);
    CHECK(got == row.answer);
    CHECK_EQ(seen.list, std::string("6:&Yes;100:Yes to &all;7:&No;101:N&o to all;2:Cancel"));
    CHECK_EQ(seen.default_id, row.id);
  }
}

TEST_CASE("question: Enter presses the default, Escape cancels, Alt+letter presses its button") {
  Setup();
  const struct {
    WORD vk;
    bool alt;
    QuestionAnswer default_answer, expected;
  } rows[] = {
      {VK_RETURN, false, QuestionAnswer::kNo, QuestionAnswer::kNo},
      {VK_RETURN, false, QuestionAnswer::kYesToAll, QuestionAnswer::kYesToAll},
      {VK_ESCAPE, false, QuestionAnswer::kYes, QuestionAnswer::kCancel},
      {'A', true, QuestionAnswer::kNo, QuestionAnswer::kYesToAll},
      {'O', true, QuestionAnswer::kYes, QuestionAnswer::kNoToAll},
      {'Y', true, QuestionAnswer::kNo, QuestionAnswer::kYes},
      {'N', true, QuestionAnswer::kYes, QuestionAnswer::kNo},
  };
  for (const auto& row : rows) {
    const QuestionAnswer got = Drive("Keys", row.default_answer, [&](HWND d) {
      Key(d, row.vk, row.alt);
      CloseIfOpen(d);
    });
    printf("  key %u alt %d -> %d\n", row.vk, row.alt, static_cast<int>(got));
    CHECK(got == row.expected);
  }
}

// Measured with the button's own font: a caption wider than its button is cut at both ends.
TEST_CASE("question: every caption is whole in its button") {
  Setup();
  std::string report;
  Drive("Widths", QuestionAnswer::kNo, [&](HWND d) {
    for (int id : {kYesId, kYesAllId, kNoId, kNoAllId, kCancelId}) {
      HWND b = GetDlgItem(d, id);
      RECT area{};
      GetClientRect(b, &area);
      HDC dc = GetDC(b);
      HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(b, WM_GETFONT, 0, 0)));
      const std::string shown = Without(WindowText(b), '&');
      SIZE size{};
      GetTextExtentPoint32A(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
      SelectObject(dc, old);
      ReleaseDC(b, dc);
      // The frame and focus rectangle take about 3 pixels on each side.
      if (size.cx + 6 > area.right) report += shown + " needs " + std::to_string(size.cx) + " of " + std::to_string(area.right) + "; ";
    }
    Press(d, kNoId);
  });
  printf("  code page %u: %s\n", GetACP(), report.empty() ? "all whole" : report.c_str());
  CHECK_EQ(report, std::string());
}

TEST_CASE("question: assistive tools read each button's name and shortcut") {
  Setup();
  CoInitialize(nullptr);
  std::string names, keys;
  Drive("Accessible", QuestionAnswer::kNo, [&](HWND d) {
    CoInitialize(nullptr);
    for (int id : {kYesId, kYesAllId, kNoId, kNoAllId, kCancelId}) {
      IAccessible* acc = nullptr;
      if (FAILED(AccessibleObjectFromWindow(GetDlgItem(d, id), OBJID_CLIENT, IID_IAccessible,
                                            reinterpret_cast<void**>(&acc)))) {
        names += "?;";
        continue;
      }
      VARIANT self;
      self.vt = VT_I4;
      self.lVal = CHILDID_SELF;
      BSTR text = nullptr;
      char buf[64] = "";
      if (acc->get_accName(self, &text) == S_OK && text)
        WideCharToMultiByte(CP_ACP, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
      SysFreeString(text);
      names += std::string(buf) + ";";
      text = nullptr;
      buf[0] = 0;
      if (acc->get_accKeyboardShortcut(self, &text) == S_OK && text)
        WideCharToMultiByte(CP_ACP, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
      SysFreeString(text);
      keys += std::string(buf) + ";";
      acc->Release();
    }
    CoUninitialize();
    Press(d, kNoId);
  });
  printf("  names %s keys %s\n", names.c_str(), keys.c_str());
  CHECK_EQ(names, std::string("Yes;Yes to all;No;No to all;Cancel;"));
  CoUninitialize();
}

namespace {
vel::wsl::MessageRequest g_hooked;
int g_hook_answer = 0;
int Hook(const vel::wsl::MessageRequest& request) {
  g_hooked = request;
  return g_hook_answer;
}
}  // namespace

TEST_CASE("question: a message hook answers it like any box; an answer it cannot mean is Cancel") {
  Setup();
  vel::wsl::SetMessageHook(Hook);
  g_hook_answer = 2;
  CHECK(AskQuestion("Replace?|a.txt", "Get", "", QuestionAnswer::kNo) == QuestionAnswer::kYesToAll);
  CHECK_EQ(g_hooked.buttons, std::string(vel::wsl::kQuestionButtons));
  CHECK_EQ(g_hooked.default_button, 3u);
  CHECK_EQ(g_hooked.text, std::string("Replace?\r\na.txt"));
  for (int odd : {0, 6, -1, 64}) {
    g_hook_answer = odd;
    CHECK(AskQuestion("Replace?", "Get", "", QuestionAnswer::kYes) == QuestionAnswer::kCancel);
  }
  vel::wsl::SetMessageHook(nullptr);
}

TEST_CASE("question: screenshot with the question icon") {
  Setup();
  bool saved = false;
  const std::string icon = vel::wsl::IconReferenceText(1, 0x7F03);  // the platform's question icon, as the client names it
  std::thread driver([&] {
    HWND dialog = WaitForDialog("Get");
    if (!dialog) return;
    Sleep(200);
    saved = shot::SaveWindow(dialog, GetACP() == 932 ? "question_box_932" : "question_box");
    Press(dialog, kNoId);
  });
  const QuestionAnswer got = AskQuestion("The local folder already has a file of this name:|report.txt||Replace it?",
                                         "Get", icon, QuestionAnswer::kNo);
  driver.join();
  CHECK(got == QuestionAnswer::kNo);
  CHECK(saved);
}
