// The local side: drives (?LISTDRIVES, ?IMAGE1), the current local directory RETVAL with its
// subdirectories (?LISTDIRS, a two-level tree) and its files (ALLF behind ?LIST4).
#pragma once

namespace ftpcl {

// Before the ACCEPT loop: the drives queue, line heights and icon lists, the start directory.
void LoadDrivesAndStartDirectory();
// ?IMAGE1 from the ICON of the drives queue's current record.
void ShowDrivePicture();
// Row 1 (RETVAL) and its subdirectories in upper case.
void FillDirectoryTree();
// ALLF from RETVAL (mask 0), sorted by name; "Done".
void RefreshLocalFiles();
// The start-up file list: the process's current directory with mask 7.
void ListStartupFiles();
// F5: the directory tree and the file list of RETVAL again.
void RefreshLocalView();

// Handlers.
void DirectoryDoubleClick();
void PreviousLevel();
void DriveAccepted();

}  // namespace ftpcl
