#pragma once

// Owning handles for the OpenSSL objects the ADB client holds, so that every path releases them.

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>

#include <memory>

struct OpenSslDeleter
{
    void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
    void operator()(EVP_PKEY_CTX *p) const { EVP_PKEY_CTX_free(p); }
    void operator()(BIO *p) const { BIO_free_all(p); }
    void operator()(BIGNUM *p) const { BN_free(p); }
    void operator()(BN_CTX *p) const { BN_CTX_free(p); }
};

using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter>;
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter>;
using BioPtr = std::unique_ptr<BIO, OpenSslDeleter>;
using BignumPtr = std::unique_ptr<BIGNUM, OpenSslDeleter>;
using BnCtxPtr = std::unique_ptr<BN_CTX, OpenSslDeleter>;
