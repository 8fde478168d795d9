// Listing lines of every family, table-driven: each row is a line as servers send it and the
// entry it must give (or nullptr: the line must be dropped). Then the same lines with a CR, LF,
// NUL or TAB inserted at every position: the line is dropped or gives the same name, never
// another one. Then whole listings through ListingParser (headers, VMS wrapping and versions,
// links resolved by siblings, the entry limit).
#include <cstring>
#include <string>
#include <vector>

#include "net/ftp_listing.h"
#include "support/check.h"

using namespace vel::net;

namespace {

const Today kToday{2024, 6, 15};

struct Row {
  const char* line;
  const char* name;  // nullptr: dropped
  char kind;         // 'f' file, 'd' folder, 'l' link of unknown kind, 'L' link to a folder
  uint64_t size;
  int year, month, day, hour, minute;
};

const Row kRows[] = {
    // Unix "ls -l" and relatives
    {"-rw-r--r--    1 ftp      ftp        1234 Mar 03 12:34 name with  spaces.txt", "name with  spaces.txt", 'f', 1234, 2024, 3, 3, 12, 34},
    {"drwxr-xr-x 2 0 0 4096 Dec 31  2019 old dir", "old dir", 'd', 0, 2019, 12, 31, 0, 0},
    {"-rw-r--r-- 1 owner 5000000000 Jul 20 10:00 nogroup.iso", "nogroup.iso", 'f', 5000000000ull, 2023, 7, 20, 10, 0},
    {"-rw-r--r--+ 1 user staff 12 Feb 29  2024 acl.txt", "acl.txt", 'f', 12, 2024, 2, 29, 0, 0},
    {"-rw-r--r--@ 1 user staff 12 Jan  5 09:00 mac.txt", "mac.txt", 'f', 12, 2024, 1, 5, 9, 0},
    {"-rw-r--r--. 1 root root 0 Jan  5 09:00 selinux", "selinux", 'f', 0, 2024, 1, 5, 9, 0},
    {"crw-rw-rw- 1 root root 1, 3 Jan  1  2020 null", "null", 'f', 0, 2020, 1, 1, 0, 0},
    {"brw-rw---- 1 root disk 8,   0 Jun  1 08:00 sda", "sda", 'f', 0, 2024, 6, 1, 8, 0},
    {"prw-r--r-- 1 u g 0 Jun  1 08:00 fifo", "fifo", 'f', 0, 2024, 6, 1, 8, 0},
    {"-rw-r--r-- 1 1000 1000 77 Jun 14 23:59 numeric-owner", "numeric-owner", 'f', 77, 2024, 6, 14, 23, 59},
    {"-rw-r--r-- 1 user group12345678901 Jan 15 10:30 big.bin", "big.bin", 'f', 12345678901ull, 2024, 1, 15, 10, 30},
    {"-rw-r--r-- 1 user group 1234 2023-01-15 10:30 long-iso.txt", "long-iso.txt", 'f', 1234, 2023, 1, 15, 10, 30},
    {"-rw-r--r-- 1 user group 1234 2023-01-15 10:30:45.123456789 +0100 full-iso.txt", "full-iso.txt", 'f', 1234, 2023, 1, 15, 10, 30},
    {"-rw-r--r-- 1 user group 1234 01-15 10:30 iso-recent.txt", "iso-recent.txt", 'f', 1234, 2024, 1, 15, 10, 30},
    {"-rw-r--r-- 1 user group 1234 2020-01-15 iso-old.txt", "iso-old.txt", 'f', 1234, 2020, 1, 15, 0, 0},
    {"-rw-r--r-- 1 user group 1234  5. M\xc3\xa4r 12:34 datei.txt", "datei.txt", 'f', 1234, 2024, 3, 5, 12, 34},
    {"-rw-r--r-- 1 user group 1234 24. Dez  2019 alt.txt", "alt.txt", 'f', 1234, 2019, 12, 24, 0, 0},
    {"-rw-r--r-- 1 user group 1234 Okt 10 12:00 oktober.txt", "oktober.txt", 'f', 1234, 2023, 10, 10, 12, 0},
    {"-rw-r--r-- 1 user group 1234 Mai  2 07:00 mai.txt", "mai.txt", 'f', 1234, 2024, 5, 2, 7, 0},
    {"-rw-r--r-- 1 user group 1234  5 f\xc3\xa9vr. 12:34 fichier.txt", "fichier.txt", 'f', 1234, 2024, 2, 5, 12, 34},
    {"drwxr-xr-x 2 user group 4096 12 d\xc3\xa9""c.  2022 dossier", "dossier", 'd', 0, 2022, 12, 12, 0, 0},
    {"-rw-r--r-- 1 u g 1  3 ao\xc3\xbbt 11:00 ete.txt", "ete.txt", 'f', 1, 2023, 8, 3, 11, 0},
    {"-rw-r--r-- 1 u g 1 janv. 10 10:00 janvier.txt", "janvier.txt", 'f', 1, 2024, 1, 10, 10, 0},
    {"-rw-r--r-- 1 u g 1 ene 10 10:00 enero.txt", "enero.txt", 'f', 1, 2024, 1, 10, 10, 0},
    {"-rw-r--r-- 1 u g 1 24 dic  2021 navidad.txt", "navidad.txt", 'f', 1, 2021, 12, 24, 0, 0},
    {"-rw-r--r-- 1 u g 1 abr  1 10:00 abril.txt", "abril.txt", 'f', 1, 2024, 4, 1, 10, 0},
    {"-rw-r--r-- 1 u g 1 giu 10 10:00 giugno.txt", "giugno.txt", 'f', 1, 2024, 6, 10, 10, 0},
    {"-rw-r--r-- 1 u g 1 15 ott  2020 ottobre.txt", "ottobre.txt", 'f', 1, 2020, 10, 15, 0, 0},
    {"-rw-r--r-- 1 u g 1 lug  4 10:00 luglio.txt", "luglio.txt", 'f', 1, 2023, 7, 4, 10, 0},
    {"-rw-r--r-- 1 u g 1 mrt  3 10:00 maart.txt", "maart.txt", 'f', 1, 2024, 3, 3, 10, 0},
    {"-rw-r--r-- 1 u g 1 12 mei 09:00 mei.txt", "mei.txt", 'f', 1, 2024, 5, 12, 9, 0},
    {"-rw-r--r-- 1 u g 1 maj 12 09:00 maj.txt", "maj.txt", 'f', 1, 2024, 5, 12, 9, 0},
    {"-rw-r--r-- 1 u g 1 okt  1  2019 okt.txt", "okt.txt", 'f', 1, 2019, 10, 1, 0, 0},
    {"-rw-r--r-- 1 u g 1 \xd0\xbc\xd0\xb0\xd1\x80  3 10:00 mart.txt", "mart.txt", 'f', 1, 2024, 3, 3, 10, 0},
    {"-rw-r--r-- 1 u g 1  5 \xd0\xbc\xd0\xb0\xd1\x8f 10:00 maya.txt", "maya.txt", 'f', 1, 2024, 5, 5, 10, 0},
    {"-rw-r--r-- 1 u g 1 \xd0\x94\xd0\xb5\xd0\xba 31  2020 dek.txt", "dek.txt", 'f', 1, 2020, 12, 31, 0, 0},
    {"-rw-r--r-- 1 u g 1234  1\xe6\x9c\x88 15 10:30 \xe6\x97\xa5\xe6\x9c\xac.txt", "\xe6\x97\xa5\xe6\x9c\xac.txt", 'f', 1234, 2024, 1, 15, 10, 30},
    {"drwxr-xr-x 2 u g 4096 12\xe6\x9c\x88 24  2020 folder-ja", "folder-ja", 'd', 0, 2020, 12, 24, 0, 0},
    {"-rw-r--r-- 1 u g 1 3\xe6\x9c\x88 5\xe6\x97\xa5 10:30 hi.txt", "hi.txt", 'f', 1, 2024, 3, 5, 10, 30},
    {"-rw-r--r-- 1 u g 1 10\xec\x9b\x94 9 10:30 hangul.txt", "hangul.txt", 'f', 1, 2023, 10, 9, 10, 30},
    {"-rw-r--r-- 1 u g 1 2020\xe5\xb9\xb4 1\xe6\x9c\x88 5\xe6\x97\xa5 zh-year.txt", "zh-year.txt", 'f', 1, 2020, 1, 5, 0, 0},
    {"-rw-r--r-- 1 u g 1 Jan  5 24:00 midnight.txt", "midnight.txt", 'f', 1, 2024, 1, 6, 0, 0},
    {"-rwxr-x- 1 u g 1 Jan  5 10:00 eight.txt", "eight.txt", 'f', 1, 2024, 1, 5, 10, 0},
    {"--rw-r--r-- M 4 glenda glenda 1234 Jan  5 10:00 plan9.txt", "plan9.txt", 'f', 1234, 2024, 1, 5, 10, 0},
    {"d-rwxrwxr-x M 4 glenda glenda 0 Jan  5 10:00 plan9dir", "plan9dir", 'd', 0, 2024, 1, 5, 10, 0},
    {"-rw-r--r-- 1 u g 1 Jan  5 10:00  leading blank", " leading blank", 'f', 1, 2024, 1, 5, 10, 0},
    {"-rw-r--r-- 1 u g 1 Jan 05 2020  padded.txt", "padded.txt", 'f', 1, 2020, 1, 5, 0, 0},
    {"-rw-r--r-- 1 u g 1 Jan 05  2020  right.txt", " right.txt", 'f', 1, 2020, 1, 5, 0, 0},
    {"-rw-r--r-- 1 u g 1 Jan  5 12:34:56 2020 full-time.txt", "full-time.txt", 'f', 1, 2020, 1, 5, 12, 34},
    {"-------r--         326  1391972  1392298 Nov 22  1995 MegaPhone.sit", "MegaPhone.sit", 'f', 1392298, 1995, 11, 22, 0, 0},
    {"drwxrwxr-x               folder        2 May 10  1996 network", "network", 'd', 0, 1996, 5, 10, 0, 0},
    {"-r--r--r--   1 owner    group           12345 Sep 12 17:34 nt.txt", "nt.txt", 'f', 12345, 2023, 9, 12, 17, 34},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00 \xc5\x81\xc3\xb3\x64\xc5\xba.txt", "\xc5\x81\xc3\xb3\x64\xc5\xba.txt", 'f', 5, 2024, 1, 1, 12, 0},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00 Jan  1 12:00 x", "Jan  1 12:00 x", 'f', 5, 2024, 1, 1, 12, 0},
    // Unix dates: numeric, slashed, dotted, day first, lower-case months, short minutes, none
    {"-rw-r--r-- 1 ftp ftp 2048 3 29 03:26 numeric-md.log", "numeric-md.log", 'f', 2048, 2024, 3, 29, 3, 26},
    {"drwxr-xr-x 2 ftp ftp 4096 11 2 17:05 numeric-dir", "numeric-dir", 'd', 0, 2023, 11, 2, 17, 5},
    {"-rw-r--r-- 1 ftp ftp 2048 13 29 03:26 month13.log", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 2048 3 32 03:26 day32.log", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 2048 3 29 2019 numeric-year-is-no-clock", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 03-29 2019 md-year.txt", "md-year.txt", 'f', 77, 2019, 3, 29, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 13-29 2019 md-month13.txt", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 2021/08/30 14:02 slashed.txt", "slashed.txt", 'f', 77, 2021, 8, 30, 14, 2},
    {"drwxr-xr-x 3 ftp ftp 512 2021/08/30 14:02 slashed dir", "slashed dir", 'd', 0, 2021, 8, 30, 14, 2},
    {"-rw-r--r-- 1 ftp ftp 77 2021/13/30 14:02 slashed13.txt", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 30-08-2021 14:02 dayfirst.txt", "dayfirst.txt", 'f', 77, 2021, 8, 30, 14, 2},
    {"-rw-r--r-- 1 ftp ftp 77 32-08-2021 14:02 dayfirst32.txt", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 2022.04.09 dotted.txt", "dotted.txt", 'f', 77, 2022, 4, 9, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 2022-04-09 50:30 not-a-clock", "50:30 not-a-clock", 'f', 77, 2022, 4, 9, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 2022.04.09 08:15 dotted-time.txt", "dotted-time.txt", 'f', 77, 2022, 4, 9, 8, 15},
    {"-rw-r--r-- 1 ftp ftp 77 0000.04.09 08:15 year0.txt", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 07-mar-21 dmy.txt", "dmy.txt", 'f', 77, 2021, 3, 7, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 07-mar-21 16:40 dmy-time.txt", "dmy-time.txt", 'f', 77, 2021, 3, 7, 16, 40},
    {"-rw-r--r-- 1 ftp ftp 77 07-xyz-21 16:40 dmy-bad.txt", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 26. Juli, 20:10 komma.txt", "komma.txt", 'f', 77, 2023, 7, 26, 20, 10},
    {"-rw-r--r-- 1 ftp ftp 77 3. Dez, 2020 komma-alt.txt", "komma-alt.txt", 'f', 77, 2020, 12, 3, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 m\xc3\xa1rc 14 09:12 marcius.txt", "marcius.txt", 'f', 77, 2024, 3, 14, 9, 12},
    {"-rw-r--r-- 1 ftp ftp 77 szept 2 2019 szeptember.txt", "szeptember.txt", 'f', 77, 2019, 9, 2, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 j\xc3\xban 1 06:00 junius.txt", "junius.txt", 'f', 77, 2024, 6, 1, 6, 0},
    {"-rw-r--r-- 1 ftp ftp 77 pa\xc5\xba 9 12:00 pazdziernik.txt", "pazdziernik.txt", 'f', 77, 2023, 10, 9, 12, 0},
    {"-rw-r--r-- 1 ftp ftp 77 lut 28 12:00 luty.txt", "luty.txt", 'f', 77, 2024, 2, 28, 12, 0},
    {"-rw-r--r-- 1 ftp ftp 77 des 24 2018 desember.txt", "desember.txt", 'f', 77, 2018, 12, 24, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 \xc5\x9fub 3 12:00 subat.txt", "subat.txt", 'f', 77, 2024, 2, 3, 12, 0},
    {"-rw-r--r-- 1 ftp ftp 77 2019\xc7\xaf 4\xb7\xee 1\xc6\xfc eucjp.txt", "eucjp.txt", 'f', 77, 2019, 4, 1, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 11\xb7\xee 3\xc6\xfc 09:30 eucjp-md.txt", "eucjp-md.txt", 'f', 77, 2023, 11, 3, 9, 30},
    {"-rw-r--r-- 1 ftp ftp 77 2019\x94\x4e 4\x8c\x8e 1\x93\xfa sjis.txt", "sjis.txt", 'f', 77, 2019, 4, 1, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 2017\xc4\xea 8\xd4\xc2 15\xc8\xd5 gbk.txt", "gbk.txt", 'f', 77, 2017, 8, 15, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 2016\xa6\x7e 10\xa4\xeb 10\xa4\xe9 big5.txt", "big5.txt", 'f', 77, 2016, 10, 10, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 5\xa4\xeb 20\xa4\xe9 18:45 big5-md.txt", "big5-md.txt", 'f', 77, 2024, 5, 20, 18, 45},
    {"-rw-r--r-- 1 ftp ftp 77 2015\xb3\xe2 7\xbf\xf9 9\xc0\xcf euckr.txt", "euckr.txt", 'f', 77, 2015, 7, 9, 0, 0},
    {"-rw-r--r-- 1 ftp ftp 77 12\xbf\xf9 31\xc0\xcf 23:00 euckr-md.txt", "euckr-md.txt", 'f', 77, 2023, 12, 31, 23, 0},
    {"-rw-r--r-- 1 ftp ftp 77 2015\xe5\xb9\xb4 13\xe6\x9c\x88 9\xe6\x97\xa5 month13-ja.txt", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"drwx------ 1 sshuser staff 0 Feb 14, 2008 21:33 Documents/", "Documents", 'd', 0, 2008, 2, 14, 21, 33},
    {"-rwx------ 1 sshuser staff 4410 Sep 03, 2019 07:05 notes.md", "notes.md", 'f', 4410, 2019, 9, 3, 7, 5},
    {"-rwx------ 1 sshuser staff 4410 Sep 03, 2019 07:05 slash-file/", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rwx------ 1 sshuser staff 4410 Sep 33, 2019 07:05 day33.md", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 root root 310 Jan 1 00:0 boot.cfg", "boot.cfg", 'f', 310, 2024, 1, 1, 0, 0},
    {"-rw-r--r-- 1 root root 310 Apr 9 13:7 cal.dat", "cal.dat", 'f', 310, 2024, 4, 9, 13, 7},
    {"-rw-r--r-- 1 root root 310 Apr 9 13:70 bad-minute.dat", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 root root 8812 nodate.bin", "nodate.bin", 'f', 8812, 0, 0, 0, 0, 0},
    {"drwxr-xr-x 4 root root 1024 nodate-dir", "nodate-dir", 'd', 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 root root 8812 two words", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 root root 8812 Jan", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 root root 8812  lead", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 u g 1 Mar  9 24:00 next-day.txt", "next-day.txt", 'f', 1, 2024, 3, 10, 0, 0},
    {"-rw-r--r-- 1 u g 1 Dec 31 24:00 next-year.txt", "next-year.txt", 'f', 1, 2024, 1, 1, 0, 0},
    {"-rw-r--r-- 1 u g 1 Jan  5 24:01 past-midnight.txt", nullptr, 0, 0, 0, 0, 0, 0, 0},
    // Unix sizes and owners: units, owner and group run into the size, numeric listings, odd modes
    {"-rw-r--r-- 1 pi pi 33.5k Jan  5 10:00 approx.txt", "approx.txt", 'f', 34304, 2024, 1, 5, 10, 0},
    {"-rw-r--r-- 1 pi pi 2M Jan  5 10:00 two-mega.img", "two-mega.img", 'f', 2097152, 2024, 1, 5, 10, 0},
    {"-rw-r--r-- 1 pi pi 1.5G Jan  5 10:00 giga.iso", "giga.iso", 'f', 1610612736ull, 2024, 1, 5, 10, 0},
    {"drwxr-xr-x 2 pi pi 4.0K Jan  5 10:00 kdir", "kdir", 'd', 0, 2024, 1, 5, 10, 0},
    {"-rw-r--r-- 1 pi pi 1.25k Jan  5 10:00 two-decimals.txt", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 pi pi 3X Jan  5 10:00 bad-unit.txt", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"lrwxrwxrwx 1 pi pi 1k Jan  5 10:00 l -> t", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 webadmin longgroup123456 Feb 11 08:30 joined.dat", "joined.dat", 'f', 123456, 2024, 2, 11, 8, 30},
    {"-rw-r--r-- 1 webadmin longgroup123456 99 Feb 11 08:30 extra-field.dat", "extra-field.dat", 'f', 99, 2024, 2, 11, 8, 30},
    {"-rw-r--r-- 1 webadmin grp123456 Feb 11 08:30 short-group.dat", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 webadmin longgroup Feb 11 08:30 no-size.dat", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 u g 184467440737095516160 Jan  1 12:00 over64", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"100644 1000 100 20480 1700000000 numeric.tar", "numeric.tar", 'f', 20480, 2023, 11, 14, 22, 13},
    {"40755 0 0 4096 1600000000 numeric dir", "numeric dir", 'd', 0, 2020, 9, 13, 12, 26},
    {"120777 0 0 6 1600000000 cur -> v2.1.0", "cur", 'l', 6, 2020, 9, 13, 12, 26},
    {"100648 1000 100 20480 1700000000 not-octal", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"060644 1000 100 0 1700000000 block-device", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"100644 1000 100 20480 99999999999999 far-future", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rwxrwxrw 1 u g 12 Mar  1 10:00 nine-chars.sh", "nine-chars.sh", 'f', 12, 2024, 3, 1, 10, 0},
    {"Mrw-r--r-- 1 hsm hsm 88000 Mar  1 10:00 migrated.dat", "migrated.dat", 'f', 88000, 2024, 3, 1, 10, 0},
    {"Crw-r--r-- 1 rt rt 4096 Mar  1 10:00 contiguous.db", "contiguous.db", 'f', 4096, 2024, 3, 1, 10, 0},
    {"Hrwxr-xr-x 2 root sys 1024 Mar  1 10:00 cdf", "cdf", 'd', 0, 2024, 3, 1, 10, 0},
    {"Prw------- 1 root root 0 Mar  1 10:00 port", "port", 'f', 0, 2024, 3, 1, 10, 0},
    {"Zrw-r--r-- 1 u g 12 Mar  1 10:00 unknown-type", nullptr, 0, 0, 0, 0, 0, 0, 0},
    // links: the arrow, several arrows told apart by the size, a folder target
    {"lrwxrwxrwx 1 u g 7 Jan  5 12:34 pub -> vol/pub", "pub", 'l', 7, 2024, 1, 5, 12, 34},
    {"lrwxrwxrwx 1 u g 6 Jan  5 12:34 a -> b -> c", "a", 'l', 6, 2024, 1, 5, 12, 34},
    {"lrwxrwxrwx 1 u g 1 Jan  5 12:34 a -> b -> c", "a -> b", 'l', 1, 2024, 1, 5, 12, 34},
    {"lrwxrwxrwx 1 u g 4 Jan  5 12:34 a -> b -> c", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"lrwxrwxrwx 1 u g 8 Jan  1 00:00 dirlink -> target/", "dirlink", 'L', 8, 2024, 1, 1, 0, 0},
    // NetWare
    {"d [R----F--] supervisor            512       Jan 16 18:53    login", "login", 'd', 0, 2024, 1, 16, 18, 53},
    {"- [RWCEAFMS] rhesus             214059       Oct 20 15:27    cx.exe", "cx.exe", 'f', 214059, 2023, 10, 20, 15, 27},
    {"d [-W---F--] SCION_VOL2                        512 Apr 13 23:12 VOL2", "VOL2", 'd', 0, 2024, 4, 13, 23, 12},
    {"- [RWCEAFMS] rhesus             214059       Oct 20 15:27    trail  ", "trail  ", 'f', 214059, 2023, 10, 20, 15, 27},
    // a run of five or three blanks: no layout the form prints, the name's own blanks unknown
    {"- [RWCEAFMS] rhesus             214059       Oct 20 15:27     lead", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"- [RWCEAFMS] rhesus             214059       Oct 20 15:27   three", nullptr, 0, 0, 0, 0, 0, 0, 0},
    // MS-DOS / IIS
    {"01-31-23  10:30PM       <DIR>          Program Files", "Program Files", 'd', 0, 2023, 1, 31, 22, 30},
    {"12-01-1999  12:05AM             4096 readme.txt", "readme.txt", 'f', 4096, 1999, 12, 1, 0, 5},
    {"2023-01-31  22:30           1,234,567 big file.iso", "big file.iso", 'f', 1234567, 2023, 1, 31, 22, 30},
    {"31.01.2023  22:30    <DIR>          Ordner", "Ordner", 'd', 0, 2023, 1, 31, 22, 30},
    {"01/31/2023  09:15 AM           1.024 ami.txt", "ami.txt", 'f', 1024, 2023, 1, 31, 9, 15},
    {"04-27-00  09:09PM       <DIR>          licensed", "licensed", 'd', 0, 2000, 4, 27, 21, 9},
    {"04-14-00  03:47PM                  589 readme.htm", "readme.htm", 'f', 589, 2000, 4, 14, 15, 47},
    {"12-01-99  12:05AM        0  leading", " leading", 'f', 0, 1999, 12, 1, 0, 5},
    {"01-31-23  10:30PM       <JUNCTION>     link [target]", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"13-01-99  12:05AM  1 bad-month", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"01-31-23  13:30PM  1 bad-clock", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"02-30-23  10:30  1 feb30", nullptr, 0, 0, 0, 0, 0, 0, 0},
    // OS/2
    {"     0           DIR   12-18-96   19:12  PRJ", "PRJ", 'd', 0, 1996, 12, 18, 19, 12},
    {"    73098      A          04-06-97   15:15  ds0.txt", "ds0.txt", 'f', 73098, 1997, 4, 6, 15, 15},
    {"  1234           08-07-98   14:03  NO ATTR.TXT", "NO ATTR.TXT", 'f', 1234, 1998, 8, 7, 14, 3},
    {"     0           DIR   04-23-103  09:41  NEWDIR", "NEWDIR", 'd', 0, 2003, 4, 23, 9, 41},
    {"   4512      A          11-02-110  17:20  REPORT.DOC", "REPORT.DOC", 'f', 4512, 2010, 11, 2, 17, 20},
    {"   4512      A          11-02-210  17:20  Y2100.DOC", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"   4512      A          13-02-103  17:20  MONTH13.DOC", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"36611      A    04-23-103   10:57  os2 test1.file", "os2 test1.file", 'f', 36611, 2003, 4, 23, 10, 57},
    {"    0 DIR       11-28-97   09:42 one blank", "one blank", 'd', 0, 1997, 11, 28, 9, 42},
    {"   4512      A          11-02-110  17:20   LEAD.DOC", nullptr, 0, 0, 0, 0, 0, 0, 0},
    // EPLF
    {"+i8388621.48594,m825718503,r,s280,\tdjb.html", "djb.html", 'f', 280, 1996, 3, 1, 22, 15},
    {"+i8388621.50690,m824255907,/,\t514", "514", 'd', 0, 1996, 2, 13, 23, 58},
    {"+i8388621.48598,m824253270,r,s612,\t514.html", "514.html", 'f', 612, 1996, 2, 13, 23, 14},
    {"+m825718503,s280,\tnoflags", nullptr, 0, 0, 0, 0, 0, 0, 0},
    // VMS
    {"CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)", "CII-MANUAL.TEX", 'f', 213 * 512, 1996, 1, 29, 3, 33},
    {"SUBDIR.DIR;1          1/3        5-MAY-1999 11:27:14  [ANONYMOU,ANONYMOUS]  (RWE,RWE,RE,RE)", "SUBDIR", 'd', 0, 1999, 5, 5, 11, 27},
    {"00README.TXT;1      2 30-DEC-1996 17:44 [SYSTEM] (RWED,RWED,RE,RE)", "00README.TXT", 'f', 1024, 1996, 12, 30, 17, 44},
    {"CORE.DIR;1          1  8-SEP-1996 16:09 [SYSTEM] (RWE,RWE,RE,RE)", "CORE", 'd', 0, 1996, 9, 8, 16, 9},
    {"SECRET.DAT;3    %RMS-E-PRV, insufficient privilege or file protection violation", "SECRET.DAT", 'f', 0, 0, 0, 0, 0, 0},
    {"LOGIN.COM;4           3  12-MAR-2002  [WEBUSER]  (RWED,RWED,RE,)", "LOGIN.COM", 'f', 1536, 2002, 3, 12, 0, 0},
    {"NOTIME.LIS;1          7  30-NOV-2010", "NOTIME.LIS", 'f', 3584, 2010, 11, 30, 0, 0},
    {"NOTIME.LIS;1          7  30-NOV-2010  junk", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"OWNED.TXT;2  [WEBUSER]  14/18  3-APR-2005 16:20:01  (RWED,RWED,R,)", "OWNED.TXT", 'f', 7168, 2005, 4, 3, 16, 20},
    {"TOOLS.DIR;1  [SYSTEM]  1/3  3-APR-2005 16:20:01  (RWE,RWE,RE,RE)", "TOOLS", 'd', 0, 2005, 4, 3, 16, 20},
    {"SIZED.ZIP;1         120KB  18-JUL-2016 10:02:45  [WEBUSER]  (RWED,RWED,RE,)", "SIZED.ZIP", 'f', 122880, 2016, 7, 18, 10, 2},
    {"SIZED.ZIP;1         120MB  18-JUL-2016 10:02:45  [WEBUSER]  (RWED,RWED,RE,)", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"BADDAY.TXT;1          1  32-JAN-2016 10:02:45  [WEBUSER]  (RWED,RWED,RE,)", nullptr, 0, 0, 0, 0, 0, 0, 0},
    // MVS datasets (a PDS is a folder)
    {"WYOSPT 3420   2003/05/21  1  200  FB      80  8000  PS  PROJECT.TEST.DATA", "PROJECT.TEST.DATA", 'f', 0, 2003, 5, 21, 0, 0},
    {"WYOSPT 3420   2003/05/21  1  200  FB      80  6160  PO  PROJECT.SOURCE", "PROJECT.SOURCE", 'd', 0, 2003, 5, 21, 0, 0},
    {"Migrated                                                OLD.DATA", "OLD.DATA", 'f', 0, 0, 0, 0, 0, 0},
    {"Migrated                                                PAYROLL.Y2019.MASTER", "PAYROLL.Y2019.MASTER", 'f', 0, 0, 0, 0, 0, 0},
    {"Migrated                                                TWO NAMES", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"SCR003 3390   **NONE**    1   15  FB      80  27920  PS  OPS.EMPTY.SEQ", "OPS.EMPTY.SEQ", 'f', 0, 0, 0, 0, 0, 0},
    {"SCR003 3390   **NONE**    1   15  U        0  6144  PO  OPS.LOADLIB", "OPS.LOADLIB", 'd', 0, 0, 0, 0, 0, 0},
    {"SCR003 3390   2019/02/30  1   15  FB      80  27920  PS  OPS.FEB30", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"SCR003 3390   **SOME**    1   15  FB      80  27920  PS  OPS.STARS", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"VSM012 3390                                       VSAM  OPS.CUSTOMER.KSDS", "OPS.CUSTOMER.KSDS", 'f', 0, 0, 0, 0, 0, 0},
    {"VSM012 3390                                       VSAM  OPS.A OPS.B", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"T40021 Tape                                             OPS.ARCHIVE.G0042V00", "OPS.ARCHIVE.G0042V00", 'f', 0, 0, 0, 0, 0, 0},
    {"Pseudo Directory                                        PROJECT", "PROJECT", 'd', 0, 0, 0, 0, 0, 0},
    {"ADDRESSB  01.03 2002/09/12 2002/10/11 09:37    52    52     0 KIMBERB", "ADDRESSB", 'f', 0, 2002, 10, 11, 9, 37},
    // AS/400
    {"QSYS            77824 02/23/00 15:09:55 *DIR       QSYS.LIB/", "QSYS.LIB", 'd', 0, 2000, 2, 23, 15, 9},
    {"QDOC             8192 07/14/99 10:49:04 *FLR       QDOC/", "QDOC", 'd', 0, 1999, 7, 14, 10, 49},
    {"MYUSER          12345 03/15/01 09:30:00 *STMF      report.txt", "report.txt", 'f', 12345, 2001, 3, 15, 9, 30},
    {"MYUSER                                  *MEM       MYLIB.FILE/MBR.MBR", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"QPGMR           40960 21.03.19 08:12:44 *STMF      rechnung.pdf", "rechnung.pdf", 'f', 40960, 2019, 3, 21, 8, 12},
    {"QPGMR            8192 05.11.98 16:00:00 *DIR       archiv/", "archiv", 'd', 0, 1998, 11, 5, 16, 0},
    {"QPGMR           40960 05.13.19 08:12:44 *STMF      month13.pdf", nullptr, 0, 0, 0, 0, 0, 0, 0},
    // VxWorks
    {"     512    Jan  1 1980  00:00:00    tmp           <DIR>", "tmp", 'd', 0, 1980, 1, 1, 0, 0},
    {"    8192    Jul 17 2001  11:50:06    file.txt", "file.txt", 'f', 8192, 2001, 7, 17, 11, 50},
    {"     1024    Tue Mar  4 2008  07:15:30    logs        <DIR>", "logs", 'd', 0, 2008, 3, 4, 7, 15},
    {"    31337    Fri Nov 21 2014  22:04:11    vxWorks.st", "vxWorks.st", 'f', 31337, 2014, 11, 21, 22, 4},
    {"    31337    Fri Nov 31 2014  22:04:11    nov31.st", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"    48213    OCT-01-2003  19:57:52    boot.cfg", "boot.cfg", 'f', 48213, 2003, 10, 1, 19, 57},
    {"      512    Sep-09-2011  08:00:00    CONFIG      <DIR>", "CONFIG", 'd', 0, 2011, 9, 9, 8, 0},
    {"      512    Sep-32-2011  08:00:00    day32", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"      512    Xyz-09-2011  08:00:00    nomonth", nullptr, 0, 0, 0, 0, 0, 0, 0},
    // HP NonStop
    {"ALTERNAT        101         12 10-Jan-01 12:48:04 MSFT01.USER1  \"OOOO\"", "ALTERNAT", 'f', 12, 2001, 1, 10, 12, 48},
    {"TEST            101     28672 12-Jun-02 13:51:09 255,255 \"nnnn\"", "TEST", 'f', 28672, 2002, 6, 12, 13, 51},
    // z/VM
    {"PROFILE  EXEC     A1 V         72          8          1 2003-02-05 14:38:08 -", "PROFILE.EXEC", 'f', 576, 2003, 2, 5, 14, 38},
    {"README   TXT      V         80         22          1 1999-05-01 12:00:00 VMUSER", "README.TXT", 'f', 1760, 1999, 5, 1, 12, 0},
    {"SUBDIR   DIR      -          -          -          - 2003-02-05 14:38:08 -", "SUBDIR", 'd', 0, 2003, 2, 5, 14, 38},
    // OS-9
    {"  0.0     95/03/20 1137   d-ewrewr       A0      4160 CMDS", "CMDS", 'd', 0, 1995, 3, 20, 11, 37},
    {"  0.0     95/03/20 1139   ------wr      A5E      2351 startup", "startup", 'f', 2351, 1995, 3, 20, 11, 39},
    // never an entry
    {"total 12", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"ls: cannot open directory .: Permission denied", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00 ../x", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00 a/b", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00 ..", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"01-31-23  10:30PM       <DIR>          a\\b", "a\\b", 'd', 0, 2023, 1, 31, 22, 30},
    {"01-31-23  10:30PM       <DIR>            two", "  two", 'd', 0, 2023, 1, 31, 22, 30},
    {"01-31-23  10:30PM       <DIR>   narrow", "narrow", 'd', 0, 2023, 1, 31, 22, 30},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00 ..\\evil.txt", "..\\evil.txt", 'f', 5, 2024, 1, 1, 12, 0},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00 tab\there", "tab\there", 'f', 5, 2024, 1, 1, 12, 0},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00   ", "  ", 'f', 5, 2024, 1, 1, 12, 0},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00 trail  ", "trail  ", 'f', 5, 2024, 1, 1, 12, 0},
    {"-rw-r--r-- 1 u g 5 Jan  1  2020   ", "  ", 'f', 5, 2020, 1, 1, 0, 0},
    {"-rw-r--r-- 1 u g 5 Jan 05 2020 unpadded", "unpadded", 'f', 5, 2020, 1, 5, 0, 0},
    {"-rw-r--r-- 1 u g 5 Jan 05 2020    ", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 u g 5 Jan 05 2020    x", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00 cr\rx", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 u g 5 Jan  1 12:00 esc\x1bx", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"-rw-r--r-- 1 u g 99999999999999999999999 Jan  1 12:00 toolarge", nullptr, 0, 0, 0, 0, 0, 0, 0},
    {"garbage line", nullptr, 0, 0, 0, 0, 0, 0, 0},
};

void CheckRow(const Row& r, const ListEntry& e) {
  CHECK_EQ(e.name, std::string(r.name));
  char kind = e.link ? (e.linkKnown && e.dir ? 'L' : 'l') : (e.dir ? 'd' : 'f');
  CHECK_EQ(kind, r.kind);
  CHECK_EQ(e.size, r.size);
  CHECK_EQ(e.time.year, r.year);
  if (r.year) {
    CHECK_EQ(e.time.month, r.month);
    CHECK_EQ(e.time.day, r.day);
    CHECK_EQ(e.time.hour, r.hour);
    CHECK_EQ(e.time.minute, r.minute);
  }
}

std::vector<ListEntry> Listing(const std::vector<std::string>& lines, bool mlsd = false) {
  ListingParser p(kToday, mlsd);
  for (const std::string& l : lines) p.Line(l);
  p.Finish();
  return p.Take();
}

}  // namespace

TEST_CASE("listing table: every family, one line at a time") {
  for (const Row& r : kRows) {
    ListEntry e;
    bool ok = ParseListLine(r.line, kToday, &e);
    if (!r.name) {
      if (ok) printf("  line %s gave %s\n", r.line, e.name.c_str());
      CHECK(!ok);
      continue;
    }
    if (!ok) printf("  line not read: %s\n", r.line);
    REQUIRE(ok);
    CheckRow(r, e);
    // The same line with a CR LF end and inside a listing of its own.
    CHECK(ParseListLine(std::string(r.line) + "\r\n", kToday, &e) && e.name == r.name);
    auto all = Listing({r.line});
    CHECK(all.size() == 1 && all[0].name == r.name);
  }
}

TEST_CASE("listing table: a CR, LF, NUL or TAB anywhere gives the same name, that text of the line, or none") {
  const char inserts[] = {'\r', '\n', '\0', '\t'};
  for (const Row& r : kRows) {
    if (!r.name) continue;
    std::string line = r.line;
    for (char c : inserts) {
      for (size_t at = 0; at <= line.size(); ++at) {
        std::string bad = line;
        bad.insert(at, 1, c);
        // Through a listing, as the bytes come: an LF splits the line in two.
        for (const ListEntry& e : Listing({bad.substr(0, bad.find('\n')), bad.find('\n') == std::string::npos
                                                                             ? std::string()
                                                                             : bad.substr(bad.find('\n') + 1)})) {
          CHECK(ValidEntryName(e.name));
          // A name comes out whole or not at all. An LF makes two lines the server sent: each is
          // read on its own, and a name can only be text of the line. A TAB is a byte a name may
          // hold: a name with one is text of the line it is in.
          const bool tabbed = c == '\t' && e.name.find(c) != std::string::npos;
          if (!tabbed) CHECK(e.name.find(c) == std::string::npos);
          const std::string& text = tabbed ? bad : line;
          bool same = e.name == r.name;
          bool fromLine = c == '\n' || tabbed;
          size_t from = 0;  // z/VM joins two fields with "."
          for (size_t dot; fromLine && from <= e.name.size(); from = dot + 1) {
            dot = e.name.find('.', from);
            if (dot == std::string::npos) dot = e.name.size();
            fromLine = text.find(e.name.substr(from, dot - from)) != std::string::npos;
          }
          if (!(same || fromLine)) printf("  '%s' with %d at %zu gave '%s'\n", r.line, c, at, e.name.c_str());
          CHECK(same || fromLine);
        }
      }
    }
  }
}

TEST_CASE("listing: MLSD facts in any order, TAB or blank before the name") {
  struct M {
    const char* line;
    const char* name;
    char kind;
    uint64_t size;
  } rows[] = {
      {"type=file;size=6000000000;modify=20240102030405; big file.iso", "big file.iso", 'f', 6000000000ull},
      {"Type=dir;Modify=20240102030405;unique=801U2; sub", "sub", 'd', 0},
      {"modify=20240102030405;perm=adfr;size=12;type=file;unique=803U1;UNIX.group=0;UNIX.mode=0644;UNIX.owner=0; reordered.txt",
       "reordered.txt", 'f', 12},
      {"type=file;size=3;\ttabbed.txt", "tabbed.txt", 'f', 3},
      {"type=OS.unix=slink:/srv/x/;size=3; l", "l", 'L', 0},
      {"type=OS.unix=symlink;size=3; ln", "ln", 'l', 3},
      {"UNIX.mode=040755;size=4096; modedir", "modedir", 'd', 0},
      {"type=file;UNIX.ownername=John Doe;size=1; spaced owner.txt", "spaced owner.txt", 'f', 1},
      {"type=file;size=1;  two blanks", " two blanks", 'f', 1},
      {"type=cdir; .", nullptr, 0, 0},
      {"type=pdir; ..", nullptr, 0, 0},
      {"size=1; untyped", nullptr, 0, 0},
      {"type=file;size=1; a/b", nullptr, 0, 0},
      {"type=file;size=1; cr\rx", nullptr, 0, 0},
  };
  for (const M& r : rows) {
    ListEntry e;
    bool ok = ParseMlsdLine(r.line, &e);
    CHECK_EQ(ok, r.name != nullptr);
    if (!ok || !r.name) continue;
    CHECK_EQ(e.name, std::string(r.name));
    char kind = e.link ? (e.linkKnown && e.dir ? 'L' : 'l') : (e.dir ? 'd' : 'f');
    CHECK_EQ(kind, r.kind);
    CHECK_EQ(e.size, r.size);
  }
  ListEntry e;
  REQUIRE(ParseMlsdLine("type=file;modify=20240102030405; t", &e));
  CHECK(e.time.utc && e.time.year == 2024 && e.time.second == 5);
}

TEST_CASE("listing parser: VMS headers, wrapped entries and versions") {
  auto e = Listing({"Directory DISK$USER:[ANONYMOUS]", "",
                    "LONG-FILENAME-THAT-WRAPS.TXT;1",
                    "                      5/6       20-FEB-2001 09:00:00  [ANONYMOU,ANONYMOUS]  (RWED,RWED,RE,)",
                    "FILE.TXT;2  1  1-JAN-2001 00:00 [X] (RWED,,,)", "FILE.TXT;1  1  1-JAN-2000 00:00 [X] (RWED,,,)",
                    "ORPHAN.TXT;1", "", "Total of 3 files, 7/9 blocks."});
  REQUIRE(e.size() == 2);
  CHECK_EQ(e[0].name, std::string("LONG-FILENAME-THAT-WRAPS.TXT"));
  CHECK_EQ(e[0].size, 5u * 512);
  CHECK(e[1].name == "FILE.TXT" && e[1].time.year == 2001);
}

TEST_CASE("listing parser: MVS headers, PDS members, Tandem and OS-9 headers") {
  auto ds = Listing({"Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname",
                     "WYOSPT 3420   2003/05/21  1  200  FB      80  8000  PS  'QUOTED.NAME'"});
  REQUIRE(ds.size() == 1);
  CHECK_EQ(ds[0].name, std::string("QUOTED.NAME"));
  auto members = Listing({" Name     VV.MM   Created       Changed      Size  Init   Mod   Id",
                          "ADDRESSB  01.03 2002/09/12 2002/10/11 09:37    52    52     0 KIMBERB", "BACKUP",
                          "TOOLONGNAME9"});
  REQUIRE(members.size() == 2);
  CHECK(members[0].name == "ADDRESSB" && members[1].name == "BACKUP");
  // Without the header a bare word is no member.
  CHECK(Listing({"BACKUP"}).empty());
  auto tandem = Listing({"File         Code             EOF  Last Modification    RWEP",
                         "ALTERNAT        101         12 10-Jan-01 12:48:04 MSFT01.USER1  \"OOOO\""});
  CHECK(tandem.size() == 1 && tandem[0].name == "ALTERNAT");
  auto os9 = Listing({"                            Directory of .  12:27:52",
                      " Owner    Last modified    Attributes Sector Bytecount Name",
                      "-------   ---------------  ---------- ------ --------- ----",
                      "  0.0     95/03/20 1137   d-ewrewr       A0      4160 CMDS"});
  CHECK(os9.size() == 1 && os9[0].name == "CMDS" && os9[0].dir);
}

TEST_CASE("listing parser: load-module members, and lines no member list holds") {
  auto mods = Listing({" Name     Size     TTR   Alias-of AC--------- Attributes--------- Amode Rmode",
                       "PAYCALC   0017A8   00002C          00 FO             RN RU      31    ANY",
                       "PAYCALC2  0017A8   00002C PAYCALC  00 FO             RN RU      31    ANY",
                       "BADHEX    00G7A8   00002C          00 FO             RN RU      31    ANY",
                       "TWO WORDS", "SHORT"});
  REQUIRE(mods.size() == 3);
  CHECK(mods[0].name == "PAYCALC" && mods[0].size == 0x17A8 && !mods[0].dir);
  CHECK(mods[1].name == "PAYCALC2" && mods[1].size == 0x17A8);
  CHECK_EQ(mods[2].name, std::string("SHORT"));
  // Member lines with statistics after the header, with and without a size column filled.
  auto src = Listing({" Name     VV.MM   Created       Changed      Size  Init   Mod   Id",
                      "JCLGEN    01.07 2018/01/09 2021/06/30 15:42   118   102     4 OPSUSR", "NOSTATS"});
  REQUIRE(src.size() == 2);
  CHECK(src[0].time.year == 2021 && src[0].time.month == 6 && src[0].time.minute == 42);
  CHECK(src[1].name == "NOSTATS" && src[1].time.year == 0);
  // Without the header a load-module line is no member.
  CHECK(Listing({"PAYCALC   0017A8   00002C          00 FO             RN RU      31    ANY"}).empty());
}

TEST_CASE("listing parser: VMS entries wrapped with the owner first, in kilobytes, without a time") {
  auto e = Listing({"Directory SYS$DISK:[WEB]", "", "A-VERY-LONG-ARCHIVE-NAME.ZIP;3",
                    "        [WEBUSER]  2048KB  14-FEB-2022  (RWED,RWED,RE,)",
                    "  1/3  1-JAN-2000 00:00 [X] (RWE,,,)"});
  REQUIRE(e.size() == 1);
  CHECK(e[0].name == "A-VERY-LONG-ARCHIVE-NAME.ZIP" && e[0].size == 2048u * 1024 && e[0].sizeApprox);
  CHECK(e[0].time.year == 2022 && e[0].time.day == 14 && e[0].time.hour == 0);
}

TEST_CASE("listing parser: links take the kind of a sibling they name") {
  auto e = Listing({"drwxr-xr-x 2 u g 4096 Jan  5 12:34 nested", "-rw-r--r-- 1 u g 5 Jan  5 12:34 text.txt",
                    "lrwxrwxrwx 1 u g 6 Jan  5 12:34 link-to-dir -> nested",
                    "lrwxrwxrwx 1 u g 8 Jan  5 12:34 link-to-file -> text.txt",
                    "lrwxrwxrwx 1 u g 7 Jan  5 12:34 pub -> vol/pub"});
  ResolveLinks(&e);
  REQUIRE(e.size() == 5);
  CHECK(e[2].linkKnown && e[2].dir);
  CHECK(e[3].linkKnown && !e[3].dir);
  CHECK(!e[4].linkKnown);  // left to a probe
  auto m = Listing({"type=dir;unique=801U2; real", "type=OS.unix=symlink;unique=801U2; alias"}, true);
  ResolveLinks(&m);
  REQUIRE(m.size() == 2);
  CHECK(m[1].linkKnown && m[1].dir);
}

TEST_CASE("listing parser: lines split anywhere, over-long lines, the entry limit") {
  std::string raw = "-rw-r--r-- 1 u g 5 Jan  1 12:00 one\r\n" + std::string(LineSplitter::kMaxLine + 10, 'x') +
                    "\r\n-rw-r--r-- 1 u g 5 Jan  1 12:00 two\r\n-rw-r--r-- 1 u g 5 Jan  1 12:00 three";
  for (size_t step : {size_t(1), size_t(7), size_t(4096), raw.size()}) {
    ListingParser p(kToday);
    LineSplitter s;
    auto feed = [&](std::string_view l) { p.Line(l); };
    for (size_t i = 0; i < raw.size(); i += step) s.Feed(raw.data() + i, std::min(step, raw.size() - i), feed);
    s.End(feed);
    p.Finish();
    auto e = p.Take();
    REQUIRE(e.size() == 3);
    CHECK(e[0].name == "one" && e[1].name == "two" && e[2].name == "three");
  }
  // More entries than the limit: refused as a whole (Overflow), never cut.
  ListingParser big(kToday, false, 1000);
  for (size_t i = 0; i <= 1000; ++i) big.Line("type=file;size=1; f");
  CHECK(!big.Overflow());  // not MLSD: those are no LIST lines
  ListingParser mlsd(kToday, true, 1000);
  for (size_t i = 0; i < 1000; ++i) mlsd.Line("type=file;size=1; f");
  CHECK(!mlsd.Overflow());
  mlsd.Line("type=file;size=1; f");
  CHECK(mlsd.Overflow());
}

TEST_CASE("listing parser: a left-aligned year is read by what the whole listing shows") {
  // One line with a single blank after such a year shows an unpadded server: every other such
  // line's name starts after one blank too, before or after that line.
  auto unpadded = Listing({"-rw-r--r-- 1 u g 5 Jan 05 2020   ", "-rw-r--r-- 1 u g 5 Jan 05 2020  lead",
                           "-rw-r--r-- 1 u g 5 Jan 05 2020 plain", "-rw-r--r-- 1 u g 5 Jan  5 12:00 recent",
                           "-rw-r--r-- 1 u g 5 Jan 05 2020    three"});
  REQUIRE(unpadded.size() == 5);
  CHECK_EQ(unpadded[0].name, std::string("  "));
  CHECK_EQ(unpadded[1].name, std::string(" lead"));
  CHECK_EQ(unpadded[2].name, std::string("plain"));
  CHECK_EQ(unpadded[3].name, std::string("recent"));
  CHECK_EQ(unpadded[4].name, std::string("   three"));
  // Without such a line two blanks are padding and separator; three or more leave the name's
  // leading blanks unknown: that entry is dropped, never shown as another name.
  auto padded = Listing({"-rw-r--r-- 1 u g 5 Jan 05 2020  padded.txt", "-rw-r--r-- 1 u g 5 Jan 05 2020    ",
                         "-rw-r--r-- 1 u g 5 Jan 05 2020     x", "-rw-r--r-- 1 u g 5 Jan  5 12:00  recent lead"});
  REQUIRE(padded.size() == 2);
  CHECK_EQ(padded[0].name, std::string("padded.txt"));
  CHECK_EQ(padded[1].name, std::string(" recent lead"));
  // A link keeps its target; the name alone moves.
  auto link = Listing({"lrwxrwxrwx 1 u g 1 Jan 05 2020  l -> t", "-rw-r--r-- 1 u g 5 Jan 05 2020 x"});
  REQUIRE(link.size() == 2);
  CHECK(link[0].name == " l" && link[0].target == "t");
  // At the entry limit the settled names are still those of the entries kept.
  ListingParser p(kToday, false, 1);
  p.Line("-rw-r--r-- 1 u g 5 Jan 05 2020  a");
  p.Line("-rw-r--r-- 1 u g 5 Jan 05 2020  b");
  p.Line("-rw-r--r-- 1 u g 5 Jan 05 2020 c");
  p.Finish();
  CHECK(p.Overflow());
}

TEST_CASE("listing parser: NetWare and OS/2 names start where the listing's narrowest run shows the layout") {
  // NetWare's four-blank layout: a wider run is the name's own leading blanks.
  auto four = Listing({"d [R----F--] supervisor            512       Jan 16 18:53    login",
                       "- [RWCEAFMS] rhesus             214059       Oct 20 15:27     lead",
                       "- [RWCEAFMS] rhesus             214059       Oct 20 15:27      ",
                       "- [RWCEAFMS] rhesus             214059       Oct 20 15:27    trail "});
  REQUIRE(four.size() == 4);
  CHECK_EQ(four[0].name, std::string("login"));
  CHECK_EQ(four[1].name, std::string(" lead"));
  CHECK_EQ(four[2].name, std::string("  "));
  CHECK_EQ(four[3].name, std::string("trail "));
  // The one-blank layout of later servers: a run of one proves it, for every line.
  auto one = Listing({"d [-W---F--] SCION_VOL2                        512 Apr 13 23:12 VOL2",
                      "- [RWCEAFMS] Admin                  181248 Mar 08 13:56    three"});
  REQUIRE(one.size() == 2);
  CHECK_EQ(one[1].name, std::string("   three"));
  // Every run five wide: either a layout no server prints or names that all begin with a
  // blank; no line tells, so none is shown as a name it may not be.
  CHECK(Listing({"d [R----F--] supervisor            512       Jan 16 18:53     login",
                 "- [RWCEAFMS] rhesus             214059       Oct 20 15:27     cx.exe"})
            .empty());
  // A year printed left-aligned may carry a padding blank: such lines are settled apart.
  auto years = Listing({"- [RWCEAFMS] rhesus             214059       Oct 20 15:27    cx.exe",
                        "- [RWCEAFMS] rhesus             214059       Oct 20 2019     old.exe"});
  REQUIRE(years.size() == 1);
  CHECK_EQ(years[0].name, std::string("cx.exe"));
  // OS/2: two blanks after the time, or one where a line shows it.
  auto os2 = Listing({"     0           DIR   12-18-96   19:12  PRJ", "    73098      A          04-06-97   15:15   lead",
                      "    73098      A          04-06-97   15:15    "});
  REQUIRE(os2.size() == 3);
  CHECK_EQ(os2[0].name, std::string("PRJ"));
  CHECK_EQ(os2[1].name, std::string(" lead"));
  CHECK_EQ(os2[2].name, std::string("  "));
  auto os2one = Listing({"    0 DIR       11-28-97   09:42 one", "    0 DIR       11-28-97   09:42  two"});
  REQUIRE(os2one.size() == 2);
  CHECK_EQ(os2one[1].name, std::string(" two"));
  CHECK(Listing({"    73098      A          04-06-97   15:15    four"}).empty());
}

TEST_CASE("listing parser: a <DIR> name stands in the column the size lines of its layout show") {
  // IIS with a size field shorter than usual: "<DIR>" plus five blanks reach the name column.
  auto narrow = Listing({"01-31-23  10:30PM       <DIR>      plain", "01-31-23  10:30PM       <DIR>        two",
                         "01-31-23  10:30PM             4096 readme.txt", "01-31-23  10:30PM       <DIR>        "});
  REQUIRE(narrow.size() == 4);
  CHECK_EQ(narrow[0].name, std::string("plain"));
  CHECK_EQ(narrow[1].name, std::string("  two"));
  CHECK_EQ(narrow[2].name, std::string("readme.txt"));
  CHECK_EQ(narrow[3].name, std::string("  "));
  // The usual layout, proven by a size line, and a wider "<DIR>" run whose blanks are the name's.
  auto usual = Listing({"04-14-00  03:47PM                  589 readme.htm",
                        "04-27-00  09:09PM       <DIR>          licensed",
                        "04-27-00  09:09PM       <DIR>             three"});
  REQUIRE(usual.size() == 3);
  CHECK_EQ(usual[1].name, std::string("licensed"));
  CHECK_EQ(usual[2].name, std::string("   three"));
  // No proof: size lines of another layout (their time ends elsewhere), or size lines that
  // disagree on the column. The names are read as one line alone reads them.
  auto other = Listing({"12-01-1999  12:05AM             4096 readme.txt", "01-31-23  10:30PM       <DIR>      two"});
  REQUIRE(other.size() == 2);
  CHECK_EQ(other[1].name, std::string("two"));
  auto disagree = Listing({"01-31-23  10:30PM         4096 a.txt", "01-31-23  10:30PM          4096 b.txt",
                           "01-31-23  10:30PM       <DIR>        two"});
  REQUIRE(disagree.size() == 3);
  CHECK_EQ(disagree[2].name, std::string("two"));
  // A size line whose name column lies past the "<DIR>" line's name: another layout, no proof.
  auto past = Listing({"01-31-23  10:30PM                 4096 a.txt", "01-31-23  10:30PM       <DIR>    x"});
  REQUIRE(past.size() == 2);
  CHECK_EQ(past[1].name, std::string("x"));
}

TEST_CASE("listing parser: blanks and TABs of MLSD names are kept to the last byte") {
  auto e = Listing({"type=file;size=1;   ", "type=file;size=1;  lead", "type=file;size=1; trail  ",
                    "type=file;size=1; in\tside", "type=file;size=1;\t\tlead tab", "type=dir; x\\y"},
                   true);
  REQUIRE(e.size() == 6);
  CHECK_EQ(e[0].name, std::string("  "));
  CHECK_EQ(e[1].name, std::string(" lead"));
  CHECK_EQ(e[2].name, std::string("trail  "));
  CHECK_EQ(e[3].name, std::string("in\tside"));
  CHECK_EQ(e[4].name, std::string("\tlead tab"));
  CHECK(e[5].name == "x\\y" && e[5].dir);
}

TEST_CASE("listing: a size with a unit is marked approximate, an exact one never") {
  ListEntry e;
  REQUIRE(ParseListLine("-rw-r--r-- 1 pi pi 33.5k Jan  5 10:00 approx.txt", kToday, &e));
  CHECK(e.sizeApprox && e.size == 34304);
  REQUIRE(ParseListLine("-rw-r--r-- 1 pi pi 34304 Jan  5 10:00 exact.txt", kToday, &e));
  CHECK(!e.sizeApprox);
  REQUIRE(ParseListLine("drwxr-xr-x 2 pi pi 4.0K Jan  5 10:00 kdir", kToday, &e));
  CHECK(!e.sizeApprox && e.size == 0);  // a folder has no size to trust or distrust
  REQUIRE(ParseListLine("100644 1000 100 20480 1700000000 numeric.tar", kToday, &e));
  CHECK(!e.sizeApprox && e.time.utc);
}

TEST_CASE("listing parser: mixed families, stray details and member lines are read once or not at all") {
  const std::vector<std::string> lines = {
      "-rw-r--r-- 1 ftp ftp 77 2021/08/30 14:02 slashed.txt",
      "01-31-23  10:30PM       <DIR>          Program Files",
      // A VMS detail line with no name line before it: no entry of its own.
      "                      5/6       20-FEB-2001 09:00:00  [ANONYMOU,ANONYMOUS]  (RWED,RWED,RE,)",
      "100644 1000 100 20480 1700000000 numeric.tar",
      // Both a Unix line and a numeric one at first sight: the Unix reading wins, once.
      "-rw-r--r-- 1 ftp ftp 2048 3 29 03:26 100644 1 2 3 4 x",
      "QPGMR           40960 21.03.19 08:12:44 *STMF      rechnung.pdf",
      "-rw-r--r-- 1 ftp ftp 2048 3 29 03:26 numeric-md.log",
  };
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  auto e = Listing(lines);
  REQUIRE(e.size() == 6);
  const char* names[] = {"slashed.txt", "Program Files", "numeric.tar", "100644 1 2 3 4 x", "rechnung.pdf",
                         "numeric-md.log"};
  for (size_t i = 0; i < e.size(); ++i) {
    CHECK_EQ(e[i].name, std::string(names[i]));
    CHECK(all.find(e[i].name) != std::string::npos);  // the server's bytes, never rebuilt
  }
  // MVS member lines in a dataset listing are no datasets.
  auto ds = Listing({"Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname",
                     "WYOSPT 3420   2003/05/21  1  200  FB      80  8000  PS  PROJECT.TEST.DATA", "BACKUP",
                     "TOOLONGNAME9"});
  REQUIRE(ds.size() == 1);
  CHECK_EQ(ds[0].name, std::string("PROJECT.TEST.DATA"));
}
