#include "capture/device_id.h"

#include <cstdio>
#include <cstring>

#include "dshow_platform.h"

std::string device_identifier(const std::string& text) {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return {};
    std::string id;
    HCRYPTHASH hash = 0;
    if (CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
        BYTE digest[16];
        DWORD length = sizeof digest;
        if (CryptHashData(hash, reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size()), 0) &&
            CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0)) {
            char hex[3];
            for (DWORD i = 0; i < length && i < sizeof digest; ++i) {
                std::snprintf(hex, sizeof hex, "%02x", digest[i]);
                id += hex;
            }
        }
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
    return id;
}

bool is_card_identifier(const char* text) {
    return text && std::strlen(text) >= 4 && std::strncmp(text, "BM-", 3) == 0;
}
