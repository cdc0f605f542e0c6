#pragma once
// Answers the core's questions from queues and keeps every question asked, installed for the life of
// the object. Used by the window's extraction tests.

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/UserQuestions.h"

namespace skelvane::test {

class FakeUserQuestions final : public UserQuestions {
 public:
  bool AskYesNo(const std::string& question) override {
    asked.push_back(question);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  int32_t AskChoice(const std::string& question, const std::vector<std::string>& offered, int32_t defaultAnswer) override {
    asked.push_back(question);
    choicesOffered = offered;
    defaultChoice = defaultAnswer;
    if (choices.empty()) return -1;
    const int32_t choice = choices.front();
    choices.pop_front();
    return choice;
  }
  bool AskToGoOn(const std::string& question) override {
    goingOnAsked.push_back(question);
    return AskYesNo(question);
  }
  std::optional<double> AskNumber(const std::string& question, double) override {
    asked.push_back(question);
    return std::nullopt;
  }

  std::deque<bool> answers;     // to the yes/no questions, in order; no once they run out
  std::deque<int32_t> choices;  // to the choices, in order; -1 (closed) once they run out
  std::vector<std::string> asked;
  std::vector<std::string> goingOnAsked;    // of them, those whose yes (Enter) goes on
  std::vector<std::string> choicesOffered;  // the answers of the last choice
  int32_t defaultChoice = -1;
};

/// Installs a FakeUserQuestions for its lifetime.
class InstalledQuestions {
 public:
  InstalledQuestions() : previous_(UserQuestions::Install(fake_)) {}
  ~InstalledQuestions() { UserQuestions::Install(previous_); }
  InstalledQuestions(const InstalledQuestions&) = delete;
  InstalledQuestions& operator=(const InstalledQuestions&) = delete;

  FakeUserQuestions& operator*() { return *fake_; }
  FakeUserQuestions* operator->() { return fake_.get(); }

 private:
  std::shared_ptr<FakeUserQuestions> fake_ = std::make_shared<FakeUserQuestions>();
  std::shared_ptr<UserQuestions> previous_;
};

}  // namespace skelvane::test
