// Shared pieces of the listing families (private to net/ftp_listing*.cpp): blank-separated
// tokens with their positions, strict numbers, month names of the languages servers list in,
// clock and date fields, and the family parsers the dispatcher calls.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "net/ftp_listing.h"
#include "net/ftp_listing_runs.h"

namespace vel::net::listing {

struct Token {
  size_t begin, end;
};

// Blank-separated tokens, at most maxTokens (lines with other control bytes never get here).
std::vector<Token> Tokens(std::string_view s, size_t maxTokens = 64);
inline std::string_view At(std::string_view s, const Token& t) { return s.substr(t.begin, t.end - t.begin); }

bool AllDigits(std::string_view s);
bool ToU64(std::string_view s, uint64_t* v);
bool ToInt(std::string_view s, int* v);  // 0..100000
// "1,234,567" / "1.234.567" / "1234567".
bool ToSizeGrouped(std::string_view s, uint64_t* v);
// A month name or abbreviation in one of the languages servers list in (a trailing "." is
// allowed), or a numeric "N月"/"N월" form; 0 when none.
int MonthOf(std::string_view s);
int MonthOfEnglishUpper(std::string_view s);  // "JAN" .. "DEC" and "Jan" (VMS, Tandem)
// "hh:mm" or "hh:mm:ss" (a fraction after the seconds is ignored); "24:00" gives hour 24, which
// the dispatcher turns into 00:00 of the next day (NextDayAt24) once the date is known.
bool ParseClock(std::string_view s, int* h, int* m, int* sec);
// Hour 24 (from "24:00") becomes 00:00 of the following day; other times are left alone.
void NextDayAt24(ListTime* t);
// Dates without a year lie within the last year: a date after tomorrow belongs to last year.
int InferYear(int month, int day, const Today& today);
int FullYear(int twoOrFour, size_t digits);  // 2-digit years: 70..99 -> 19xx, else 20xx
bool ValidDate(const ListTime& t);
// Seconds since 1970 (UTC) into a calendar time.
ListTime FromUnixSeconds(uint64_t s);

// The run of blanks in `line` that starts at `from` (the end of the field before a name).
NameRun RunAfter(std::string_view line, size_t from, RunForm form, size_t key = 0);

// Family parsers: true with *e filled for a line that is an entry of that family; *run
// describes the blanks before the name (RunForm::None: nothing to settle). A name with a run
// is whole only once NameRuns settled it.
bool ParseUnix(std::string_view line, const Today& today, ListEntry* e, NameRun* run);
// "octal-mode uid gid size epoch name": the numeric form some embedded servers list in.
bool ParseNumericUnix(std::string_view line, ListEntry* e);
bool ParseNetware(std::string_view line, const Today& today, ListEntry* e, NameRun* run);
bool ParseDos(std::string_view line, ListEntry* e, NameRun* run);
bool ParseOs2(std::string_view line, ListEntry* e, NameRun* run);
bool ParseEplf(std::string_view line, ListEntry* e);
// VMS: *wrapped is set for a line holding only "NAME;VERSION" (details on the next line).
bool ParseVms(std::string_view line, ListEntry* e, bool* wrapped);
bool ParseMvsDataset(std::string_view line, ListEntry* e);
bool ParseMvsMember(std::string_view line, ListEntry* e);
bool ParseAs400(std::string_view line, ListEntry* e);
bool ParseVxWorks(std::string_view line, ListEntry* e);
bool ParseTandem(std::string_view line, ListEntry* e);
bool ParseZvm(std::string_view line, ListEntry* e);
bool ParseOs9(std::string_view line, ListEntry* e);

}  // namespace vel::net::listing
