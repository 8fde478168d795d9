// The program-wide variables and the queue blocks with their record layouts.
#include "app/globals.h"

#include <cstddef>

namespace ftpcl {

Globals g;
std::atomic<std::int16_t> REQUESTCODE{kReqNone};
std::atomic<bool> g_listing{false};
std::atomic<std::uint32_t> g_epoch{0};

namespace {

using vel::FieldDesc;
using vel::RecordLayout;

#define FIELD(rec, member, label, type) \
  FieldDesc { label, nullptr, type, 0, sizeof(rec::member), offsetof(rec, member), 1, 0 }

const FieldDesc kDlsFields[] = {
    FIELD(DlsRecord, name, "DLS:NAME", vel::kTypeCString),
    FIELD(DlsRecord, iconfield, "DLS:ICONFIELD", vel::kTypeLong),
    FIELD(DlsRecord, treelevel, "DLS:TREELEVEL", vel::kTypeLong),
    FIELD(DlsRecord, sizestr, "DLS:SIZESTR", vel::kTypeString),
    FIELD(DlsRecord, size, "DLS:SIZE", vel::kTypeULong),
    FIELD(DlsRecord, attribute, "DLS:ATTRIBUTE", vel::kTypeLong),
    FIELD(DlsRecord, fullpathname, "DLS:FULLPATHNAME", vel::kTypeCString),
    FIELD(DlsRecord, wasenumerated, "DLS:WASENUMERATED", vel::kTypeByte),
    FIELD(DlsRecord, sizehigh, "DLS:SIZEHIGH", vel::kTypeULong),
    FIELD(DlsRecord, markfield, "DLS:MARKFIELD", vel::kTypeByte),
};
const FieldDesc kFflsFields[] = {
    FIELD(FflsRecord, filename, "FFLS:FILENAME", vel::kTypeCString),
    FIELD(FflsRecord, attribute, "FFLS:ATTRIBUTE", vel::kTypeLong),
    FIELD(FflsRecord, size, "FFLS:SIZE", vel::kTypeULong),
    FIELD(FflsRecord, sizehigh, "FFLS:SIZEHIGH", vel::kTypeULong),
};
const FieldDesc kAllfFields[] = {
    FIELD(AllfRecord, name, "ALLF:NAME", vel::kTypeString),
    FIELD(AllfRecord, shortname, "ALLF:SHORTNAME", vel::kTypeString),
    FIELD(AllfRecord, date, "ALLF:DATE", vel::kTypeLong),
    FIELD(AllfRecord, time, "ALLF:TIME", vel::kTypeLong),
    FIELD(AllfRecord, size, "ALLF:SIZE", vel::kTypeLong),
    FIELD(AllfRecord, attrib, "ALLF:ATTRIB", vel::kTypeByte),
    FIELD(AllfRecord, markfield, "ALLF:MARKFIELD", vel::kTypeByte),
};
const FieldDesc kDriveFields[] = {
    FIELD(DriveRecord, drive, "DRIVE", vel::kTypeString),
    FIELD(DriveRecord, icon, "ICON", vel::kTypeLong),
    FIELD(DriveRecord, icon2, "ICON2", vel::kTypeLong),
    FIELD(DriveRecord, icon3, "ICON3", vel::kTypeLong),
    FIELD(DriveRecord, icon4, "ICON4", vel::kTypeLong),
    FIELD(DriveRecord, icon5, "ICON5", vel::kTypeLong),
    FIELD(DriveRecord, drivetype, "DRIVETYPE", vel::kTypeShort),
};
const FieldDesc kDirFields[] = {
    FIELD(DirRecord, name, "NAME", vel::kTypeString),
    FIELD(DirRecord, icon, "ICON", vel::kTypeLong),
    FIELD(DirRecord, level, "LEVEL", vel::kTypeLong),
};
const FieldDesc kSubdirFields[] = {
    FIELD(SubdirRecord, name, "NAME", vel::kTypeString),
};
#undef FIELD

template <std::size_t N>
constexpr RecordLayout Layout(const FieldDesc (&f)[N]) {
  return RecordLayout{N, f};
}
const RecordLayout kDlsLayout = Layout(kDlsFields);
const RecordLayout kFflsLayout = Layout(kFflsFields);
const RecordLayout kAllfLayout = Layout(kAllfFields);
const RecordLayout kDriveLayout = Layout(kDriveFields);
const RecordLayout kDirLayout = Layout(kDirFields);
const RecordLayout kSubdirLayout = Layout(kSubdirFields);

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

DlsRecord& Dls() { return g_dls; }
FflsRecord& Ffls() { return g_ffls; }
AllfRecord& Allf() { return g_allf; }
DriveRecord& Drive() { return g_drive; }
DirRecord& Dir() { return g_dir; }
SubdirRecord& Subdir() { return g_subdir; }

void DestroyQueues() {
  for (vel::QueueBlock* q : {&DLS, &FFLS, &ALLF, &DRIVES, &DIRS, &SUBDIRS}) vel::QueueDestroy(q);
}

bool Idle() { return REQUESTCODE.load() == kIdle && !g_listing.load(); }

bool RequestRunning() {
  const std::int16_t code = REQUESTCODE.load();
  return (code != kIdle && code != kReqNone) || g_listing.load();
}

}  // namespace ftpcl
