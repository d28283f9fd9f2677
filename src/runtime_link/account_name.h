#pragma once

#include <string>

namespace ombru {

struct AccountName {
  std::string domain;
  std::string user;
};

// Splits a SAM-compatible name at its first backslash: CORP\alice gives CORP and alice, a name
// without a backslash is all user, A\B\C gives A and B\C.
AccountName SplitAccountName(const std::string& samCompatibleName);

}  // namespace ombru
