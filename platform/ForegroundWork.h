#pragma once
// Work a user is waiting for against work that can wait. A frame on its way to the screen holds a
// Scope; background threads that do not hold up the picture (spikes found ahead of the view) call
// WaitUntilClear between steps and sit out every open scope: their core goes to the frame's
// threads, and their reads leave the frame's data in the caches.

#include <atomic>
#include <cstdint>

namespace skelvane {

class ForegroundWork {
 public:
  /// Foreground work under way for the scope's lifetime. Scopes may overlap and nest.
  class Scope {
   public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
  };

  /// True while a scope is open.
  static bool Busy();
  /// Returns once no scope is open, or once `cancel` is set (looked at every few milliseconds). Never
  /// call it while holding a scope.
  static void WaitUntilClear(const std::atomic<bool>& cancel);
  /// Times a background thread has waited so far (for tests).
  static int64_t Waits();
};

}  // namespace skelvane
