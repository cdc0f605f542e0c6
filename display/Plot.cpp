#include "display/Plot.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "display/DisplayConstants.h"
#include "display/IPlotCanvas.h"
#include "platform/ReportError.h"
#include "platform/Saturating.h"
#include "platform/StatusCodes.h"
#include "render/GLRenderer.h"

namespace skelvane {
namespace {

constexpr int32_t kModeThreshold = 0;
constexpr int32_t kModeSlope = 1;
constexpr int32_t kTypePositive = 0;
constexpr int32_t kTypeNegative = 1;
constexpr int32_t kTypeBoth = 2;
constexpr int32_t kSlopeReach = 2048;     // slope lines run from -2048 to +2048 data units
constexpr int32_t kNameIconStride = 18;   // the name starts this far right per laid-out icon
constexpr int32_t kNameLeftPad = 5;
// Between the name and what the plot adds after it in the header.
constexpr const char* kHeaderNoteGap = "   ";
constexpr int32_t kUnknownMode = -2;      // internal: the overlay has no layout for this mode

}  // namespace

Plot::Plot(std::string path, std::string displayName)
    : path_(std::move(path)), displayName_(std::move(displayName)) {}

std::string Plot::GetPath() const { return path_; }
int32_t Plot::GetHeight() const { return height_; }
void Plot::SetHeight(int32_t height) { height_ = std::clamp(height, kMinHeight, kMaxHeight); }
void Plot::SetExtractionMode(int32_t mode) { extractionMode_ = mode; }
void Plot::SetExtractionType(int32_t type) { extractionType_ = type; }
void Plot::SetExtractionValue(double value) { extractionValue_ = value; }

void Plot::IncreaseHeight() {
  if (height_ <= std::numeric_limits<int32_t>::max() - kHeightStep) height_ += kHeightStep;
}

int32_t Plot::DecreaseHeight() {
  if (height_ == kMinHeight) return 0;
  SetHeight(height_ - kHeightStep);
  return 1;
}

void Plot::ClearIconPositions() {
  iconXs_.clear();
  iconYs_.clear();
}

void Plot::ForgetIcons() { iconsShown_ = false; }

std::vector<IPlot::IconPlace> Plot::LayOutIcons(int32_t height, int32_t x0, int32_t y0) {
  ClearIconPositions();
  iconsShown_ = true;
  // The order fixes the hit codes 1..5.
  static constexpr HeaderIcon kIcons[] = {HeaderIcon::Close, HeaderIcon::Up, HeaderIcon::Down, HeaderIcon::Plus,
                                          HeaderIcon::Minus};
  std::vector<IconPlace> places;
  int32_t x = kIconGap;
  const int32_t y = height - kIconGap - iconSize_;
  for (const HeaderIcon icon : kIcons) {
    iconXs_.push_back(x + x0);
    iconYs_.push_back(y + y0);
    places.push_back({icon, x, y, iconSize_});
    x += iconSize_ + kIconGap;
  }
  return places;
}

void Plot::DrawName(const PlotFrame& frame, int32_t y, int32_t height, int32_t) {
  GLRenderer* renderer = frame.renderer;
  if (renderer == nullptr || frame.canvas == nullptr) return;
  const std::string note = HeaderNote();
  const std::string text = note.empty() ? displayName_ : displayName_ + kHeaderNoteGap + note;
  const int32_t textY = y + height - renderer->GetTextHeight(text);
  if (textY < frame.scrollBottom + frame.canvas->GetTimeAxisHeight()) return;
  const int32_t x = static_cast<int32_t>(iconXs_.size()) * kNameIconStride + kNameLeftPad;
  renderer->DrawString(text, x, textY, kDepthIcons, kColourLight);
}

int32_t Plot::LayoutThresholdOverlay(int32_t width, int32_t x, std::vector<OverlayLine>& lines) const {
  lines.clear();
  const bool positive = extractionType_ == kTypePositive || extractionType_ == kTypeBoth;
  const bool negative = extractionType_ == kTypeNegative || extractionType_ == kTypeBoth;
  if (extractionMode_ == kModeThreshold) {
    const int32_t v = SaturateTo<int32_t>(extractionValue_);
    const int32_t mirrored = SaturateTo<int32_t>(extractionValue_ * -1.0);
    if (positive) lines.push_back({x, v, x + width, v});
    if (negative) lines.push_back({x, mirrored, x + width, mirrored});
    return kStatusOk;
  }
  if (extractionMode_ == kModeSlope) {
    const int32_t t = SaturateTo<int32_t>(extractionValue_);
    if (t == 0) return kStatusFailed;
    const int32_t c0 = width / 2;
    const int32_t d = kSlopeReach / t;
    if (positive) lines.push_back({c0 + d, kSlopeReach, c0 - d, -kSlopeReach});
    if (negative) lines.push_back({c0 - d, kSlopeReach, c0 + d, -kSlopeReach});
    return kStatusOk;
  }
  return kUnknownMode;
}

int32_t Plot::DrawThresholdOverlay(const PlotFrame& frame, int32_t width, int32_t x, uint32_t colour) {
  std::vector<OverlayLine> lines;
  const int32_t rc = LayoutThresholdOverlay(width, x, lines);
  if (rc == kUnknownMode) {
    ReportError("Error Drawing Spike Extraction Display, Unknown Mode Value = ", extractionMode_);
    return kStatusOk;
  }
  if (rc != kStatusOk) return rc;
  if (GLRenderer* renderer = frame.renderer) {
    for (const OverlayLine& l : lines) renderer->DrawLine(l.x1, l.y1, l.x2, l.y2, colour, 1, kDepthSeparator, kOpaque);
  }
  return kStatusOk;
}

int32_t Plot::HitTestIcon(int32_t x, int32_t y) const {
  // A plot the stack skipped keeps the positions of its last draw, which other plots may cover now.
  if (!iconsShown_) return kHitNone;
  for (std::size_t i = 0; i < iconXs_.size(); ++i) {
    if (iconXs_[i] <= x && x <= iconXs_[i] + iconSize_ && iconYs_[i] <= y && y <= iconYs_[i] + iconSize_) {
      return static_cast<int32_t>(i) + 1;
    }
  }
  return kHitNone;
}

}  // namespace skelvane
