#pragma once
// The off-screen render target inside the current OpenGL context: an 8-bit RGBA colour and a
// 24-bit depth renderbuffer of one size. GLRenderer draws into it and reads it back.

#include <cstdint>

namespace skelvane {

class FramebufferObject {
 public:
  /// How creation ended; each failure maps to one of the renderer's messages.
  enum class Result {
    kOk,
    kUnsupported,  // the context offers no framebuffer objects
    kIncomplete,   // the attachments were refused (size or format)
  };

  FramebufferObject() = default;
  ~FramebufferObject() = default;
  FramebufferObject(const FramebufferObject&) = delete;
  FramebufferObject& operator=(const FramebufferObject&) = delete;

  /// Replaces any previous target by one of width x height and binds it; needs a current context.
  Result Create(int32_t width, int32_t height);
  /// Deletes the target; needs the context it was made in to be current (a lost context frees it anyway).
  void Release();
  /// Forgets the target without GL calls, after its context was destroyed.
  void Forget();

  /// True while a complete target exists.
  bool Exists() const { return framebuffer_ != 0; }
  /// Width of the current target in pixels (0 when none).
  int32_t Width() const { return width_; }
  /// Height of the current target in pixels (0 when none).
  int32_t Height() const { return height_; }
  /// The framebuffer status or GL error of the last failed Create.
  int32_t LastError() const { return lastError_; }

 private:
  bool LoadEntryPoints();

  uint32_t framebuffer_ = 0;
  uint32_t colourBuffer_ = 0;
  uint32_t depthBuffer_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t lastError_ = 0;
};

}  // namespace skelvane
