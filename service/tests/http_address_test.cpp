#include "http_address.h"

#include <gtest/gtest.h>

namespace {

struct AddressCase {
  const char* base;
  const char* location;
  const char* expected;
};

TEST(ResolveAddress, FollowsWhatARedirectNames) {
  const AddressCase cases[] = {
      {"http://h:1/a/b.php", "http://other/x.zip", "http://other/x.zip"},
      {"http://h:1/a/b.php", "HTTPS://other/x", "HTTPS://other/x"},
      {"http://h:1/a/b.php", "//other:2/x", "http://other:2/x"},
      {"http://h:1/a/b.php?q=1", "/files/x.zip", "http://h:1/files/x.zip"},
      {"http://h:1/a/b.php?q=1", "x.zip", "http://h:1/a/x.zip"},
      {"http://h:1/a/b.php", "../x.zip", "http://h:1/a/../x.zip"},
      {"http://h:1", "x.zip", "http://h:1/x.zip"},
      {"http://h:1?q", "/x", "http://h:1/x"},
      {"http://h:1/a/b.php?q=1", "?r=2", "http://h:1/a/b.php?r=2"},
      {"http://h:1/a/b.php", "", "http://h:1/a/b.php"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveAddress(c.base, c.location), c.expected) << c.base << " + " << c.location;
  }
}

}  // namespace
