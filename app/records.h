// The records of the module's queues, each from one definition: a list of its fields in
// declaration order, from which the struct, the queue's field table (app/globals.cpp) and the
// size checks are all made, so that none can disagree with another. Tests and benchmarks take
// offsets with offsetof on these structs.
//
// A list names each field once as TEXT(record, member, label, bytes, type) for a text of that
// many bytes, or VALUE(record, member, label, c_type, type) for a number; `type` is the
// runtime's field type (c: zero-terminated text, f: fixed text, blank-padded, no terminator).
// Layouts are packed byte for byte: the sizes are the described ones, checked below.
//
// Sizes are unsigned 64-bit (SIZE the low, SIZEHIGH the high half), names keep every byte the
// server sent (up to 259), and a tree path holds several levels of such names: nothing is cut,
// so no operation can reach a file whose name was shortened into another's.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/data/queue.h"

// DLS: the remote tree. MARKFIELD is the tag of a remote entry (nonzero = tagged).
#define FTPCL_DLS_FIELDS(TEXT, VALUE)                                      \
  TEXT(DlsRecord, name, "DLS:NAME", 260, vel::kTypeCString)                \
  VALUE(DlsRecord, iconfield, "DLS:ICONFIELD", std::int32_t, vel::kTypeLong) \
  VALUE(DlsRecord, treelevel, "DLS:TREELEVEL", std::int32_t, vel::kTypeLong) \
  TEXT(DlsRecord, sizestr, "DLS:SIZESTR", 20, vel::kTypeString)            \
  VALUE(DlsRecord, size, "DLS:SIZE", std::uint32_t, vel::kTypeULong)       \
  VALUE(DlsRecord, attribute, "DLS:ATTRIBUTE", std::int32_t, vel::kTypeLong) \
  TEXT(DlsRecord, fullpathname, "DLS:FULLPATHNAME", 1024, vel::kTypeCString) \
  VALUE(DlsRecord, wasenumerated, "DLS:WASENUMERATED", std::uint8_t, vel::kTypeByte) \
  VALUE(DlsRecord, sizehigh, "DLS:SIZEHIGH", std::uint32_t, vel::kTypeULong) \
  VALUE(DlsRecord, markfield, "DLS:MARKFIELD", std::uint8_t, vel::kTypeByte)

// FFLS: the entries of one remote folder as listed.
#define FTPCL_FFLS_FIELDS(TEXT, VALUE)                                     \
  TEXT(FflsRecord, filename, "FFLS:FILENAME", 260, vel::kTypeCString)      \
  VALUE(FflsRecord, attribute, "FFLS:ATTRIBUTE", std::int32_t, vel::kTypeLong) \
  VALUE(FflsRecord, size, "FFLS:SIZE", std::uint32_t, vel::kTypeULong)     \
  VALUE(FflsRecord, sizehigh, "FFLS:SIZEHIGH", std::uint32_t, vel::kTypeULong)

// ALLF: the directory listing's entry record (282 bytes) and the local tag.
#define FTPCL_ALLF_FIELDS(TEXT, VALUE)                                     \
  TEXT(AllfRecord, name, "ALLF:NAME", 256, vel::kTypeString)               \
  TEXT(AllfRecord, shortname, "ALLF:SHORTNAME", 13, vel::kTypeString)      \
  VALUE(AllfRecord, date, "ALLF:DATE", std::int32_t, vel::kTypeLong)       \
  VALUE(AllfRecord, time, "ALLF:TIME", std::int32_t, vel::kTypeLong)       \
  VALUE(AllfRecord, size, "ALLF:SIZE", std::int32_t, vel::kTypeLong)       \
  VALUE(AllfRecord, attrib, "ALLF:ATTRIB", std::uint8_t, vel::kTypeByte)   \
  VALUE(AllfRecord, markfield, "ALLF:MARKFIELD", std::uint8_t, vel::kTypeByte)

// The main procedure's drives, directories and subdirectories.
#define FTPCL_DRIVE_FIELDS(TEXT, VALUE)                                    \
  TEXT(DriveRecord, drive, "DRIVE", 1, vel::kTypeString)                   \
  VALUE(DriveRecord, icon, "ICON", std::int32_t, vel::kTypeLong)           \
  VALUE(DriveRecord, icon2, "ICON2", std::int32_t, vel::kTypeLong)         \
  VALUE(DriveRecord, icon3, "ICON3", std::int32_t, vel::kTypeLong)         \
  VALUE(DriveRecord, icon4, "ICON4", std::int32_t, vel::kTypeLong)         \
  VALUE(DriveRecord, icon5, "ICON5", std::int32_t, vel::kTypeLong)         \
  VALUE(DriveRecord, drivetype, "DRIVETYPE", std::int16_t, vel::kTypeShort)
#define FTPCL_DIR_FIELDS(TEXT, VALUE)                                      \
  TEXT(DirRecord, name, "NAME", 255, vel::kTypeString)                     \
  VALUE(DirRecord, icon, "ICON", std::int32_t, vel::kTypeLong)             \
  VALUE(DirRecord, level, "LEVEL", std::int32_t, vel::kTypeLong)
#define FTPCL_SUBDIR_FIELDS(TEXT, VALUE) TEXT(SubdirRecord, name, "NAME", 255, vel::kTypeString)

// Every record with its described size.
#define FTPCL_RECORDS(R)               \
  R(DlsRecord, FTPCL_DLS_FIELDS, 1326) \
  R(FflsRecord, FTPCL_FFLS_FIELDS, 272) \
  R(AllfRecord, FTPCL_ALLF_FIELDS, 283) \
  R(DriveRecord, FTPCL_DRIVE_FIELDS, 23) \
  R(DirRecord, FTPCL_DIR_FIELDS, 263)  \
  R(SubdirRecord, FTPCL_SUBDIR_FIELDS, 255)

namespace ftpcl {

#define FTPCL_MEMBER_TEXT(rec, member, label, bytes, type) char member[bytes];
#define FTPCL_MEMBER_VALUE(rec, member, label, c_type, type) c_type member;
#define FTPCL_STRUCT(rec, FIELDS, size) \
  struct rec {                          \
    FIELDS(FTPCL_MEMBER_TEXT, FTPCL_MEMBER_VALUE)                                   \
  };
#pragma pack(push, 1)
FTPCL_RECORDS(FTPCL_STRUCT)
#pragma pack(pop)
#undef FTPCL_STRUCT
#undef FTPCL_MEMBER_TEXT
#undef FTPCL_MEMBER_VALUE

// The sum of the fields' sizes is the struct's (nothing padded) and the described size.
#define FTPCL_SIZE_TEXT(rec, member, label, bytes, type) +(bytes)
#define FTPCL_SIZE_VALUE(rec, member, label, c_type, type) +sizeof(c_type)
#define FTPCL_SIZE_CHECK(rec, FIELDS, size)                                                         \
  static_assert(sizeof(rec) == std::size_t{0} FIELDS(FTPCL_SIZE_TEXT, FTPCL_SIZE_VALUE), #rec " is padded"); \
  static_assert(sizeof(rec) == (size), #rec " is not its described size");
FTPCL_RECORDS(FTPCL_SIZE_CHECK)
#undef FTPCL_SIZE_CHECK
#undef FTPCL_SIZE_TEXT
#undef FTPCL_SIZE_VALUE

// The queue's field table of each record (its layout for QueueBlock), in declaration order.
const vel::RecordLayout& DlsLayout();
const vel::RecordLayout& FflsLayout();
const vel::RecordLayout& AllfLayout();
const vel::RecordLayout& DriveLayout();
const vel::RecordLayout& DirLayout();
const vel::RecordLayout& SubdirLayout();

}  // namespace ftpcl
