// Authentication with a USB key: the key's certificates, or an ePass1000ND
// key's serial number, posted to the server's web interface.
#pragma once

// Tries the plugged-in key's certificates one by one until the server
// accepts one. 1 when accepted (RoleId and PolicyId stored).
int UKeyAuth();
// The ePass1000ND key's serial number with the stored password.
int UKeyAuth_ePass1000ND();
// The ePass1000ND key's serial number (at most 29 characters) into the
// 32-byte `serial`; 1 when read, 0 otherwise (also for a null buffer).
int GetUsbKeySerialNum__ePass1000ND(char* serial);
