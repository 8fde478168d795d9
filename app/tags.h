// Tags of the two file lists: ALLF:MARKFIELD for the local files (?LIST4) and DLS:MARKFIELD for
// the remote tree (?LIST1), nonzero = tagged. The lists let the user set them (Space,
// Ctrl+click, Shift+click: the list's Mark property, runtime/controls/list_tags.cpp); the
// procedures clear them and show how many there are. Nothing reads them for a transfer yet.
//
// Lifetimes: a local tag lasts until the file list is read again (another folder, F5, the
// refresh after a download) or the file is put. A remote tag lasts while its entry stays in the
// tree: a refresh of its folder keeps the tags of the entries it lists again (matched by their
// full tree path), and a new connection, Disconnect or Close Internet Session drop them all.
#pragma once
#include <cstdint>

#include "runtime/data/queue.h"

namespace ftpcl {

// At the window's opening: both lists tag through their MARKFIELD.
void SetUpTagging();
// "Clear Tagged" of each side (?OKBUTTON:2 local, ?OKBUTTON:3 remote).
void ClearLocalTags();
void ClearRemoteTags();
// Tagged rows of a queue, rows inside closed folders included; its record buffer is left alone.
std::uint32_t CountTags(vel::QueueBlock* q, std::int32_t mark_field);
// Status zone 4: "Tagged: N local, M remote" while any row is tagged, else empty. Counts again
// only when a queue changed since the last call, so it may run after every event.
void ShowTagCounts();

// The status zone of the counts, and the record fields of the tags.
constexpr int kTagZone = 4;
constexpr std::int32_t kAllfMarkField = 7;
constexpr std::int32_t kDlsMarkField = 10;

}  // namespace ftpcl
