#pragma once
// Working memory that only a call in progress needs (buffers of megabytes, kept grown so that their
// pages are not faulted in afresh on every call), shared by many owners instead of kept by each: an
// owner takes one for the call and the lease gives it back. The pool keeps as many as were in use at
// once, up to a bound, so the memory grows with the threads that work at the same time and not with
// the owners (a plot each, of which a session may hold a hundred).

#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace skelvane {

template <typename T>
class ScratchPool {
 public:
  /// Keeps at most `kept` items between leases; more may be out at once, and go when given back.
  explicit ScratchPool(std::size_t kept) : kept_(kept) {}
  ScratchPool(const ScratchPool&) = delete;
  ScratchPool& operator=(const ScratchPool&) = delete;

  /// One item for the lease's lifetime, back in the pool when the lease ends.
  class Lease {
   public:
    Lease(ScratchPool& pool, std::unique_ptr<T> item) : pool_(&pool), item_(std::move(item)) {}
    Lease(Lease&& other) noexcept = default;
    Lease& operator=(Lease&&) = delete;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() {
      if (item_) pool_->GiveBack(std::move(item_));
    }
    T& operator*() const { return *item_; }
    T* operator->() const { return item_.get(); }

   private:
    ScratchPool* pool_;
    std::unique_ptr<T> item_;
  };

  /// The item given back last (its memory the likeliest still in the caches), or a new one.
  Lease Take() {
    std::unique_ptr<T> item;
    {
      std::lock_guard lock(mutex_);
      if (!free_.empty()) {
        item = std::move(free_.back());
        free_.pop_back();
      }
    }
    if (!item) item = std::make_unique<T>();
    return Lease(*this, std::move(item));
  }

  /// Items kept between leases now.
  std::size_t Kept() const {
    std::lock_guard lock(mutex_);
    return free_.size();
  }

 private:
  void GiveBack(std::unique_ptr<T> item) {
    std::lock_guard lock(mutex_);
    if (free_.size() < kept_) free_.push_back(std::move(item));
  }

  const std::size_t kept_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<T>> free_;  // guarded by mutex_; the one given back last at the end
};

}  // namespace skelvane
