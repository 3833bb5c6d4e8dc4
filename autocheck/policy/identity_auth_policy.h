// The identity-authentication policy: fetched from the access server and
// copied into the configuration store.
#pragma once

// Writes the policy's keys when the server's answer holds all of them;
// otherwise changes nothing.
void UpdateIdentityAuthPolicy();
