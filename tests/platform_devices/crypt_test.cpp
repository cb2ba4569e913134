#include "crypt_api.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// A call that must fail with this last error.
#define EXPECT_FAILS(call, error)                          \
    do {                                                   \
        SetLastError(0);                                   \
        EXPECT_FALSE(call);                                \
        EXPECT_EQ(GetLastError(), DWORD(error)) << #call;  \
    } while (0)

const BYTE* bytes(const char* s) { return reinterpret_cast<const BYTE*>(s); }

std::string hex(const BYTE* b, DWORD n) {
    std::string s;
    char buf[3];
    for (DWORD i = 0; i < n; ++i) std::snprintf(buf, sizeof buf, "%02x", b[i]), s += buf;
    return s;
}

// The digest of the hash, read the way the plug-in reads it: size query, then the value.
std::string value(HCRYPTHASH h) {
    DWORD len = 0;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, nullptr, &len, 0));
    EXPECT_EQ(len, 16u);
    BYTE v[32] = {};
    len = sizeof v;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, v, &len, 0));
    EXPECT_EQ(len, 16u);
    return hex(v, len);
}

std::string md5(HCRYPTPROV prov, const std::string& text) {
    HCRYPTHASH h = 0;
    if (!CryptCreateHash(prov, CALG_MD5, 0, 0, &h)) return "no hash";
    EXPECT_TRUE(CryptHashData(h, bytes(text.c_str()), DWORD(text.size()), 0));
    const std::string v = value(h);
    EXPECT_TRUE(CryptDestroyHash(h));
    return v;
}

const char* const kAbc = "900150983cd24fb0d6963f7d28e17f72";

class CryptTest : public ::testing::Test {
protected:
    HCRYPTPROV prov = 0;
    HCRYPTHASH h = 0;
    void SetUp() override {
        ASSERT_TRUE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
        ASSERT_TRUE(CryptCreateHash(prov, CALG_MD5, 0, 0, &h));
    }
    void TearDown() override { EXPECT_TRUE(CryptReleaseContext(prov, 0)); }
};

TEST_F(CryptTest, KnownDigestsWholeAndInPieces) {
    EXPECT_EQ(md5(prov, "abc"), kAbc);
    EXPECT_EQ(md5(prov, ""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5(prov, "\\\\?\\usb#vid_046d&pid_0825&mi_00#6&2b0fd4a9&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global"),
              "7c7518a0eecb003ae4f1cd0c388e1db6");
    EXPECT_TRUE(CryptHashData(h, bytes("a"), 1, 0));
    EXPECT_TRUE(CryptHashData(h, nullptr, 0, 0));  // length 0 is allowed
    DWORD len = 0;  // a size query does not finalise
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, nullptr, &len, 0));
    EXPECT_TRUE(CryptHashData(h, bytes("bc"), 2, 0));
    EXPECT_EQ(value(h), kAbc);
}

// Reading the value, even into a buffer too small, finalises the hash.
TEST_F(CryptTest, ReadingTheValueFinalises) {
    EXPECT_TRUE(CryptHashData(h, bytes("abc"), 3, 0));
    BYTE v[16] = {};
    DWORD len = 15;
    EXPECT_FAILS(CryptGetHashParam(h, HP_HASHVAL, v, &len, 0), ERROR_MORE_DATA);
    EXPECT_EQ(len, 16u);
    EXPECT_EQ(v[0], 0u);  // nothing written
    EXPECT_FAILS(CryptHashData(h, bytes("d"), 1, 0), NTE_BAD_HASH_STATE);
    EXPECT_FAILS(CryptHashData(h, nullptr, 0, 0), NTE_BAD_HASH_STATE);
    EXPECT_EQ(value(h), kAbc);
    EXPECT_EQ(value(h), kAbc);  // and again
}

TEST_F(CryptTest, BadArgumentsAndHandles) {
    HCRYPTPROV p = 77;
    EXPECT_FAILS(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, 0), NTE_BAD_KEYSET);
    EXPECT_EQ(p, 0u);
    HCRYPTHASH h2 = 0;
    EXPECT_FAILS(CryptCreateHash(prov, 0x8004 /* SHA-1 */, 0, 0, &h2), NTE_BAD_ALGID);
    EXPECT_FAILS(CryptCreateHash(HCRYPTPROV(0xDEADBEEF00), CALG_MD5, 0, 0, &h2), ERROR_INVALID_HANDLE);
    EXPECT_EQ(h2, 0u);
    BYTE v[16];
    DWORD len = 16;
    EXPECT_FAILS(CryptHashData(h, nullptr, 3, 0), ERROR_INVALID_PARAMETER);
    EXPECT_FAILS(CryptGetHashParam(h, 99, v, &len, 0), NTE_BAD_TYPE);
    EXPECT_FAILS(CryptDestroyHash(prov), ERROR_INVALID_HANDLE);  // a context is not a hash
    // None of that finalised the hash or fed it.
    EXPECT_TRUE(CryptHashData(h, bytes("abc"), 3, 0));
    EXPECT_EQ(value(h), kAbc);
    EXPECT_TRUE(CryptDestroyHash(h));
    EXPECT_FAILS(CryptDestroyHash(h), ERROR_INVALID_HANDLE);
    EXPECT_FAILS(CryptHashData(h, bytes("a"), 1, 0), ERROR_INVALID_HANDLE);
    // Releasing the context takes its hashes with it.
    ASSERT_TRUE(CryptCreateHash(prov, CALG_MD5, 0, 0, &h2));
    EXPECT_TRUE(CryptReleaseContext(prov, 0));
    EXPECT_FAILS(CryptHashData(h2, bytes("a"), 1, 0), ERROR_INVALID_HANDLE);
    ASSERT_TRUE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));  // for TearDown
}

}  // namespace
