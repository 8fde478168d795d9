// Which local file an ANSI name reaches. The client is an ANSI program: the file list shows
// each name as the platform's ANSI calls give it, and a Put opens the file by that name again.
// A name with characters the code page lacks is shown in a best-fit form ("Łódź.txt" as
// "Lódz.txt" under 1252), which opens another file of that spelling when one exists, or
// nothing. So before a file is read, the folder is looked at in Unicode.
#pragma once
#include <string>

namespace ftpcl {

// "" when `name` in `dir` (which ends with '\') is shown for exactly one file and opening it
// reaches that file; otherwise the message that says why the file cannot be used (gone, shown
// for several files, or not reachable by the name shown).
std::string ShownLocalNameProblem(const std::string& dir, const std::string& name);

}  // namespace ftpcl
