/// \file
/// The syntax check for UIDs: what every UID this system generates must
/// pass, and what the editor checks before accepting a UID typed by a user.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillon {

/// The most characters a UID may have (excluding the NUL pad byte a UI
/// value gets when its length is odd).
inline constexpr std::size_t kMaxUidLength = 64;

/// True when uid is a valid UID: 1 to 64 characters, digits and dots only,
/// dot-separated components that are neither empty nor start with "0"
/// unless the component is the single digit "0". Trailing NUL padding is not
/// accepted; strip it first.
constexpr bool IsValidUid(std::string_view uid) {
  if (uid.empty() || uid.size() > kMaxUidLength) return false;
  std::size_t componentStart = 0;
  for (std::size_t i = 0; i <= uid.size(); ++i) {
    if (i == uid.size() || uid[i] == '.') {
      const std::size_t length = i - componentStart;
      if (length == 0) return false;
      if (length > 1 && uid[componentStart] == '0') return false;
      componentStart = i + 1;
    } else if (uid[i] < '0' || uid[i] > '9') {
      return false;
    }
  }
  return true;
}

}  // namespace quillon
