// The security-check policy: fetched from the access server with its items,
// stored as SecurityCheckPolicy.xml in the assistant directory, and its
// scalar parameters copied into the configuration store.
#pragma once

inline constexpr char kSecurityCheckPolicyFile[] = "SecurityCheckPolicy.xml";

// Fetches the policy of this device's role and policy and every item's
// definition, merges each definition into its Item element, writes the seven
// policy keys and the policy file; without an unlawful-connection item it
// sets that check's three settings to "No", without a system-process item it
// deletes the process-monitor files. An update that cannot complete changes
// neither file nor keys; the outcome shows only in the store, the file and
// the trace.
void UpdateSecurityCheckPolicy();
