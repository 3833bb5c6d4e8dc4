// ECDSA P-256 on POSIX: libcrypto's EVP keys built from the raw numbers, its
// DER signatures turned into r and s.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <algorithm>
#include <memory>

#include "os/crypto.h"

namespace os {
namespace {

constexpr std::size_t kNumber = 32;

struct Free {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
    void operator()(OSSL_PARAM_BLD* builder) const { OSSL_PARAM_BLD_free(builder); }
    void operator()(OSSL_PARAM* params) const { OSSL_PARAM_free(params); }
    void operator()(BIGNUM* number) const { BN_clear_free(number); }
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

// The key of `point` (X then Y), with the scalar `secret` when given.
Owned<EVP_PKEY> make_key(const std::uint8_t* point, const std::uint8_t* secret) {
    std::uint8_t encoded[1 + 2 * kNumber];
    encoded[0] = 0x04;  // uncompressed point
    std::copy(point, point + 2 * kNumber, encoded + 1);
    Owned<OSSL_PARAM_BLD> builder(OSSL_PARAM_BLD_new());
    Owned<BIGNUM> scalar(secret != nullptr ? BN_bin2bn(secret, kNumber, nullptr) : nullptr);
    if (!builder || (secret != nullptr && !scalar) ||
        OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1",
                                        0) != 1 ||
        OSSL_PARAM_BLD_push_octet_string(builder.get(), OSSL_PKEY_PARAM_PUB_KEY, encoded,
                                         sizeof encoded) != 1 ||
        (scalar &&
         OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_PRIV_KEY, scalar.get()) != 1)) {
        return nullptr;
    }
    Owned<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(builder.get()));
    Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    EVP_PKEY* key = nullptr;
    if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &key, scalar ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                          params.get()) != 1) {
        return nullptr;
    }
    return Owned<EVP_PKEY>(key);
}

bool number_out(const EVP_PKEY* key, const char* name, std::uint8_t* out) {
    BIGNUM* raw = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &raw) != 1) return false;
    const Owned<BIGNUM> number(raw);
    return BN_bn2binpad(number.get(), out, kNumber) == static_cast<int>(kNumber);
}

}  // namespace

bool ecdsa_generate(EcdsaPrivateKey& key) {
    const Owned<EVP_PKEY> pair(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    return pair && number_out(pair.get(), OSSL_PKEY_PARAM_PRIV_KEY, key.data()) &&
           number_out(pair.get(), OSSL_PKEY_PARAM_EC_PUB_X, key.data() + kNumber) &&
           number_out(pair.get(), OSSL_PKEY_PARAM_EC_PUB_Y, key.data() + 2 * kNumber);
}

bool ecdsa_sign(const EcdsaPrivateKey& key, std::initializer_list<ByteRange> parts,
                EcdsaSignature& signature) {
    Sha256Digest digest{};
    const Owned<EVP_PKEY> pair = make_key(key.data() + kNumber, key.data());
    if (!pair || !sha256(parts, digest)) return false;
    const Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(pair.get(), nullptr));
    unsigned char der[80];
    std::size_t length = sizeof der;
    if (!context || EVP_PKEY_sign_init(context.get()) != 1 ||
        EVP_PKEY_sign(context.get(), der, &length, digest.data(), digest.size()) != 1) {
        return false;
    }
    const unsigned char* cursor = der;
    const Owned<ECDSA_SIG> parsed(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(length)));
    return parsed &&
           BN_bn2binpad(ECDSA_SIG_get0_r(parsed.get()), signature.data(), kNumber) ==
               static_cast<int>(kNumber) &&
           BN_bn2binpad(ECDSA_SIG_get0_s(parsed.get()), signature.data() + kNumber, kNumber) ==
               static_cast<int>(kNumber);
}

bool ecdsa_verify(const EcdsaPublicKey& key, std::initializer_list<ByteRange> parts,
                  const EcdsaSignature& signature) {
    Sha256Digest digest{};
    const Owned<EVP_PKEY> point = make_key(key.data(), nullptr);
    if (!point || !sha256(parts, digest)) return false;
    Owned<ECDSA_SIG> parsed(ECDSA_SIG_new());
    BIGNUM* r = BN_bin2bn(signature.data(), kNumber, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + kNumber, kNumber, nullptr);
    if (!parsed || r == nullptr || s == nullptr || ECDSA_SIG_set0(parsed.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    const int length = i2d_ECDSA_SIG(parsed.get(), &der);
    if (length <= 0) return false;
    const Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(point.get(), nullptr));
    const bool valid = context && EVP_PKEY_verify_init(context.get()) == 1 &&
                       EVP_PKEY_verify(context.get(), der, static_cast<std::size_t>(length),
                                       digest.data(), digest.size()) == 1;
    OPENSSL_free(der);
    return valid;
}

}  // namespace os
