#pragma once
// Display > Filter > Custom...: a small dialog for a band's low and high cut-offs in hertz (either
// left empty is open), refused before it closes with a message naming the field when a cut-off does
// not parse or a plot it is for cannot take it. PlotActions runs it for all plots or for one.

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "filter/FilterChoice.h"

class QLineEdit;

namespace skelvane {

class CustomFilterDialog final : public QDialog {
  Q_OBJECT

 public:
  /// The dialog's title.
  static constexpr const char* kTitle = "Custom Filter";
  /// Whether the plots the band is for can take it; false with the refusal naming the field.
  using Check = std::function<bool(const FilterChoice& filter, std::string& refusal)>;

  /// A dialog showing the cut-offs of `initial` when it is a Custom band, checking through `check`.
  CustomFilterDialog(const FilterChoice& initial, Check check, QWidget* parent);

  /// The band read when the dialog was accepted.
  std::optional<FilterChoice> Filter() const { return filter_; }
  /// The cut-off fields (tests type into them).
  QLineEdit* LowField() const { return low_; }
  QLineEdit* HighField() const { return high_; }

 public slots:
  /// Takes the cut-offs; a refused band is explained, its field selected, and the dialog stays open.
  void accept() override;

 private:
  Check check_;
  QLineEdit* low_;
  QLineEdit* high_;
  std::optional<FilterChoice> filter_;
};

}  // namespace skelvane
