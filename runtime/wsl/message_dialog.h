// MessageDialog: the runtime's own modal message box, built from an in-memory dialog template.
//
// Buttons are either a number (a bit set over the standard table OK, Yes, No, Abort, Retry,
// Ignore, Cancel, Help = 1, 2, 4 ... 128) or a list of up to eight captions separated by "|".
// The result is the pressed button's bit (number form) or its 1-based position (caption list);
// 0 when the dialog ended with an identifier that is no button of the box.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace vel::wsl {

struct MessageButton {
  std::string caption;  // as shown
  int id;               // dialog control identifier
  unsigned bit;         // value returned in the number form; 1 << (n-1) in a caption list
};

struct MessageRequest {
  std::string text;     // "|" already replaced by line breaks
  std::string caption;
  std::string icon;     // empty: none; otherwise a program icon loaded by name
  std::string buttons;  // as given by the program
  unsigned default_button;
  bool system_modal;
};

// The buttons of a request in display order; `numbered` tells which result form applies.
std::vector<MessageButton> MessageButtons(const std::string& buttons, bool* numbered);
// The identifier of the default button (the last present button whose bit is in `value`, else
// the first button).
int DefaultButtonId(const std::vector<MessageButton>& buttons, unsigned value);
// Maps the dialog's end identifier to the program's result.
int MessageResult(const std::vector<MessageButton>& buttons, bool numbered, int end_id);

// The program-facing operation with its arguments already taken from the string stack.
int MessageDialog(const std::string& text, const std::string& caption, const std::string& icon,
                  const std::string& buttons, unsigned default_button, bool system_modal);

// The system object's MessageHook: when set, MessageDialog calls it instead of showing a box.
using MessageHookFn = int (*)(const MessageRequest& request);
void SetMessageHook(MessageHookFn hook);
MessageHookFn GetMessageHook();

// Who owns the box: the current thread's top window, else the application frame; the window
// layer installs the resolver, the default is the platform's active window.
void SetDialogOwnerResolver(HWND (*resolver)());

// The display-options word (bit 0x2: the dialog font is "Helv" 8 points).
void SetDisplayOptions(unsigned options);

}  // namespace vel::wsl
