// The security-check policy: fetched from the access server with its items,
// stored as SecurityCheckPolicy.xml in the assistant directory, and its
// scalar parameters copied into the configuration store.
#pragma once

inline constexpr char kSecurityCheckPolicyFile[] = "SecurityCheckPolicy.xml";

// Fetches the policy of this device's role and policy, merges every item's
// definition into its Item element, writes the policy file and the policy
// keys. An update that cannot complete changes neither file nor keys; the
// outcome shows only in the store, the file and the trace.
void UpdateSecurityCheckPolicy();
