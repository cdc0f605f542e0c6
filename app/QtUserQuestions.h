#pragma once
// The platform layer's yes/no questions as Qt message boxes captioned "SkelvaneV3". main() installs
// it; the Create Spike File command asks through UserQuestions.

#include "platform/UserQuestions.h"

namespace skelvane {

class QtUserQuestions final : public UserQuestions {
 public:
  /// A modal box with Yes and No over the active window; No is the default button.
  bool AskYesNo(const std::string& question) override;
  /// A modal box with one button per answer over the active window.
  int32_t AskChoice(const std::string& question, const std::vector<std::string>& answers,
                    int32_t defaultAnswer) override;
  /// As AskYesNo with Yes the default button.
  bool AskToGoOn(const std::string& question) override;
  /// A modal number box over the active window (two decimals, above 0).
  std::optional<double> AskNumber(const std::string& question, double initial) override;
};

}  // namespace skelvane
