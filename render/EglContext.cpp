#include "render/EglContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace skelvane {
namespace {

// The colour format every fallback config must have exactly: Mesa lists 10-bit configs first.
constexpr EGLint kChannelBits = 8;

bool HasExtension(const char* list, const char* name) {
  if (list == nullptr) return false;
  const std::size_t length = std::strlen(name);
  for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
    const bool startsWord = p == list || p[-1] == ' ';
    const bool endsWord = p[length] == ' ' || p[length] == '\0';
    if (startsWord && endsWord) return true;
  }
  return false;
}

// The display is shared by every context in the process and never terminated: terminating it
// would pull the driver out from under any other renderer still alive (eglInitialize does not
// count references), and the driver releases it at exit.
struct SharedDisplay {
  EGLDisplay display = EGL_NO_DISPLAY;
  bool initialised = false;
  std::vector<EGLContext> liveContexts;  // destroyed at exit if their owners are still alive
  std::mutex mutex;
};

SharedDisplay& Shared() {
  static SharedDisplay* shared = new SharedDisplay;  // outlives every static renderer
  return *shared;
}

// The driver tears its displays down in an exit handler of its own, which runs before the
// destructors of static objects built earlier (the canvas's renderer). This handler, registered
// after the driver's, runs first: it destroys every context still alive, with its framebuffers
// and display lists, and stops every later EGL or GL call, so a static renderer's destructor
// finds nothing left to free.
std::atomic<bool> processExiting{false};

void ReleaseAtExit() {
  SharedDisplay& shared = Shared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  processExiting = true;
  if (!shared.initialised) return;
  eglMakeCurrent(shared.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  for (EGLContext context : shared.liveContexts) eglDestroyContext(shared.display, context);
  shared.liveContexts.clear();
}

// A config with exactly 8 bits per channel, for drivers without configless contexts.
EGLConfig ChooseExactRgba8Config(EGLDisplay display) {
  const EGLint wanted[] = {EGL_RED_SIZE,  kChannelBits,    EGL_GREEN_SIZE,      kChannelBits,
                           EGL_BLUE_SIZE, kChannelBits,    EGL_ALPHA_SIZE,      kChannelBits,
                           EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
  EGLint count = 0;
  if (!eglChooseConfig(display, wanted, nullptr, 0, &count) || count <= 0) return nullptr;
  std::vector<EGLConfig> configs(static_cast<std::size_t>(count));
  eglChooseConfig(display, wanted, configs.data(), count, &count);
  for (EGLint i = 0; i < count; ++i) {
    EGLint r = 0, g = 0, b = 0, a = 0;
    eglGetConfigAttrib(display, configs[i], EGL_RED_SIZE, &r);
    eglGetConfigAttrib(display, configs[i], EGL_GREEN_SIZE, &g);
    eglGetConfigAttrib(display, configs[i], EGL_BLUE_SIZE, &b);
    eglGetConfigAttrib(display, configs[i], EGL_ALPHA_SIZE, &a);
    if (r == kChannelBits && g == kChannelBits && b == kChannelBits && a == kChannelBits) return configs[i];
  }
  return nullptr;
}

}  // namespace

EglContext::~EglContext() { Destroy(); }

EglContext::Result EglContext::OpenDisplay() {
  if (display_ != nullptr) return Result::kOk;
  if (processExiting) {
    lastError_ = EGL_NOT_INITIALIZED;
    return Result::kInitializeFailed;
  }
  SharedDisplay& shared = Shared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  if (shared.display == EGL_NO_DISPLAY) {
    shared.display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (shared.display == EGL_NO_DISPLAY) {
      lastError_ = eglGetError();
      return Result::kNoDisplay;
    }
  }
  if (!shared.initialised) {
    EGLint major = 0;
    EGLint minor = 0;
    if (!eglInitialize(shared.display, &major, &minor)) {
      lastError_ = eglGetError();
      return Result::kInitializeFailed;
    }
    shared.initialised = true;
    std::atexit(ReleaseAtExit);
  }
  display_ = shared.display;
  return Result::kOk;
}

EglContext::Result EglContext::Create() {
  if (context_ != nullptr) return Result::kOk;
  if (processExiting) {
    lastError_ = EGL_NOT_INITIALIZED;
    return Result::kCreateFailed;
  }
  const Result opened = OpenDisplay();
  if (opened != Result::kOk) return opened;
  EGLDisplay display = static_cast<EGLDisplay>(display_);
  if (!eglBindAPI(EGL_OPENGL_API)) {
    lastError_ = eglGetError();
    return Result::kCreateFailed;
  }
  const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
  if (!HasExtension(extensions, "EGL_KHR_surfaceless_context")) {
    lastError_ = EGL_BAD_MATCH;
    return Result::kCreateFailed;
  }
  EGLConfig config = EGL_NO_CONFIG_KHR;
  if (!HasExtension(extensions, "EGL_KHR_no_config_context")) {
    config = ChooseExactRgba8Config(display);
    if (config == nullptr) {
      lastError_ = EGL_BAD_CONFIG;
      return Result::kCreateFailed;
    }
  }
  const EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                               EGL_NONE};
  EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, attributes);
  if (context == EGL_NO_CONTEXT) {
    lastError_ = eglGetError();
    return Result::kCreateFailed;
  }
  context_ = context;
  std::lock_guard<std::mutex> lock(Shared().mutex);
  Shared().liveContexts.push_back(context);
  return Result::kOk;
}

bool EglContext::IsCurrent() const {
  return context_ != nullptr && !processExiting && eglGetCurrentContext() == context_;
}

EglContext::Result EglContext::MakeCurrent() {
  if (context_ == nullptr) {
    lastError_ = EGL_BAD_CONTEXT;
    return Result::kMakeCurrentFailed;
  }
  if (IsCurrent()) return Result::kOk;
  if (processExiting) {
    lastError_ = EGL_NOT_INITIALIZED;
    return Result::kMakeCurrentFailed;
  }
  if (!eglBindAPI(EGL_OPENGL_API) ||
      !eglMakeCurrent(static_cast<EGLDisplay>(display_), EGL_NO_SURFACE, EGL_NO_SURFACE,
                      static_cast<EGLContext>(context_))) {
    lastError_ = eglGetError();
    return Result::kMakeCurrentFailed;
  }
  return Result::kOk;
}

bool EglContext::Destroy() {
  if (context_ == nullptr) return true;
  if (processExiting) {  // the exit handler has destroyed it already
    context_ = nullptr;
    return true;
  }
  EGLDisplay display = static_cast<EGLDisplay>(display_);
  if (IsCurrent()) eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  const bool destroyed = eglDestroyContext(display, static_cast<EGLContext>(context_)) == EGL_TRUE;
  {
    SharedDisplay& shared = Shared();
    std::lock_guard<std::mutex> lock(shared.mutex);
    std::erase(shared.liveContexts, static_cast<EGLContext>(context_));
  }
  if (!destroyed) lastError_ = eglGetError();
  context_ = nullptr;
  return destroyed;
}

}  // namespace skelvane
