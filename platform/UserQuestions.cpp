#include "platform/UserQuestions.h"

#include <utility>

namespace skelvane {
namespace {

// Without a user to ask, nothing is done that was not asked for.
class AnsweringNo final : public UserQuestions {
 public:
  bool AskYesNo(const std::string&) override { return false; }
  int32_t AskChoice(const std::string&, const std::vector<std::string>&, int32_t) override { return -1; }
  std::optional<double> AskNumber(const std::string&, double) override { return std::nullopt; }
};

std::shared_ptr<UserQuestions>& Installed() {
  static std::shared_ptr<UserQuestions> questions = std::make_shared<AnsweringNo>();
  return questions;
}

}  // namespace

UserQuestions& UserQuestions::Current() { return *Installed(); }

std::shared_ptr<UserQuestions> UserQuestions::Install(std::shared_ptr<UserQuestions> questions) {
  auto previous = std::move(Installed());
  Installed() = questions ? std::move(questions) : std::make_shared<AnsweringNo>();
  return previous;
}

}  // namespace skelvane
