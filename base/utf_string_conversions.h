#ifndef BASE_UTF_STRING_CONVERSIONS_H_
#define BASE_UTF_STRING_CONVERSIONS_H_

#include <string>

namespace base {

// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string WideToUTF8(const std::wstring& wide);
// UTF-8 to UTF-16. Bytes that cannot start a sequence, malformed sequences,
// encoded surrogates and values above U+10FFFF become U+FFFD.
std::wstring UTF8ToWide(const std::string& utf8);

}  // namespace base

#endif  // BASE_UTF_STRING_CONVERSIONS_H_
