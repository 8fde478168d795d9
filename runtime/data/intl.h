// The international settings: month names, AM/PM texts, the Windows time settings and the four
// profile-built pictures (@D17, @D18, @T7, @T8), and the two sources that fill them at start-up:
// the "intl" section of the system profile and the program's environment file (which also
// rewrites the collation, case and digraph tables of runtime/core/collation.h and registers
// replacement message texts).
//
// One process-wide struct, written only while the start-up runs on one thread, read afterwards.
// Every text slot is zero-terminated within its size whatever the input.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/data/picture.h"

namespace vel {

struct IntlSettings {
  char month_name[12][13];       // "January" .. "December", at most 12 characters
  char month_abbr[12][4];        // "Jan" .. "Dec"
  char ampm[2][3];               // environment file's AM and PM texts
  std::int32_t long_file_names;  // VELLFN
  char system_charset[64];       // VELSYSTEMCHARSET, for the window layer
  bool oem_file;                 // the environment file being applied said VELCHARSET=OEM
  // Windows settings from the profile.
  bool clock24;                  // iTime = 1
  bool hour_lzero;               // iTLzero = 1
  char time_separator;           // sTime; 0 when the profile gives an empty one
  char win_ampm[2][3];           // s1159, s2359 (empty when the profile gives them empty)
  char short_date[80];           // sShortDate
  char long_date[80];            // sLongDate
  CompiledPicture date_short;    // @D17
  CompiledPicture date_long;     // @D18
  CompiledPicture time_short;    // @T7
  CompiledPicture time_long;     // @T8
};

IntlSettings& Intl();
// Defaults for everything, as before any profile or environment file was read (the collation
// tables are left alone).
void IntlReset();

// Reads the "intl" values through `reader` (null: the platform profile) and rebuilds the four
// Windows pictures.
using ProfileReader = int (*)(const char* section, const char* key, const char* fallback, char* buf, int size);
void IntlReadProfile(ProfileReader reader);

// Start-up: the profile, then the collation table saved as the OEM table, then the program's
// environment file (its path cut at the last "." plus ".ENV"; a missing file is ignored).
void IntlInitialise();
// Initialiser-table form (0 initialise: IntlInitialise; 1 terminate: nothing to release). The
// window layer lists it where it initialises its display services.
void IntlInitTerm(int flag);

// Applies an environment file; a missing file is ignored and leaves no error.
void ApplyEnvironmentFile(const char* path);
// The same over text already in memory (the file reader feeds this; tests and fuzzing too).
void ApplyEnvironmentText(const char* data, std::size_t length);

// Builders of the profile pictures, exposed for tests. Each fills a whole compiled picture.
void BuildShortDatePicture(const char* format, CompiledPicture* out);
void BuildLongDatePicture(const char* format, CompiledPicture* out);
void BuildWindowsTimePicture(bool with_seconds, CompiledPicture* out);

}  // namespace vel
