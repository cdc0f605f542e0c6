#pragma once
// The strip above the canvas that shows the whole recording of one plot (the plot last under the
// mouse, else the first) as its envelope from the plot's summary (typical range and extremes), with a
// box (a few pixels at least) over the visible span; a click or a drag centres the view there. The
// envelope is drawn once into an image (OverviewPicture) kept until its plot, the data range, the
// width or the summary change: a view change repaints only the image and the box. A widget of its
// own: it is not part of the canvas picture or a snapshot. Owned (as a child widget) by MainWindow,
// which tells it of view changes and of the plot under the mouse.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

#include "app/OverviewPicture.h"

namespace skelvane {

class CscPlot;
class IPlotCanvas;
class IPlotCollection;
class ViewModel;
class WindowView;
struct ViewState;

class OverviewStrip final : public QWidget {
  Q_OBJECT

 public:
  /// Height of the strip in pixels.
  static constexpr int kHeight = 40;

  /// Shows the plots of `plots` over the data range of `view`; moves the view through `model` and
  /// `window`. `summaryStarted` is called after the strip started a plot's summary build.
  OverviewStrip(const IPlotCanvas& canvas, const ViewState& view, const IPlotCollection& plots, ViewModel& model,
                WindowView& window, std::function<void()> summaryStarted, QWidget* parent);

  /// Shows the envelope of plot `index` from now on (the mouse is over it).
  void FollowPlot(int32_t index);
  /// The view, the plots or a summary changed: the strip is painted again, right after the canvas's
  /// frame when its envelope has to be drawn afresh.
  void ViewChanged();

  /// The path of the plot whose envelope is shown (empty with no plot).
  std::string ShownPath() const;
  /// Whether the envelope of the plot shown now is drawn (its summary was built by the last paint).
  bool HasEnvelope() const { return picture_.Shown().built && picture_.Shown().path == ShownPath(); }
  /// The box over the visible span, in the strip's coordinates, at least a few pixels wide about the
  /// span's middle (empty with no data range).
  QRect SpanBox() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  CscPlot* ShownPlot(std::string& path) const;
  /// What the kept image is to show now, of `plot` (null: none).
  OverviewPicture::Content WantedContent(CscPlot*& plot) const;
  /// Starts the summary of `plot` (the one shown; may be null) when it has none.
  void StartShownSummary(CscPlot* plot);
  void RefreshEnvelope();
  int32_t TraceLeft() const;
  int32_t TraceColumns() const;
  void CentreOnColumnAt(int32_t x);

  const IPlotCanvas& canvas_;
  const ViewState& view_;
  const IPlotCollection& plots_;
  ViewModel& model_;
  WindowView& window_;
  std::function<void()> summaryStarted_;
  std::string followed_;  // the path of the plot last under the mouse
  OverviewPicture picture_;
  bool paintAsked_ = false;  // a new envelope waits for the canvas's picture to be on the screen
};

}  // namespace skelvane
