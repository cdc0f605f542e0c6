#pragma once
// Questions the core puts to the user before it acts (extract with a threshold of 0? create the
// missing output folder? replace the spike files already there?). The application installs a Qt implementation; tests install fakes.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace skelvane {

class UserQuestions {
 public:
  virtual ~UserQuestions() = default;

  /// Puts `question` to the user; true for yes. Enter answers no.
  virtual bool AskYesNo(const std::string& question) = 0;
  /// Puts `question` with one button per answer, `defaultAnswer` taken by Enter; the index of the
  /// answer chosen, or -1 when the user closes the box (Escape) or nobody can be asked.
  virtual int32_t AskChoice(const std::string& question, const std::vector<std::string>& answers,
                            int32_t defaultAnswer) = 0;
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
