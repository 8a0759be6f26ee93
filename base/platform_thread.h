#ifndef BASE_PLATFORM_THREAD_H_
#define BASE_PLATFORM_THREAD_H_

#include <windows.h>

#include <cstddef>
#include <string>

namespace base {

// Thin layer over the OS threads.
class PlatformThread {
 public:
  // What a new thread runs.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual void ThreadBody() = 0;
  };

  // Starts a thread that runs |delegate|->ThreadBody(). |stack_size| 0 is the
  // system default. Returns the thread's handle, or NULL on failure (the
  // error is logged).
  static HANDLE Create(size_t stack_size, Delegate* delegate);

  // Names the calling thread for debuggers and crash tools, through
  // SetThreadDescription where the system has it (looked up at run time);
  // does nothing elsewhere.
  static void SetName(const std::string& name);

  // The calling thread's name as set above; empty when it has none or the
  // system cannot tell.
  static std::wstring GetName();
};

}  // namespace base

#endif  // BASE_PLATFORM_THREAD_H_
