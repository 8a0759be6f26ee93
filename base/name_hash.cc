#include "base/name_hash.h"

namespace base {

namespace {
const uint32_t kOffsetBasis = 2166136261u;
const uint32_t kPrime = 16777619u;
}  // namespace

uint32_t NameHash(const std::string& name) {
  uint32_t hash = kOffsetBasis;
  for (unsigned char byte : name) {
    hash ^= byte;
    hash *= kPrime;  // unsigned: wraps modulo 2^32
  }
  return hash;
}

}  // namespace base
