// The list control's painting against the length of its queue: a list over 100,000 rows and
// the same list over 100 rows, on a real window (Windows build; run under Wine on Xvfb by
// scripts/bench).
//   page paint      one synchronous repaint of the visible page (median of 200)
//   scroll by pages top to bottom with one repaint per page (total, and the median page:
//                   the scroll bar's thumb, the posted EVENT:PageDown and the repaint)
// for a plain two-column list and for a tree list with icons, lines and boxes.
// Goal: page paint time independent of the row count (ratio within 1.2).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_mode.h"
#include "runtime/controls/controls.h"
#include "runtime/controls/list_control.h"
#include "runtime/core/startup.h"
#include "runtime/data/data_init.h"
#include "runtime/data/queue.h"
#include "runtime/wsl/lifecycle.h"
#include "runtime/wsl/window.h"

using namespace vel;
using namespace vel::wsl;

namespace {

struct Row {
  char name[40];
  std::int32_t icon;
  std::int32_t level;
  std::int32_t size;
};
const FieldDesc kFields[] = {
    {"R:NAME", nullptr, kTypeString, 0, 40, 0, 1, 0},
    {"R:ICON", nullptr, kTypeLong, 0, 4, 40, 1, 0},
    {"R:LEVEL", nullptr, kTypeLong, 0, 4, 44, 1, 0},
    {"R:SIZE", nullptr, kTypeLong, 0, 4, 48, 1, 0},
};
const RecordLayout kLayout{4, kFields};

double Now() {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void Pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

void Fill(QueueBlock* q, Row* buffer, int n) {
  for (int i = 1; i <= n; ++i) {
    std::memset(buffer->name, ' ', sizeof buffer->name);
    const std::string s = (i % 7 == 1 ? "directory " : "file ") + std::to_string(i) + ".dat";
    std::memcpy(buffer->name, s.data(), std::min(s.size(), sizeof buffer->name));
    const bool dir = i % 7 == 1;
    buffer->icon = dir ? 1 : 3;
    buffer->level = dir ? 1 : 2;  // directories open at level 1, files below them
    buffer->size = i * 37;
    QueueAppend(q);
  }
}

struct Figures {
  double page_us;
  double scroll_total_ms;
  double per_page_us;
  int pages;
};

Figures Measure(ListControl* list, int rows) {
  Row buffer{};
  QueueBlock q{&buffer, &kLayout, nullptr, sizeof(Row)};
  Fill(&q, &buffer, rows);
  list->SetSourceQueue(&q);
  HWND h = list->hwnd();
  Pump();
  std::vector<double> paints;
  for (int i = 0, n = BenchPick(200, 5); i < n; ++i) {
    InvalidateRect(h, nullptr, FALSE);
    const double t0 = Now();
    UpdateWindow(h);
    paints.push_back(Now() - t0);
  }
  list->SetProperty(0x7C9E, "1");  // VScrollPos: the top
  Pump();
  int pages = 0;
  std::vector<double> page_times;
  const double t0 = Now();
  for (;;) {
    const int before = list->top_row();
    const double p0 = Now();
    SendMessageA(h, WM_VSCROLL, SB_PAGEDOWN, 0);
    UpdateWindow(h);
    if (list->top_row() == before) break;
    page_times.push_back(Now() - p0);
    ++pages;
    Pump();  // the posted EVENT:PageDown record, as the ACCEPT loop would take it
  }
  const double total = Now() - t0;
  Pump();
  list->SetSourceQueue(nullptr);
  QueueDestroy(&q);
  return {Median(paints), total / 1000.0, Median(page_times), pages};
}

}  // namespace

int main() {
  // The control library's entry installs the list class: without it no control is made.
  static const InitEntry kInit[] = {VEL_CORE_INIT_ENTRIES, VEL_DATA_INIT_ENTRIES, VEL_WSL_INIT_ENTRIES,
                                    VEL_CONTROLS_INIT_ENTRIES};
  static ModuleDescriptor module{nullptr, kInit, kInit + sizeof kInit / sizeof kInit[0], nullptr,
                                 {{nullptr, nullptr}, {nullptr, nullptr}}, nullptr, nullptr, nullptr, nullptr};
  RegisterModule(&module, nullptr);
  SetApplicationActive(false);
  QueueBlock dummy[3]{};
  char var[32] = "";
  void* vars[] = {&dummy[0], var, &dummy[1], &dummy[2], &dummy[2], nullptr};
  Window* w = nullptr;
  WindowOpen(&w, "ListTest$lsttest", "LISTS$WINDOW", vars);
  if (!w) {
    std::printf("window not opened\n");
    return 1;
  }
  Pump();
  struct Case {
    const char* name;
    int field;
    const char* format;
  } cases[] = {
      {"plain list", 5, "50L(1)|~Row~@s40@40R(2)~Number~@n9@"},
      {"tree list ", 1, "110L(1)|MIT~Name~@s40@52R(2)|M~Size~@n12@"},
  };
  const int big_rows = BenchPick(100000, 1000);
  for (const Case& c : cases) {
    auto* list = dynamic_cast<ListControl*>(w->Field(c.field));
    if (!list) {
      std::printf("field %d of the test window is not a list\n", c.field);
      return 1;
    }
    list->SetFormat(c.format);
    char folder[MAX_PATH];
    GetSystemDirectoryA(folder, sizeof folder);
    list->SetIndexed(0x7D07, 0, std::string(folder) + "\\shell32.dll[-5]");
    list->SetIndexed(0x7D07, 2, std::string(folder) + "\\shell32.dll[-2]");
    Measure(list, 100);  // warm-up: fonts, icons, code paths
    const Figures small = Measure(list, 100);
    const Figures big = Measure(list, big_rows);
    std::printf("%s  page paint median: 100 rows %.1f us, %d rows %.1f us, ratio %.2f\n", c.name, small.page_us,
                big_rows, big.page_us, small.page_us > 0 ? big.page_us / small.page_us : 0);
    std::printf("%s  scroll by pages: 100 rows %d pages %.1f ms (%.1f us/page), %d rows %d pages %.1f ms "
                "(%.1f us/page), per-page ratio %.2f (medians)\n",
                c.name, small.pages, small.scroll_total_ms, small.per_page_us, big_rows, big.pages,
                big.scroll_total_ms, big.per_page_us, small.per_page_us > 0 ? big.per_page_us / small.per_page_us : 0);
  }
  WindowClose(&w);
  return 0;
}
