#include "app/PagedScrollBar.h"

#include <QCoreApplication>
#include <QPointer>
#include <QStyle>
#include <QStyleFactory>
#include <algorithm>

namespace skelvane {

namespace {

// The plain Windows style, made once for every bar and kept until the application ends (null where
// the style is missing: the bars keep the application's).
QStyle* PlainStyle() {
  static QPointer<QStyle> style;
  if (style.isNull()) {
    style = QStyleFactory::create(QStringLiteral("Windows"));
    if (!style.isNull()) style->setParent(QCoreApplication::instance());
  }
  return style.data();
}

}  // namespace

PagedScrollBar::PagedScrollBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {
  // Keys belong to the window's accelerators; the bar never takes the focus.
  setFocusPolicy(Qt::NoFocus);
  // The bars repaint with every page and zoom, in the same paint as the new frame: the default
  // style's shaded bars (blended on helper threads) cost about as much as showing the frame itself.
  if (QStyle* style = PlainStyle()) setStyle(style);
  setSingleStep(1);
  SetPage(kRangeMax);
  SetPosition(0);
  connect(this, &QAbstractSlider::actionTriggered, this, &PagedScrollBar::OnAction);
  connect(this, &QAbstractSlider::sliderReleased, this, [this] { emit Scrolled(Code::ThumbPosition, value()); });
}

int32_t PagedScrollBar::MaxPositionForPage(int32_t page) {
  // The thumb covers `page` of the kRangeMax + 1 units, so it can start at most that far from the end.
  return kRangeMax - std::max(page - 1, 0);
}

void PagedScrollBar::SetPage(int32_t page) {
  page_ = std::clamp(page, 0, kRangeMax);
  setRange(0, MaxPositionForPage(page_));
  setPageStep(page_);
  setEnabled(page_ < kRangeMax);
}

void PagedScrollBar::SetPosition(int64_t position) {
  setValue(static_cast<int>(std::clamp<int64_t>(position, minimum(), maximum())));
}

void PagedScrollBar::OnAction(int action) {
  Code code;
  switch (action) {
    case SliderSingleStepSub: code = Code::LineBack; break;
    case SliderSingleStepAdd: code = Code::LineForward; break;
    case SliderPageStepSub: code = Code::PageBack; break;
    case SliderPageStepAdd: code = Code::PageForward; break;
    case SliderToMinimum: code = Code::ToStart; break;
    case SliderToMaximum: code = Code::ToEnd; break;
    case SliderMove: code = Code::ThumbTrack; break;
    default: return;
  }
  emit Scrolled(code, sliderPosition());
  // Qt has already moved the thumb; the window decides where it goes. A handler that set no new
  // position (nothing to scroll) leaves the thumb where it was.
  setSliderPosition(value());
}

}  // namespace skelvane
