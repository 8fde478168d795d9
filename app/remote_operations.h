// Remote file operations through the remote list's pop-up menu: rename, delete, remove a
// directory and create one, with their dialogs and confirmations, the calls the status callback
// issues for them and their completion steps.
#pragma once
#include <windows.h>

#include <cstdint>

namespace ftpcl {

// Main-window handlers.
void RemoteMenu();  // ?LIST1 alert key 2

// Issued from the status callback on the connect's completion (code becomes the running-code).
void IssueCreateDirectory();
void IssueRemoveDirectory();
void IssueDelete();
// A rename first looks for an entry of its new name (code 18), then renames (code 14).
void IssueRenameCheck();
void IssueRename();
// The look ended with `error` (app/overwrite_check.h decides what follows).
void RenameCheckEnded(DWORD error);
// Event kAskOverwriteEvent during a rename: an entry may have the new name; the window asks.
void AskRenameOverwrite();
// Completion of running-codes 8, 10, 12, 14.
void CompleteOperation(std::int16_t code, bool succeeded);

}  // namespace ftpcl
