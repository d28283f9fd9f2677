#include "runtime_link/account_name.h"

namespace ombru {

AccountName SplitAccountName(const std::string& samCompatibleName) {
  const size_t backslash = samCompatibleName.find('\\');
  if (backslash == std::string::npos)
    return {std::string(), samCompatibleName};
  return {samCompatibleName.substr(0, backslash), samCompatibleName.substr(backslash + 1)};
}

}  // namespace ombru
