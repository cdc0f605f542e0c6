#pragma once
// What every plot has: its source path and display name, its height, the five header icons and
// where they were last laid out, and the extraction parameters it shows as an overlay. CscPlot
// derives from it; the plot collection owns plots through IPlot.

#include <cstdint>
#include <string>
#include <vector>

#include "display/IPlot.h"

namespace skelvane {

class Plot : public IPlot {
 public:
  static constexpr int32_t kDefaultHeight = 100;
  static constexpr int32_t kMinHeight = 50;
  static constexpr int32_t kMaxHeight = 5000;
  static constexpr int32_t kHeightStep = 50;
  static constexpr int32_t kIconSize = 15;
  static constexpr int32_t kIconGap = 3;
  /// Hit codes of the header icons, in the order they are laid out from the left.
  static constexpr int32_t kHitNone = 0;
  static constexpr int32_t kHitClose = 1;
  static constexpr int32_t kHitUp = 2;
  static constexpr int32_t kHitDown = 3;
  static constexpr int32_t kHitPlus = 4;
  static constexpr int32_t kHitMinus = 5;

  /// A line of the threshold overlay, in the plot's data coordinates.
  struct OverlayLine {
    int32_t x1, y1, x2, y2;
    bool operator==(const OverlayLine&) const = default;
  };

  /// A plot of the source at `path`, shown as `displayName`.
  Plot(std::string path, std::string displayName);
  ~Plot() override = default;
  Plot(const Plot&) = delete;
  Plot& operator=(const Plot&) = delete;

  /// A copy of the source path.
  std::string GetPath() const override;
  /// Height of the strip in pixels, header included.
  int32_t GetHeight() const override;
  /// Height limited to 50..5000.
  void SetHeight(int32_t height) override;
  /// 0 threshold, 1 slope.
  void SetExtractionMode(int32_t mode) override;
  /// 0 positive, 1 negative, 2 both.
  void SetExtractionType(int32_t type) override;
  /// Threshold or slope value in the plot's data units.
  void SetExtractionValue(double value) override;
  /// Lays out the five header icons 3 pixels apart along the bottom of the header.
  std::vector<IconPlace> LayOutIcons(int32_t height, int32_t x0, int32_t y0) override;
  /// Draws the display name in the header, right of the icons.
  /// What the header says after the plot's name (the CSC plot's filter); nothing by default.
  virtual std::string HeaderNote() const { return {}; }
  void DrawName(const PlotFrame& frame, int32_t y, int32_t height, int32_t width) override;
  /// Draws the extraction threshold or slope lines; 0, or -1 for a slope that truncates to 0.
  int32_t DrawThresholdOverlay(const PlotFrame& frame, int32_t width, int32_t x, uint32_t colour) override;
  /// 1..5 for the icon under (x, y), edges included; 0 for none, and for icons forgotten since they
  /// were laid out (the latest redraw of the plot stack did not draw them: they are not on screen).
  int32_t HitTestIcon(int32_t x, int32_t y) const override;
  /// Height + 50, with no upper limit.
  void IncreaseHeight() override;
  /// Height - 50 (limited); 0 when the height was already exactly 50, else 1.
  int32_t DecreaseHeight() override;
  /// The icons are off screen until the next LayOutIcons; their positions still place the name.
  void ForgetIcons() override;

  /// The overlay lines for a plot area of width w at x, or -1 for a slope that truncates to 0.
  int32_t LayoutThresholdOverlay(int32_t width, int32_t x, std::vector<OverlayLine>& lines) const;
  /// The name drawn in the header.
  const std::string& DisplayName() const { return displayName_; }
  /// Icon x positions (canvas coordinates) from the last LayOutIcons, in hit-code order.
  const std::vector<int32_t>& IconXs() const { return iconXs_; }
  /// Icon y positions (canvas coordinates) from the last LayOutIcons, in hit-code order.
  const std::vector<int32_t>& IconYs() const { return iconYs_; }

 protected:
  /// Forgets the icon positions; each draw lays them out again.
  void ClearIconPositions();

 private:
  std::string path_;
  std::string displayName_;
  int32_t height_ = kDefaultHeight;
  std::vector<int32_t> iconXs_;
  std::vector<int32_t> iconYs_;
  int32_t iconSize_ = kIconSize;
  bool iconsShown_ = false;  // laid out by LayOutIcons and not forgotten since
  int32_t extractionMode_ = 0;
  int32_t extractionType_ = 0;
  double extractionValue_ = 0.0;
};

}  // namespace skelvane
