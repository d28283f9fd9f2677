#include "runtime_link/account_name.h"

#include "harness/test.h"

START_TEST(account_name_split) {
  static const struct {
    const char* name;
    const char* domain;
    const char* user;
  } cases[] = {
      {"CORP\\alice", "CORP", "alice"},
      {"alice", "", "alice"},
      {"\\alice", "", "alice"},
      {"CORP\\", "CORP", ""},
      {"A\\B\\C", "A", "B\\C"},
      {"", "", ""},
      {"\\", "", ""},
  };
  for (const auto& c : cases) {
    const ombru::AccountName got = ombru::SplitAccountName(c.name);
    ok(got.domain == c.domain && got.user == c.user, "[%s]: domain [%s] user [%s]\n", c.name,
       got.domain.c_str(), got.user.c_str());
  }
}
