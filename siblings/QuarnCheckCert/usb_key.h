// The certificates and serial number of a plugged-in USB key, as the texts
// QuarnCheckCert.dll hands to the agent. docs/usb_key.md says where they
// come from on each platform.
#pragma once

#include <string>
#include <vector>

#include "os/certificate.h"

namespace usb_key {

inline constexpr char kTraceSource[] = "QuarnCheckCert.cpp";
// Configuration key naming the PKCS#11 module of the users' keys.
inline constexpr char kModuleKey[] = "Pkcs11Module";
// The one key type whose serial number is asked for.
inline constexpr char kEpass1000nd[] = "ePass1000ND";

// Where the keys are read: a PKCS#11 module (configured, else the platform's
// default), or, where the platform has no default, the personal store.
struct KeySource {
    std::string pkcs11_module;  // "" = the personal certificate store
};
KeySource key_source();

// The DER of every certificate on the present keys. False (traced) when
// no key is present or the source cannot be read.
bool read_certificates(const KeySource& source, std::vector<os::CertificateBytes>* certificates);

// "<TARN><CertInfo><IssueTo/><CertSerial/><Subject/><CertBase64/></CertInfo>…</TARN>"
// for the certificates that parse (the others are traced and left out);
// "" when out of memory.
std::string certificate_list_text(const std::vector<os::CertificateBytes>& certificates);

// The serial number of the first present token for the argument
// "<TARN><UkeyType>ePass1000ND</UkeyType></TARN>". False (traced) for another
// key type, an unreadable argument, no token or an empty serial number.
bool serial_number(const KeySource& source, const char* argument, std::string* serial);

// "<TARN><SerialNum>%s</SerialNum></TARN>" with the number escaped; "" when out of memory.
std::string serial_number_text(const std::string& serial);

}  // namespace usb_key
