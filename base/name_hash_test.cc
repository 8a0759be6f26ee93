#include "base/name_hash.h"

#include <string>

#include "gtest/gtest.h"

namespace {

struct HashCase {
  const char* label;
  std::string name;
  uint32_t hash;
};

TEST(NameHashTest, KnownValues) {
  const HashCase kCases[] = {
      {"empty is the offset basis", std::string(), 0x811c9dc5u},
      {"one byte", "a", 0xe40c292cu},
      {"several bytes", "foobar", 0xbf9cf968u},
      // Bytes above 0x7F are XORed in unsigned; a sign-extended char gives
      // another value.
      {"high byte", "\xff", 0x7a0b824eu},
      {"CP936 bytes", "\xd7\xca", 0xc3bb6e94u},
      {"embedded zero byte", std::string("a\0b", 3), 0x10f3abd2u},
  };
  for (const HashCase& c : kCases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(c.hash, base::NameHash(c.name));
  }
}

TEST(NameHashTest, DistinctNamesCanShareAHash) {
  // The tables that key by this hash treat these two as one name.
  EXPECT_EQ(base::NameHash("Obj179599"), base::NameHash("Obj362382"));
  EXPECT_NE(base::NameHash("StartUninstall"), base::NameHash("startuninstall"));
}

}  // namespace
