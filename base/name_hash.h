#ifndef BASE_NAME_HASH_H_
#define BASE_NAME_HASH_H_

#include <stdint.h>

#include <string>

namespace base {

// 32-bit FNV-1a over the bytes of |name|. Tables keyed by name store only this
// value, so two names with the same hash are one entry.
uint32_t NameHash(const std::string& name);

}  // namespace base

#endif  // BASE_NAME_HASH_H_
