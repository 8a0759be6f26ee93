#ifndef BASE_SHORTCUT_UTIL_H_
#define BASE_SHORTCUT_UTIL_H_

#include <string>

namespace base {

// Replaces |path|, the path of a shortcut (.lnk) file, by the path of the
// shortcut's target, resolving the link without any user interface. Needs
// COM on the calling thread. False, and |path| untouched, when the shortcut
// cannot be loaded or resolved. A shortcut whose target is not a file-system
// path (a shell folder) gives true with an empty path.
bool ResolveLinkTarget(std::wstring* path);

}  // namespace base

#endif  // BASE_SHORTCUT_UTIL_H_
