// The answers a batch gives to "replace this file?": asked one file at a time until the user
// answers "Yes to all" or "No to all", which then stand for the rest of the batch; "Cancel"
// stops the batch at that file.
#pragma once
#include "runtime/wsl/question_dialog.h"

namespace ftpcl {

class ReplaceAnswers {
 public:
  enum class Act { kReplace, kKeep, kStop };
  // The act for the next file whose target exists; `ask()` shows the question and returns its
  // answer, and is called only while no "to all" answer stands.
  template <typename Ask>
  Act Next(Ask ask) {
    using vel::wsl::QuestionAnswer;
    if (standing_ != Act::kStop) return standing_;
    switch (ask()) {
      case QuestionAnswer::kYes: return Act::kReplace;
      case QuestionAnswer::kNo: return Act::kKeep;
      case QuestionAnswer::kYesToAll: return standing_ = Act::kReplace;
      case QuestionAnswer::kNoToAll: return standing_ = Act::kKeep;
      case QuestionAnswer::kCancel: break;
    }
    return Act::kStop;
  }

 private:
  Act standing_ = Act::kStop;  // kStop: no "to all" answer yet
};

}  // namespace ftpcl
