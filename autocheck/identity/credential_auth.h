// Authentication with credentials: one HTTP GET to the server's web interface
// each, the role and policy assignment taken from the answer and stored
// (RoleId, PolicyId).
#pragma once

// User name and password as stored (UserName, Password). 1 when the server
// answered with a role ID and a policy ID.
int UserAuth();
// The stored e-mail account (UserName, Password).
int EmailAuth();
// The device alone.
int NoAuth();
// The Windows domain logon: plain user and domain names (null: no request).
int ADAutoAuth(const char* user_name, const char* domain_name);
// User name and password given by the caller as plain text; an empty user
// name authenticates the device alone (NoAuth).
int UserAuthWithUserPassword(const char* user_name, const char* password);

// The role ID and the policy ID of an answer ("RoleID='3' … PolicyID='12'"),
// each into a 64-byte destination the caller zero-filled (either may be
// null: not asked for). 1 when every value asked for was found.
int ParseAuthReply(const char* answer, char* role_id, char* policy_id);
