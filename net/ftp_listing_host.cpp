// Host systems: VMS, MVS (datasets and PDS members), AS/400, HP NonStop, z/VM.
//
//   CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]  (RWED,RWED,,)    VMS
//   SUBDIR.DIR;1         1     5-MAY-1999 11:27  [SYSTEM]  (RWE,RWE,RE,RE)    folder "SUBDIR"
//   WYOSPT 3420   2003/05/21  1  200  FB      80  8000  PS  PROJECT.DATA    MVS dataset
//   Migrated                                                OLD.DATA        MVS, migrated
//   VSM012 3390                                  VSAM  OPS.KSDS        MVS, VSAM cluster
//   T40021 Tape                                        OPS.ARCHIVE     MVS, on tape
//   PAYCALC   0017A8   00002C          00 FO  RN RU  31  ANY          load-module member (hex size)
//   ADDRESSB  01.03 2002/09/12 2002/10/11 09:37    52    52     0 KIMBERB    PDS member
//   QSYS           77824 02/23/00 15:09:55 *DIR       QSYS.LIB/             AS/400
//   ALTERNAT        101         12 10-Jan-01 12:48:04 255,255 "OOOO"         HP NonStop
//   PROFILE  EXEC     A1 V         72          8          1 2003-02-05 14:38:08 -   z/VM
#include "net/ftp_listing_text.h"

namespace vel::net::listing {

namespace {

// VMS "29-JAN-1996" and NonStop "10-Jan-01".
bool DashDate(std::string_view d, ListTime* t) {
  size_t a = d.find('-'), b = d.rfind('-');
  if (a == std::string_view::npos || a == b || a == 0 || a > 2 || b != a + 4) return false;
  std::string_view ys = d.substr(b + 1);
  int y;
  if (!ToInt(d.substr(0, a), &t->day) || !(t->month = MonthOfEnglishUpper(d.substr(a + 1, 3))) ||
      (ys.size() != 2 && ys.size() != 4) || !ToInt(ys, &y))
    return false;
  t->year = FullYear(y, ys.size());
  return ValidDate(*t);
}

// "2003/05/21".
bool SlashIsoDate(std::string_view d, ListTime* t) {
  return d.size() == 10 && d[4] == '/' && d[7] == '/' && ToInt(d.substr(0, 4), &t->year) &&
         ToInt(d.substr(5, 2), &t->month) && ToInt(d.substr(8, 2), &t->day) && ValidDate(*t);
}

bool VmsFileSpec(std::string_view file_name, ListEntry* e) {
  size_t semi = file_name.rfind(';');
  if (semi == std::string_view::npos || semi == 0 || !AllDigits(file_name.substr(semi + 1))) return false;
  std::string_view name = file_name.substr(0, semi);
  for (char c : name)  // VMS names: letters, digits, "$", "-", "_", "."
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '$' || c == '-' ||
          c == '_' || c == '.' || c == '~'))
      return false;
  *e = ListEntry{};
  if (name.size() > 4 && (name.substr(name.size() - 4) == ".DIR" || name.substr(name.size() - 4) == ".dir")) {
    e->dir = true;
    name.remove_suffix(4);
  }
  e->name.assign(name);
  return ValidEntryName(e->name);
}

// "213" and "213/216" blocks of 512 bytes; "12KB" (*approx: rounded by the server).
bool VmsSize(std::string_view s, uint64_t* size, bool* approx) {
  *approx = s.size() > 2 && s.substr(s.size() - 2) == "KB";
  if (*approx) s.remove_suffix(2);
  size_t slash = *approx ? std::string_view::npos : s.find('/');
  uint64_t n;
  if (!ToU64(s.substr(0, slash), &n) || n > (UINT64_MAX >> 10)) return false;
  if (slash != std::string_view::npos && !AllDigits(s.substr(slash + 1))) return false;
  *size = *approx ? n << 10 : n * 512;
  return true;
}

}  // namespace

bool ParseVms(std::string_view line, ListEntry* e, bool* wrapped) {
  *wrapped = false;
  auto tok = Tokens(line, 8);
  if (tok.empty() || line[0] == ' ' || line[0] == '\t') return false;
  if (!VmsFileSpec(At(line, tok[0]), e)) return false;
  if (tok.size() == 1) {
    *wrapped = true;
    return true;
  }
  if (At(line, tok[1]).rfind("%RMS-", 0) == 0) return true;  // listed, but no details allowed
  // [owner] size date [time]: the size in blocks ("213" or "213/216", used/allocated) or in
  // kilobytes ("12KB", rounded: approximate); some servers put the owner first, some print no time.
  size_t k = At(line, tok[1]).front() == '[' && At(line, tok[1]).back() == ']' ? 2 : 1;
  if (tok.size() < k + 2) return false;
  uint64_t size;
  bool approx;
  ListTime t;
  if (!VmsSize(At(line, tok[k]), &size, &approx) || !DashDate(At(line, tok[k + 1]), &t)) return false;
  if (k + 2 < tok.size() && ParseClock(At(line, tok[k + 2]), &t.hour, &t.minute, &t.second)) {
    ++k;
  } else if (k + 2 < tok.size() && At(line, tok[k + 2]).front() != '[' && At(line, tok[k + 2]).front() != '(') {
    return false;  // after a date without a time only the owner or the protection may follow
  }
  if (!e->dir) {
    e->size = size;
    e->sizeApprox = approx;
  }
  e->time = t;
  return true;
}

bool ParseMvsDataset(std::string_view line, ListEntry* e) {
  auto tok = Tokens(line, 12);
  if (tok.size() < 2) return false;
  std::string_view first = At(line, tok[0]);
  std::string_view name = At(line, tok.back());
  bool dir = false;
  ListTime t;
  if (first == "Migrated" || first == "ARCIVE" || first == "Error") {
    if (tok.size() != 2) return false;
  } else if (first == "Pseudo" && At(line, tok[1]) == "Directory") {
    if (tok.size() != 3) return false;
    dir = true;
  } else if (tok.size() == 4 && At(line, tok[2]) == "VSAM") {
    // volume, unit, "VSAM", name: a VSAM cluster, listed without any other detail
  } else if (tok.size() == 3 && At(line, tok[1]) == "Tape") {
    // volume, "Tape", name: a dataset on tape, no details without mounting it
  } else {
    // volume, unit, referred date ("**NONE**": never referred to), extents, used, recfm, lrecl,
    // blksize, dsorg, name
    if (tok.size() != 10 || (At(line, tok[2]) != "**NONE**" && !SlashIsoDate(At(line, tok[2]), &t))) return false;
    std::string_view dsorg = At(line, tok[8]);
    dir = dsorg == "PO" || dsorg == "PO-E";
  }
  if (name.size() > 2 && name.front() == '\'' && name.back() == '\'') name = name.substr(1, name.size() - 2);
  *e = ListEntry{};
  e->time = t;
  e->dir = dir;
  e->name.assign(name);
  return ValidEntryName(e->name);
}

namespace {

// A load-module member's "size TTR": both six hexadecimal digits, the size in bytes.
bool LoadModuleSize(std::string_view size, std::string_view ttr, uint64_t* bytes) {
  auto hex6 = [](std::string_view h) {
    return h.size() == 6 && h.find_first_not_of("0123456789ABCDEF") == std::string_view::npos;
  };
  if (!hex6(size) || !hex6(ttr)) return false;
  *bytes = 0;
  for (char c : size) *bytes = *bytes * 16 + static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'A' + 10);
  return true;
}

}  // namespace

bool ParseMvsMember(std::string_view line, ListEntry* e) {
  auto tok = Tokens(line, 12);
  if (tok.empty() || line[0] == ' ') return false;
  std::string_view name = At(line, tok[0]);
  if (name.size() > 8) return false;
  *e = ListEntry{};
  if (tok.size() > 1 && tok.size() < 5) return false;  // a bare name, or a whole line of details
  if (tok.size() >= 5) {  // name VV.MM created changed time size init mod id
    std::string_view vvmm = At(line, tok[1]);
    ListTime t;
    if (vvmm.size() == 5 && vvmm[2] == '.' && SlashIsoDate(At(line, tok[3]), &t) &&
        ParseClock(At(line, tok[4]), &t.hour, &t.minute, &t.second))
      e->time = t;
    else if (!LoadModuleSize(At(line, tok[1]), At(line, tok[2]), &e->size))
      return false;  // neither statistics nor a load module's: no member line
  }
  e->name.assign(name);
  return ValidEntryName(e->name);
}

bool ParseAs400(std::string_view line, ListEntry* e) {
  auto tok = Tokens(line, 8);
  if (tok.size() < 3) return false;
  // owner [size date time] *TYPE name
  size_t k = 1;
  ListTime t;
  uint64_t size = 0;
  if (tok.size() >= 6 && ToU64(At(line, tok[1]), &size)) {
    std::string_view d = At(line, tok[2]);
    int a, b, y;
    if (d.size() != 8 || d[2] != d[5] || (d[2] != '/' && d[2] != '.') || !ToInt(d.substr(0, 2), &a) ||
        !ToInt(d.substr(3, 2), &b) || !ToInt(d.substr(6, 2), &y))
      return false;
    t.year = FullYear(y, 2);
    bool dayFirst = d[2] == '.' || a > 12;  // "DD.MM.YY"; "MM/DD/YY" unless the first field cannot be a month
    t.month = dayFirst ? b : a;
    t.day = dayFirst ? a : b;
    if (!ValidDate(t) || !ParseClock(At(line, tok[3]), &t.hour, &t.minute, &t.second)) return false;
    k = 4;
  }
  std::string_view type = At(line, tok[k]);
  if (type.size() < 4 || type[0] != '*' || k + 1 >= tok.size()) return false;
  for (char c : type.substr(1))
    if (c < 'A' || c > 'Z') return false;
  size_t nameAt = tok[k].end;
  while (nameAt < line.size() && line[nameAt] == ' ') ++nameAt;
  std::string_view name = line.substr(nameAt);
  *e = ListEntry{};
  e->dir = type == "*DIR" || type == "*LIB" || type == "*FLR" || (type == "*FILE" && !name.empty() && name.back() == '/');
  if (!name.empty() && name.back() == '/') {
    e->dir = true;
    name.remove_suffix(1);
  }
  if (type == "*MEM") return false;  // "FILE.FILE/MBR.MBR": a path, not a name of this folder
  e->size = e->dir ? 0 : size;
  e->time = t;
  e->name.assign(name);
  return ValidEntryName(e->name);
}

bool ParseTandem(std::string_view line, ListEntry* e) {
  auto tok = Tokens(line, 9);
  if (tok.size() < 6 || line[0] == ' ') return false;
  uint64_t code, eof;
  ListTime t;
  if (!ToU64(At(line, tok[1]), &code) || !ToU64(At(line, tok[2]), &eof) || !DashDate(At(line, tok[3]), &t) ||
      !ParseClock(At(line, tok[4]), &t.hour, &t.minute, &t.second))
    return false;
  std::string_view last = At(line, tok.back());
  if (last.size() < 2 || last.front() != '"' || last.back() != '"') return false;
  *e = ListEntry{};
  e->size = eof;
  e->time = t;
  e->name.assign(At(line, tok[0]));
  return ValidEntryName(e->name);
}

bool ParseZvm(std::string_view line, ListEntry* e) {
  auto tok = Tokens(line, 12);
  if (tok.size() < 8 || line[0] == ' ') return false;
  // FN FT [FM] RECFM LRECL RECORDS BLOCKS DATE TIME [LABEL]
  size_t k = 2;
  std::string_view fm = At(line, tok[2]);
  if (fm.size() == 2 && fm[0] >= 'A' && fm[0] <= 'Z' && fm[1] >= '0' && fm[1] <= '9') k = 3;
  if (k + 5 >= tok.size()) return false;
  std::string_view recfm = At(line, tok[k]);
  if (recfm != "F" && recfm != "V" && recfm != "-") return false;
  uint64_t lrecl = 0, recs = 0;
  for (size_t j = k + 1; j <= k + 3; ++j) {
    std::string_view w = At(line, tok[j]);
    if (w != "-" && !AllDigits(w)) return false;
  }
  ToU64(At(line, tok[k + 1]), &lrecl);
  ToU64(At(line, tok[k + 2]), &recs);
  ListTime t;
  std::string_view d = At(line, tok[k + 4]);
  int a, b, y;
  if (d.size() == 10 && d[4] == '-' && d[7] == '-') {
    if (!ToInt(d.substr(0, 4), &t.year) || !ToInt(d.substr(5, 2), &t.month) || !ToInt(d.substr(8, 2), &t.day))
      return false;
  } else if (d.size() == 8 && d[2] == '/' && d[5] == '/' && ToInt(d.substr(0, 2), &a) && ToInt(d.substr(3, 2), &b) &&
             ToInt(d.substr(6, 2), &y)) {
    t.month = a;
    t.day = b;
    t.year = FullYear(y, 2);
  } else {
    return false;
  }
  if (!ValidDate(t) || !ParseClock(At(line, tok[k + 5]), &t.hour, &t.minute, &t.second)) return false;
  *e = ListEntry{};
  std::string_view fn = At(line, tok[0]), ft = At(line, tok[1]);
  e->dir = ft == "DIR";
  e->name.assign(fn);
  if (!e->dir) {
    e->name += '.';
    e->name.append(ft);
    e->size = lrecl * recs;  // records times record length: exact for F, an upper bound for V
  }
  e->time = t;
  return ValidEntryName(e->name);
}

}  // namespace vel::net::listing
