// The five-button question over MessageDialog's caption-list form: "&Yes" and "&No" are the
// standard captions (identifiers 6 and 7), "Cancel" the standard one with identifier 2 (so
// Escape presses it), the two "to all" buttons custom (100 and 101). The result is the 1-based
// position in the list, which the answer enum mirrors.
#include "runtime/wsl/question_dialog.h"

#include "runtime/wsl/message_dialog.h"

namespace vel::wsl {

const char kQuestionButtons[] = "&Yes|Yes to &all|&No|N&o to all|Cancel";

QuestionAnswer AskQuestion(const std::string& text, const std::string& caption, const std::string& icon,
                           QuestionAnswer default_answer) {
  const int pressed = MessageDialog(text, caption, icon, kQuestionButtons,
                                    static_cast<unsigned>(default_answer), false);
  if (pressed < static_cast<int>(QuestionAnswer::kYes) || pressed > static_cast<int>(QuestionAnswer::kCancel))
    return QuestionAnswer::kCancel;
  return static_cast<QuestionAnswer>(pressed);
}

}  // namespace vel::wsl
