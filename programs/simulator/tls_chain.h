// A certificate chain for the simulator's HTTPS: a root, an intermediate and
// a server certificate for its host name and address, made afresh with
// libcrypto (RSA 2048, SHA-256) by whoever starts it: the tests, the demo.
// Faulty server certificates are made the same way for the refusal cases.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simulator {

enum class ServerCertificate {
    kGood,        // root -> intermediate -> server, names and address match
    kWrongHost,   // as kGood, for another name and no address
    kExpired,     // as kGood, its validity ended yesterday
    kSelfSigned,  // the server certificate signs itself, no root behind it
};

struct TlsChain {
    std::string server_pem;  // the server certificate, then the intermediate
    std::string key_pem;     // the server's private key
    std::string root_pem;    // the root the client must trust
    std::vector<std::uint8_t> root_der;
    std::string pin;  // Base64 SHA-256 of the server's SubjectPublicKeyInfo
};

// False (with `error`) when libcrypto refuses.
bool make_tls_chain(ServerCertificate kind, const std::string& host, const std::string& address,
                    TlsChain* chain, std::string* error);

// Writes server.pem, server.key, root.pem, root.der and pin (the pin's text)
// into `folder`, which must exist.
bool write_tls_chain(const TlsChain& chain, const std::string& folder);

// The pin of the first certificate of the PEM file `chain_file` (the server's
// own, as --tls-dir serves it); empty when the file holds none.
std::string server_key_pin(const std::string& chain_file);

}  // namespace simulator
