#pragma once
// A cursor control that remembers every shape shown, so tests can follow the wait, arrow and resize
// cursors without a screen.

#include <vector>

#include "platform/CursorControl.h"

namespace skelvane::test {

class RecordingCursor final : public CursorControl {
 public:
  void Show(Shape shape) override { shapes.push_back(shape); }
  std::vector<Shape> shapes;
};

}  // namespace skelvane::test
