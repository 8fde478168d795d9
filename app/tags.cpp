// Tags of the two file lists and their counts in the status bar.
#include "app/tags.h"

#include <string>

#include "app/globals.h"
#include "app/ui.h"
#include "runtime/wsl/properties.h"
#include "runtime/wsl/property_codes.h"

namespace ftpcl {

namespace {

// Every row of `q` untagged and stored back (QueuePut), in queue order.
void ClearTags(vel::QueueBlock* q, std::uint8_t* mark) {
  const std::uint32_t n = vel::QueueRecords(q);
  for (std::uint32_t i = 1; i <= n; ++i) {
    vel::QueueGetAt(q, static_cast<std::int32_t>(i));
    *mark = 0;
    vel::QueuePut(q);
  }
}

// What the counts were taken from: a queue's length and change counter.
struct Seen {
  std::uint32_t records = ~0u, changes = ~0u, tags = 0;
};

std::uint32_t CountIfChanged(vel::QueueBlock* q, std::int32_t field, Seen* seen) {
  const std::uint32_t records = vel::QueueRecords(q), changes = vel::QueueChanges(q);
  if (records != seen->records || changes != seen->changes) {
    seen->tags = CountTags(q, field);
    seen->records = records;
    seen->changes = changes;
  }
  return seen->tags;
}

Seen g_local_seen, g_remote_seen;

}  // namespace

void SetUpTagging() {
  vel::wsl::PropertySet(g.mainwindow, kList4, vel::wsl::kPropMark, std::to_string(kAllfMarkField));
  vel::wsl::PropertySet(g.mainwindow, kList1, vel::wsl::kPropMark, std::to_string(kDlsMarkField));
}

void ClearLocalTags() { ClearTags(&ALLF, &Allf().markfield); }

void ClearRemoteTags() { ClearTags(&DLS, &Dls().markfield); }

std::uint32_t CountTags(vel::QueueBlock* q, std::int32_t mark_field) {
  std::uint32_t tagged = 0;
  const std::uint32_t n = vel::QueueRecords(q);
  for (std::uint32_t i = 1; i <= n && q->engine; ++i) {
    if (vel::QueueLoadRow(q->engine, static_cast<std::int32_t>(i)) != 0) break;
    const vel::TypedRef mark = vel::QueueRowField(q->engine, mark_field);
    if (mark.address && *static_cast<const std::uint8_t*>(mark.address) != 0) ++tagged;
  }
  return tagged;
}

void ShowTagCounts() {
  if (!g.mainwindow) return;
  const std::uint32_t local = CountIfChanged(&ALLF, kAllfMarkField, &g_local_seen);
  const std::uint32_t remote = CountIfChanged(&DLS, kDlsMarkField, &g_remote_seen);
  const bool any = local || remote;
  StatusText(kTagZone, any ? "Tagged: " + std::to_string(local) + " local, " + std::to_string(remote) + " remote" : "");
}

}  // namespace ftpcl
