#pragma once
// What the mask drawers share: whether their masks may be used (allowed, and shown by a self-check
// on the first frame to give the rasteriser's very pixels on this driver), the mask textures, the GL
// state a masked draw reads back, the check's corner, and whether their pixels may be left to the
// read-back (ReadBackColumns) and how. ColumnBarDrawer, TraceDrawer and ColumnLineDrawer derive from
// it; GLRenderer drives them through it.

#include <cstdint>
#include <span>
#include <vector>

#include "render/ColumnBarCoverage.h"
#include "render/ColumnBarMask.h"
#include "render/MaskedState.h"
#include "render/ReadBackColumns.h"

namespace skelvane {

class PrimitiveBatch;

class MaskDrawer : protected ReadBackColumns::PartDrawer {
 public:
  MaskDrawer(const MaskDrawer&) = delete;
  MaskDrawer& operator=(const MaskDrawer&) = delete;

  /// True while the masks are allowed and have not been checked yet.
  bool NeedsCheck() const { return state_ == State::kUnchecked && allowed_; }
  /// Draws the check's passes both ways in a corner of the current framebuffer of `frameWidth` x
  /// `frameHeight` pixels, under an orthographic projection with the renderer's depth range, and
  /// keeps the masks only if every byte agrees (on a frame too small to tell, the check waits for a
  /// later one). Leaves the projection reset; the caller clears the frame.
  void Check(int32_t frameWidth, int32_t frameHeight, double nearPlane, double farPlane);
  /// Lets the masks be used once checked (allowed by default).
  void Allow(bool allowed) { allowed_ = allowed; }
  /// True when drawing goes through the masks.
  bool InUse() const { return state_ == State::kInUse && allowed_; }
  /// Lets pixels be written into the read-back frame once checked (allowed by default).
  void AllowFill(bool allowed) { fillAllowed_ = allowed; }
  bool FillInUse() const { return InUse() && fillAllowed_ && fillChecked_; }

  /// A new frame: the last frame's mask textures may be refilled.
  virtual void StartFrame() { mask_.StartFrame(); }
  /// Drops the mask textures of a context that is gone.
  virtual void Forget() { mask_.Forget(); }

 protected:
  /// Draws through `batch`, and leaves pixels to `readBack`.
  MaskDrawer(PrimitiveBatch& batch, ReadBackColumns& readBack) : batch_(batch), readBack_(readBack) {}
  virtual ~MaskDrawer() = default;

  /// Pixel spans in `colour` at depth z under `state`: with `fill`, left to the read-back where they
  /// may be; otherwise (or where they may not) through the mask, told to the read-back first. False,
  /// with nothing drawn or told, when they are too wide for a mask.
  bool DrawSpans(std::span<const ColumnBarCoverage::Span> spans, uint32_t colour, int32_t z, const MaskedState& state,
                 bool fill);
  /// Drops the spans outside the scissor box in use, and cuts the rest to it.
  static void ClipToScissor(std::vector<ColumnBarCoverage::Span>& spans);
  /// A set of spans left to the read-back, within `parts`, through the mask.
  void DrawParts(const ColumnFill& fill, std::size_t set, std::span<const WindowBox> parts, int32_t z,
                 const MaskedState& state) override;
  /// Tells the read-back where line segments from (x0s[i], y0s[i]) to (x1s[i], y1s[i]) in `colour` at
  /// depth z go, before they are drawn: a few one by one, so that segments scattered over a plot do
  /// not cover what lies between them; many as one box.
  void NoteSegments(std::span<const int32_t> x0s, std::span<const int16_t> y0s, std::span<const int32_t> x1s,
                    std::span<const int16_t> y1s, uint32_t colour, int32_t lineWidth, int32_t z);

  /// The GL state of a draw at depth z; false when the masks cannot reproduce it (a model-view
  /// matrix other than the identity, a depth on or past the near and far planes).
  static bool ReadMaskedState(int32_t z, MaskedState& state);
  /// Reads the check's corner of `width` x `height` pixels back into `pixels`.
  static void ReadCheckFrame(int32_t width, int32_t height, std::vector<uint8_t>& pixels);
  /// How many passes the check draws.
  virtual int32_t CheckPasses() const = 0;
  /// Draws one pass both ways into the corner; true when the masks drew it and every byte agrees.
  virtual bool CheckPass(int32_t pass, int32_t width, int32_t height) = 0;

  PrimitiveBatch& batch_;
  ReadBackColumns& readBack_;  // where pixels left to the read-back wait
  ColumnBarMask mask_;
  bool fillChecked_ = false;  // the check drew the pixels left to the read-back alike
  double nearPlane_ = 0.0;  // the depth range of the check's projection, the renderer's own
  double farPlane_ = 0.0;

 private:
  enum class State { kUnchecked, kInUse, kOff };

  State state_ = State::kUnchecked;
  bool allowed_ = true;
  bool fillAllowed_ = true;
  std::vector<ColumnRun> runs_;                     // spans as runs for the read-back
  std::vector<ColumnBarCoverage::Span> clipped_;    // spans cut to the scissor box
  std::vector<ColumnBarCoverage::Span> partSpans_;  // a waiting set's spans within its parts
  std::vector<WindowBox> noted_;                    // the boxes of segments told to the read-back
};

}  // namespace skelvane
