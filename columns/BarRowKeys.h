#pragma once
// Which pixels a min-max bar's end values light for one plot's place on the canvas: ends with equal
// keys in one column light the same pixels, whatever their values. Made by the display from the
// renderer's bar masks; BarSettler uses it to leave unread the samples that cannot change the picture.

#include <cstdint>

namespace skelvane {

class BarRowKeys {
 public:
  virtual ~BarRowKeys() = default;
  /// The key of an end value; non-decreasing in the value.
  virtual int64_t Key(int32_t value) const = 0;
  /// True for a column whose bars light pixels that depend on more than their ends' keys: they need
  /// their exact values.
  virtual bool ExactColumn(int32_t x) const = 0;
};

}  // namespace skelvane
