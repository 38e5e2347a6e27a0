/// \file
/// The choices a de-identification is made with: the profile's options and
/// whether private attributes stay, with the words and codes each option
/// goes by (command-line flag, check box, and the code the de-identified
/// file records in De-identification Method Code Sequence).
#pragma once

#include "base/Result.h"
#include "edit/DeidentificationProfile.h"

#include <array>
#include <span>

namespace quillon {

struct DeidentifyOptions {
  /// Which options are on, indexed by ProfileOption.
  std::array<bool, kProfileOptionCount> options{};
  /// Private attributes (odd groups) are kept instead of removed. Not a
  /// profile option: the user takes responsibility for what they hold.
  bool keepPrivate = false;

  bool Has(ProfileOption option) const { return options[static_cast<std::size_t>(option)]; }
  void Set(ProfileOption option, bool on = true) { options[static_cast<std::size_t>(option)] = on; }
  /// Refused when the options contradict each other (dates both kept in
  /// full and shifted).
  Status Check() const;
};

/// How an option is named and recorded.
struct ProfileOptionInfo {
  ProfileOption option;
  /// The command-line flag without its dashes ("retain-uids").
  const char* flag;
  /// The check box's text.
  const char* label;
  /// Its code in the de-identification methods (coding scheme DCM).
  const char* codeValue;
  const char* codeMeaning;
  /// False for options this system cannot carry out faithfully (Retain
  /// Safe Private needs a list of private attributes known to be safe,
  /// which it does not have); they are neither offered nor recorded.
  bool offered;
};

/// Every option, in ProfileOption order.
std::span<const ProfileOptionInfo> ProfileOptionInfos();
const ProfileOptionInfo& InfoOf(ProfileOption option);

/// The code of the basic profile itself.
inline constexpr const char* kBasicProfileCodeValue = "113100";
inline constexpr const char* kBasicProfileCodeMeaning = "Basic Application Confidentiality Profile";

}  // namespace quillon
