#ifndef BASE_OS_VERSION_H_
#define BASE_OS_VERSION_H_

namespace base {

// The version numbers that GetVersionExW reports. For a program whose
// manifest names no newer Windows these stop at 6.2, and Wine reports
// whatever version its prefix is set to.
struct OSVersionNumbers {
  unsigned long major;
  unsigned long minor;
  unsigned long build;
};

// Asked once per process and kept. All zero when the query failed.
const OSVersionNumbers& GetOSVersionNumbers();

}  // namespace base

#endif  // BASE_OS_VERSION_H_
