#pragma once
// One OpenGL compatibility-profile context on Mesa's surfaceless EGL platform, current without a
// window surface. GLRenderer owns one and draws through it into a framebuffer object.

#include <cstdint>

namespace skelvane {

class EglContext {
 public:
  /// How far opening or creating got; each stage maps to one of the renderer's messages.
  enum class Result {
    kOk,
    kNoDisplay,          // no surfaceless platform display could be obtained
    kInitializeFailed,   // the display exists but has no working driver
    kCreateFailed,       // no compatibility context could be made
    kMakeCurrentFailed,  // the context could not be made current on this thread
  };

  EglContext() = default;
  ~EglContext();
  EglContext(const EglContext&) = delete;
  EglContext& operator=(const EglContext&) = delete;

  /// Connects to the process-wide surfaceless display (initialised once, shared by every context).
  Result OpenDisplay();
  /// Creates the context on the open display unless it already exists.
  Result Create();
  /// Makes the context current on the calling thread when it is not already.
  Result MakeCurrent();
  /// Releases and destroys the context; false when EGL refused to destroy it.
  bool Destroy();

  /// True while a context exists.
  bool HasContext() const { return context_ != nullptr; }
  /// True when this context is current on the calling thread.
  bool IsCurrent() const;
  /// The EGL error code of the last failed call (EGL_SUCCESS when none failed).
  int32_t LastError() const { return lastError_; }

 private:
  void* display_ = nullptr;  // EGLDisplay
  void* context_ = nullptr;  // EGLContext
  int32_t lastError_ = 0;
};

}  // namespace skelvane
