#include "render/FramebufferObject.h"

#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glext.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

namespace skelvane {
namespace {

// Framebuffer objects arrived in OpenGL 3.0; older contexts may still offer them as extensions.
constexpr int kCoreFramebufferMajorVersion = 3;

struct EntryPoints {
  PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
  PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
  PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
  PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
  PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
  PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
  PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
  PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
  PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
};

EntryPoints& Gl() {
  static EntryPoints entryPoints;
  return entryPoints;
}

bool ContextHasExtension(const char* name) {
  const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  if (list == nullptr) return false;
  const std::size_t length = std::strlen(name);
  for (const char* p = list; (p = std::strstr(p, name)) != nullptr; p += length) {
    if ((p == list || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
  }
  return false;
}

// The dispatch library hands out a stub for any name, so support is decided from the context's
// version and extensions (see LoadEntryPoints), not from a null pointer here.
bool LoadFor(bool core) {
  auto load = [core](auto& slot, const char* base) {
    const std::string name = std::string(base) + (core ? "" : "EXT");
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(eglGetProcAddress(name.c_str()));
    return slot != nullptr;
  };
  EntryPoints& gl = Gl();
  return load(gl.genFramebuffers, "glGenFramebuffers") && load(gl.deleteFramebuffers, "glDeleteFramebuffers") &&
         load(gl.bindFramebuffer, "glBindFramebuffer") && load(gl.genRenderbuffers, "glGenRenderbuffers") &&
         load(gl.deleteRenderbuffers, "glDeleteRenderbuffers") && load(gl.bindRenderbuffer, "glBindRenderbuffer") &&
         load(gl.renderbufferStorage, "glRenderbufferStorage") &&
         load(gl.framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
         load(gl.checkFramebufferStatus, "glCheckFramebufferStatus");
}

}  // namespace

bool FramebufferObject::LoadEntryPoints() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  if (version == nullptr) return false;
  const bool core = std::atoi(version) >= kCoreFramebufferMajorVersion || ContextHasExtension("GL_ARB_framebuffer_object");
  if (core) return LoadFor(true);
  if (ContextHasExtension("GL_EXT_framebuffer_object")) return LoadFor(false);
  return false;
}

FramebufferObject::Result FramebufferObject::Create(int32_t width, int32_t height) {
  Release();
  if (!LoadEntryPoints()) {
    lastError_ = ENOTSUP;
    return Result::kUnsupported;
  }
  EntryPoints& gl = Gl();
  while (glGetError() != GL_NO_ERROR) {
  }
  gl.genFramebuffers(1, &framebuffer_);
  gl.bindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
  gl.genRenderbuffers(1, &colourBuffer_);
  gl.bindRenderbuffer(GL_RENDERBUFFER, colourBuffer_);
  gl.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colourBuffer_);
  gl.genRenderbuffers(1, &depthBuffer_);
  gl.bindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
  gl.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
  gl.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthBuffer_);
  const GLenum error = glGetError();
  const GLenum status = gl.checkFramebufferStatus(GL_FRAMEBUFFER);
  if (error != GL_NO_ERROR || status != GL_FRAMEBUFFER_COMPLETE) {
    lastError_ = static_cast<int32_t>(error != GL_NO_ERROR ? error : status);
    Release();
    return Result::kIncomplete;
  }
  glDrawBuffer(GL_COLOR_ATTACHMENT0);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  width_ = width;
  height_ = height;
  lastError_ = 0;
  return Result::kOk;
}

void FramebufferObject::Release() {
  EntryPoints& gl = Gl();
  if (framebuffer_ != 0 && gl.bindFramebuffer != nullptr) {
    gl.bindFramebuffer(GL_FRAMEBUFFER, 0);
    gl.deleteFramebuffers(1, &framebuffer_);
  }
  if (colourBuffer_ != 0 && gl.deleteRenderbuffers != nullptr) gl.deleteRenderbuffers(1, &colourBuffer_);
  if (depthBuffer_ != 0 && gl.deleteRenderbuffers != nullptr) gl.deleteRenderbuffers(1, &depthBuffer_);
  Forget();
}

void FramebufferObject::Forget() {
  framebuffer_ = 0;
  colourBuffer_ = 0;
  depthBuffer_ = 0;
  width_ = 0;
  height_ = 0;
}

}  // namespace skelvane
