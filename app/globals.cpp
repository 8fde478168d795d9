// The program-wide variables and the queue blocks with their record layouts.
#include "app/globals.h"

#include <cstddef>

namespace ftpcl {

Globals g;
std::atomic<std::int16_t> REQUESTCODE{kReqNone};

namespace {

#define FTPCL_FIELD_TEXT(rec, member, label, bytes, type) vel::FieldDesc{label, nullptr, type, 0, bytes, offsetof(rec, member), 1, 0},
#define FTPCL_FIELD_VALUE(rec, member, label, c_type, type) \
  vel::FieldDesc{label, nullptr, type, 0, sizeof(c_type), offsetof(rec, member), 1, 0},
#define FTPCL_TABLE(rec, FIELDS, size) const vel::FieldDesc k##rec##Fields[] = {FIELDS(FTPCL_FIELD_TEXT, FTPCL_FIELD_VALUE)};
FTPCL_RECORDS(FTPCL_TABLE)
#undef FTPCL_TABLE
#undef FTPCL_FIELD_TEXT
#undef FTPCL_FIELD_VALUE

template <std::size_t N>
constexpr vel::RecordLayout Layout(const vel::FieldDesc (&f)[N]) {
  return vel::RecordLayout{N, f};
}
const vel::RecordLayout kDlsLayout = Layout(kDlsRecordFields);
const vel::RecordLayout kFflsLayout = Layout(kFflsRecordFields);
const vel::RecordLayout kAllfLayout = Layout(kAllfRecordFields);
const vel::RecordLayout kDriveLayout = Layout(kDriveRecordFields);
const vel::RecordLayout kDirLayout = Layout(kDirRecordFields);
const vel::RecordLayout kSubdirLayout = Layout(kSubdirRecordFields);

DlsRecord g_dls{};
FflsRecord g_ffls{};
AllfRecord g_allf{};
DriveRecord g_drive{};
DirRecord g_dir{};
SubdirRecord g_subdir{};

}  // namespace

vel::QueueBlock DLS{&g_dls, &kDlsLayout, nullptr, sizeof g_dls};
vel::QueueBlock FFLS{&g_ffls, &kFflsLayout, nullptr, sizeof g_ffls};
vel::QueueBlock ALLF{&g_allf, &kAllfLayout, nullptr, sizeof g_allf};
vel::QueueBlock DRIVES{&g_drive, &kDriveLayout, nullptr, sizeof g_drive};
vel::QueueBlock DIRS{&g_dir, &kDirLayout, nullptr, sizeof g_dir};
vel::QueueBlock SUBDIRS{&g_subdir, &kSubdirLayout, nullptr, sizeof g_subdir};

const vel::RecordLayout& DlsLayout() { return kDlsLayout; }
const vel::RecordLayout& FflsLayout() { return kFflsLayout; }
const vel::RecordLayout& AllfLayout() { return kAllfLayout; }
const vel::RecordLayout& DriveLayout() { return kDriveLayout; }
const vel::RecordLayout& DirLayout() { return kDirLayout; }
const vel::RecordLayout& SubdirLayout() { return kSubdirLayout; }

DlsRecord& Dls() { return g_dls; }
FflsRecord& Ffls() { return g_ffls; }
AllfRecord& Allf() { return g_allf; }
DriveRecord& Drive() { return g_drive; }
DirRecord& Dir() { return g_dir; }
SubdirRecord& Subdir() { return g_subdir; }

void DestroyQueues() {
  for (vel::QueueBlock* q : {&DLS, &FFLS, &ALLF, &DRIVES, &DIRS, &SUBDIRS}) vel::QueueDestroy(q);
}

bool Idle() { return REQUESTCODE.load() == kIdle; }

bool RequestRunning() {
  const std::int16_t code = REQUESTCODE.load();
  return code != kIdle && code != kReqNone;
}

}  // namespace ftpcl
