// The question a batch asks before it replaces something: the message box with the five buttons
// "Yes", "Yes to all", "No", "No to all" and "Cancel". It is the same box (look, layout, font,
// code page, keyboard, message hook), so a program's hook answers it as it answers any box: it
// sees the caption list below and returns the pressed caption's position.
//
// Keyboard: Enter presses the default button, Escape presses Cancel, Alt with the underlined
// letter presses its button (Y, A, N, O; Cancel has Escape).
#pragma once
#include <string>

namespace vel::wsl {

enum class QuestionAnswer { kYes = 1, kYesToAll = 2, kNo = 3, kNoToAll = 4, kCancel = 5 };

// The buttons as the box's caption list ("&" marks the mnemonic; shown without it).
extern const char kQuestionButtons[];

// Shows the box (`icon` as MessageDialog takes it: "" for none) with `default_answer` as the
// default button. A box that ends without a button (no such end exists but Cancel's Escape)
// counts as Cancel, as does a hook's answer outside 1..5.
QuestionAnswer AskQuestion(const std::string& text, const std::string& caption, const std::string& icon,
                           QuestionAnswer default_answer);

}  // namespace vel::wsl
