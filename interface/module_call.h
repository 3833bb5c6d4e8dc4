// The bridge to the module-call component QuarnActivex.dll, which calls a
// named function of a named module (check-item plug-ins, device information,
// domain check, the siblings' Init).
#pragma once

// Calls `function_name` of the module at `module_path` (a local path or an
// http(s) address under the server's download directory) with `argument`
// (may be null). On return *result is a new text of the standard library
// heap (release with free()) or null. Nonzero exactly when the call was made
// and the module function reported success; a failed call may still hand
// back a text describing the failure. Loads the component from the
// assistant directory on first use and keeps it.
int CallOneModuleFuncA(const char* module_path, const char* argument, const char* function_name,
                       char** result);

// The component's own codes for a remote module it could not use: not
// fetched (no answer, an error status, a failed store) or fetched and then
// refused by its verification.
inline constexpr int kModuleNotFetched = 3;
inline constexpr int kModuleRefused = 6;

// As CallOneModuleFuncA, with the component's code in *code (0: the plug-in
// reported success; kModuleNotFetched, kModuleRefused and the other failure
// codes of the component, or the plug-in's own; -1 when the component was not
// reached).
int CallOneModuleFuncCode(const char* module_path, const char* argument, const char* function_name,
                          char** result, int* code);
