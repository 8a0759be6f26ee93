#ifndef BASE_SCOPED_COM_PTR_H_
#define BASE_SCOPED_COM_PTR_H_

#include <windows.h>

#include <unknwn.h>

namespace base {

// Owns one reference to a COM object and releases it when it goes out of
// scope, so that an early return cannot leak the object.
template <class T>
class ScopedComPtr {
 public:
  ScopedComPtr() = default;
  ~ScopedComPtr() { Reset(); }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }

  void Reset() {
    if (ptr_) {
      ptr_->Release();
      ptr_ = nullptr;
    }
  }

  // For a call that hands out a new reference (CoCreateInstance,
  // QueryInterface): the previous object is released first.
  void** ReceiveVoid() {
    Reset();
    return reinterpret_cast<void**>(&ptr_);
  }

 private:
  T* ptr_ = nullptr;

  ScopedComPtr(const ScopedComPtr&) = delete;
  ScopedComPtr& operator=(const ScopedComPtr&) = delete;
};

}  // namespace base

#endif  // BASE_SCOPED_COM_PTR_H_
