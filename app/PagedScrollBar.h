#pragma once
// A scrollbar with a fixed range of 0..32766, a page size and a thumb position in the units the main
// window's scroll arithmetic uses. MainWindow owns one along the top and one along the right edge.

#include <QScrollBar>
#include <cstdint>

namespace skelvane {

class PagedScrollBar final : public QScrollBar {
  Q_OBJECT

 public:
  /// What the user did to the scrollbar, in the words of the scroll handlers.
  enum class Code { LineBack, LineForward, PageBack, PageForward, ToStart, ToEnd, ThumbPosition, ThumbTrack, EndScroll };

  /// The largest value of the range; the range is 0..kRangeMax.
  static constexpr int32_t kRangeMax = 32766;

  /// Creates the bar with page kRangeMax and position 0 (nothing to scroll).
  PagedScrollBar(Qt::Orientation orientation, QWidget* parent);

  /// Sets the page (0..kRangeMax): the thumb's share of the range. Positions then run from 0 to
  /// kRangeMax - page + 1; a page covering the whole range disables the bar.
  void SetPage(int32_t page);
  /// Sets the thumb position, kept within the positions the page allows.
  void SetPosition(int64_t position);
  /// The page last set.
  int32_t Page() const { return page_; }
  /// The thumb position.
  int32_t Position() const { return value(); }
  /// The largest position the current page allows.
  static int32_t MaxPositionForPage(int32_t page);

 signals:
  /// Sent for every user action; `position` is the thumb position it leads to.
  void Scrolled(skelvane::PagedScrollBar::Code code, int32_t position);

 private:
  void OnAction(int action);

  int32_t page_ = kRangeMax;
};

}  // namespace skelvane
