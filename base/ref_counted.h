#ifndef BASE_REF_COUNTED_H_
#define BASE_REF_COUNTED_H_

#include <atomic>
#include <cstddef>
#include <utility>

namespace base {

// Intrusive reference count with atomic updates. The object is deleted
// through its own (possibly virtual) destructor when the count reaches zero.
template <class T>
class RefCountedThreadSafe {
 public:
  void AddRef() const { ref_count_.fetch_add(1, std::memory_order_relaxed); }
  void Release() const {
    if (ref_count_.fetch_sub(1, std::memory_order_acq_rel) == 1)
      delete static_cast<const T*>(this);
  }
  bool HasOneRef() const { return ref_count_.load(std::memory_order_acquire) == 1; }

 protected:
  RefCountedThreadSafe() = default;
  ~RefCountedThreadSafe() = default;

 private:
  mutable std::atomic<int> ref_count_{0};
  RefCountedThreadSafe(const RefCountedThreadSafe&) = delete;
  RefCountedThreadSafe& operator=(const RefCountedThreadSafe&) = delete;
};

// Holds one reference to a reference-counted object.
template <class T>
class scoped_refptr {
 public:
  scoped_refptr() = default;
  scoped_refptr(std::nullptr_t) {}
  scoped_refptr(T* p) : ptr_(p) {
    if (ptr_) ptr_->AddRef();
  }
  scoped_refptr(const scoped_refptr& r) : scoped_refptr(r.ptr_) {}
  template <class U>
  scoped_refptr(const scoped_refptr<U>& r) : scoped_refptr(r.get()) {}
  scoped_refptr(scoped_refptr&& r) noexcept : ptr_(r.ptr_) { r.ptr_ = nullptr; }
  ~scoped_refptr() {
    if (ptr_) ptr_->Release();
  }

  scoped_refptr& operator=(T* p) {
    if (p) p->AddRef();
    T* old = ptr_;
    ptr_ = p;
    if (old) old->Release();
    return *this;
  }
  scoped_refptr& operator=(const scoped_refptr& r) { return *this = r.ptr_; }
  scoped_refptr& operator=(scoped_refptr&& r) noexcept {
    scoped_refptr tmp(std::move(r));
    std::swap(ptr_, tmp.ptr_);
    return *this;
  }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  bool operator==(const scoped_refptr& r) const { return ptr_ == r.ptr_; }
  bool operator!=(const scoped_refptr& r) const { return ptr_ != r.ptr_; }
  bool operator<(const scoped_refptr& r) const { return ptr_ < r.ptr_; }

 private:
  T* ptr_ = nullptr;
};

}  // namespace base

using base::scoped_refptr;

#endif  // BASE_REF_COUNTED_H_
