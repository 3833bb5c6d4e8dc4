// The source names that every trace record of the agent carries: the file
// name of the module each area was first written as.
#pragma once

namespace autocheck {

inline constexpr char kAutoCheckSource[] = "QuarnAssAutoCheck.cpp";
inline constexpr char kIdentityAuthSource[] = "QuarnAssIdentityAuth.cpp";
inline constexpr char kPolicyManagerSource[] = "QuarnAssPolicyManager.cpp";
inline constexpr char kSecurityCheckSource[] = "QuarnAssSecurityCheck.cpp";
inline constexpr char kSupportPraxaSource[] = "QuarnAssSupportPraxa.cpp";

}  // namespace autocheck
