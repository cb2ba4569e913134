// CryptoAPI MD5 over OpenSSL's EVP interface; the rules are in crypt_api.h.
#include "crypt_api.h"

#include <openssl/evp.h>

#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

namespace {

thread_local DWORD last_error = 0;

BOOL failure(DWORD code) {
    last_error = code;
    return FALSE;
}

struct MdContextFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

struct Hash {
    HCRYPTPROV owner = 0;
    std::unique_ptr<EVP_MD_CTX, MdContextFree> md;
    bool finished = false;
    unsigned char value[16] = {};
};

constexpr DWORD kMd5Size = 16;

// Every open context and hash, by handle. Handles count up from 1 and are
// never reused, so a stale handle is always unknown.
struct Registry {
    std::mutex mutex;
    uintptr_t next = 1;
    std::map<HCRYPTPROV, bool> contexts;
    std::map<HCRYPTHASH, Hash> hashes;
};

Registry& registry() {
    static Registry r;
    return r;
}

bool known_provider(LPCSTR name) {
    static const char* const kNames[] = {
        "Microsoft Base Cryptographic Provider v1.0",
        "Microsoft Enhanced Cryptographic Provider v1.0",
        "Microsoft Strong Cryptographic Provider",
    };
    for (const char* k : kNames)
        if (std::strcmp(name, k) == 0) return true;
    return false;
}

// Writes a fixed-size answer with CryptGetHashParam's size-query rules.
BOOL answer(const void* data, DWORD size, BYTE* out, DWORD* len) {
    if (out == nullptr) {
        *len = size;
        return TRUE;
    }
    if (*len < size) {
        *len = size;
        return failure(ERROR_MORE_DATA);
    }
    std::memcpy(out, data, size);
    *len = size;
    return TRUE;
}

void put_dword(BYTE* out, DWORD v) { std::memcpy(out, &v, sizeof v); }  // little-endian, as on Windows

}  // namespace

extern "C" {

DWORD GetLastError() { return last_error; }

void SetLastError(DWORD code) { last_error = code; }

BOOL CryptAcquireContextA(HCRYPTPROV* phProv, LPCSTR /*szContainer*/, LPCSTR szProvider, DWORD dwProvType,
                          DWORD dwFlags) {
    if (phProv == nullptr) return failure(ERROR_INVALID_PARAMETER);
    *phProv = 0;
    if (dwFlags & ~(CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) return failure(NTE_BAD_FLAGS);
    if (dwProvType != PROV_RSA_FULL) return failure(NTE_PROV_TYPE_NOT_DEF);
    if (szProvider != nullptr && !known_provider(szProvider)) return failure(NTE_KEYSET_NOT_DEF);
    if (!(dwFlags & CRYPT_VERIFYCONTEXT)) return failure(NTE_BAD_KEYSET);
    try {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        const HCRYPTPROV h = r.next++;
        r.contexts.emplace(h, true);
        *phProv = h;
        return TRUE;
    } catch (...) {
        return failure(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.contexts.find(hProv) == r.contexts.end()) return failure(ERROR_INVALID_HANDLE);
    if (dwFlags != 0) return failure(NTE_BAD_FLAGS);
    for (auto it = r.hashes.begin(); it != r.hashes.end();)
        it = it->second.owner == hProv ? r.hashes.erase(it) : std::next(it);
    r.contexts.erase(hProv);
    return TRUE;
}

BOOL CryptCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags, HCRYPTHASH* phHash) {
    if (phHash == nullptr) return failure(ERROR_INVALID_PARAMETER);
    try {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        if (r.contexts.find(hProv) == r.contexts.end()) return failure(ERROR_INVALID_HANDLE);
        if (Algid != CALG_MD5) return failure(NTE_BAD_ALGID);
        if (dwFlags != 0) return failure(NTE_BAD_FLAGS);
        if (hKey != 0) return failure(NTE_BAD_KEY);
        Hash hash;
        hash.owner = hProv;
        hash.md.reset(EVP_MD_CTX_new());
        if (!hash.md || EVP_DigestInit_ex(hash.md.get(), EVP_md5(), nullptr) != 1)
            return failure(ERROR_NOT_ENOUGH_MEMORY);
        const HCRYPTHASH h = r.next++;
        r.hashes.emplace(h, std::move(hash));
        *phHash = h;
        return TRUE;
    } catch (...) {
        return failure(ERROR_NOT_ENOUGH_MEMORY);
    }
}

BOOL CryptHashData(HCRYPTHASH hHash, const BYTE* pbData, DWORD dwDataLen, DWORD dwFlags) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.hashes.find(hHash);
    if (it == r.hashes.end()) return failure(ERROR_INVALID_HANDLE);
    if (dwFlags != 0) return failure(NTE_BAD_FLAGS);
    if (pbData == nullptr && dwDataLen != 0) return failure(ERROR_INVALID_PARAMETER);
    Hash& hash = it->second;
    if (hash.finished) return failure(NTE_BAD_HASH_STATE);
    if (dwDataLen != 0 && EVP_DigestUpdate(hash.md.get(), pbData, dwDataLen) != 1)
        return failure(NTE_BAD_HASH_STATE);
    return TRUE;
}

BOOL CryptGetHashParam(HCRYPTHASH hHash, DWORD dwParam, BYTE* pbData, DWORD* pdwDataLen, DWORD dwFlags) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.hashes.find(hHash);
    if (it == r.hashes.end()) return failure(ERROR_INVALID_HANDLE);
    if (dwFlags != 0) return failure(NTE_BAD_FLAGS);
    if (pdwDataLen == nullptr) return failure(ERROR_INVALID_PARAMETER);
    Hash& hash = it->second;
    BYTE word[4];
    switch (dwParam) {
    case HP_ALGID:
        put_dword(word, CALG_MD5);
        return answer(word, sizeof word, pbData, pdwDataLen);
    case HP_HASHSIZE:
        put_dword(word, kMd5Size);
        return answer(word, sizeof word, pbData, pdwDataLen);
    case HP_HASHVAL:
        // Any read with a buffer finalises, even one that is too small.
        if (pbData != nullptr && !hash.finished) {
            unsigned int n = 0;
            if (EVP_DigestFinal_ex(hash.md.get(), hash.value, &n) != 1 || n != kMd5Size)
                return failure(NTE_BAD_HASH_STATE);
            hash.finished = true;
        }
        return answer(hash.value, kMd5Size, pbData, pdwDataLen);
    default: return failure(NTE_BAD_TYPE);
    }
}

BOOL CryptDestroyHash(HCRYPTHASH hHash) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (r.hashes.erase(hHash) == 0) return failure(ERROR_INVALID_HANDLE);
    return TRUE;
}

}  // extern "C"
