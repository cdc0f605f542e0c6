#pragma once
// Yes/no questions the core puts to the user before it acts (extract with a threshold of 0? create the
// missing output folder?). The application installs a Qt implementation; tests install fakes.

#include <memory>
#include <optional>
#include <string>

namespace skelvane {

class UserQuestions {
 public:
  virtual ~UserQuestions() = default;

  /// Puts `question` to the user; true for yes. Enter answers no.
  virtual bool AskYesNo(const std::string& question) = 0;
  /// Puts a question whose yes does what the user asked for (create the missing folder and go on);
  /// true for yes. Enter answers yes where the implementation can say so; otherwise as AskYesNo.
  virtual bool AskToGoOn(const std::string& question) { return AskYesNo(question); }
  /// Asks for a positive number, offering `initial`; nullopt when the user cancels.
  virtual std::optional<double> AskNumber(const std::string& question, double initial) = 0;

  /// The questions in use (never null: one that answers no until another is installed).
  static UserQuestions& Current();
  /// Installs an implementation and returns the previous one; null restores the default.
  static std::shared_ptr<UserQuestions> Install(std::shared_ptr<UserQuestions> questions);
};

}  // namespace skelvane
