// The client's local file queue as the directory tests and benchmark build it: the listing's
// entry record (name 256, short name 13, date, time, size, attribute byte; 282 bytes) and a
// one-byte mark after it, 283 bytes in all.
#pragma once
#include "runtime/data/directory.h"
#include "runtime/data/typed_value.h"

namespace vel::testing {

inline constexpr FieldDesc kFileQueueFields[] = {
    {"ALLF:NAME", nullptr, kTypeString, 0, kEntryNameSize, kEntryName, 1, 0},
    {"ALLF:SHORTNAME", nullptr, kTypeString, 0, kEntryShortNameSize, kEntryShortName, 1, 0},
    {"ALLF:DATE", nullptr, kTypeLong, 0, 4, kEntryDate, 1, 0},
    {"ALLF:TIME", nullptr, kTypeLong, 0, 4, kEntryTime, 1, 0},
    {"ALLF:SIZE", nullptr, kTypeLong, 0, 4, kEntrySize, 1, 0},
    {"ALLF:ATTRIB", nullptr, kTypeByte, 0, 1, kEntryAttrib, 1, 0},
    {"ALLF:MARKFIELD", nullptr, kTypeByte, 0, 1, kEntryRecordSize, 1, 0},
};
inline constexpr RecordLayout kFileQueue{7, kFileQueueFields};
inline constexpr std::uint32_t kFileQueueRecordSize = kEntryRecordSize + 1;

}  // namespace vel::testing
