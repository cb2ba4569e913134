#include "crypt_api.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

class CryptTest : public ::testing::Test {
protected:
    HCRYPTPROV prov = 0;

    void SetUp() override {
        ASSERT_TRUE(CryptAcquireContextA(&prov, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
        ASSERT_NE(prov, 0u);
    }
    void TearDown() override {
        if (prov) {
            EXPECT_TRUE(CryptReleaseContext(prov, 0));
        }
    }

    HCRYPTHASH new_hash() {
        HCRYPTHASH h = 0;
        EXPECT_TRUE(CryptCreateHash(prov, CALG_MD5, 0, 0, &h));
        EXPECT_NE(h, 0u);
        return h;
    }

    static std::string hex(const BYTE* b, DWORD n) {
        std::string s;
        char buf[3];
        for (DWORD i = 0; i < n; ++i) {
            std::snprintf(buf, sizeof buf, "%02x", b[i]);
            s += buf;
        }
        return s;
    }

    // The digest of `text`, read the way the plug-in reads it: size query,
    // then the value.
    std::string md5(const std::string& text) {
        HCRYPTHASH h = new_hash();
        EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>(text.data()), DWORD(text.size()), 0));
        DWORD len = 0;
        EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, nullptr, &len, 0));
        EXPECT_EQ(len, 16u);
        BYTE value[32] = {};
        len = sizeof value;
        EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, value, &len, 0));
        EXPECT_EQ(len, 16u);
        EXPECT_TRUE(CryptDestroyHash(h));
        return hex(value, len);
    }
};

TEST_F(CryptTest, KnownDigests) {
    EXPECT_EQ(md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5("\\\\?\\usb#vid_046d&pid_0825&mi_00#6&2b0fd4a9&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global"),
              "7c7518a0eecb003ae4f1cd0c388e1db6");
}

TEST_F(CryptTest, DataInPiecesGivesTheSameDigest) {
    HCRYPTHASH h = new_hash();
    const BYTE a[] = {'a'}, bc[] = {'b', 'c'};
    EXPECT_TRUE(CryptHashData(h, a, 1, 0));
    EXPECT_TRUE(CryptHashData(h, nullptr, 0, 0));  // length 0 is allowed
    EXPECT_TRUE(CryptHashData(h, bc, 2, 0));
    BYTE value[16];
    DWORD len = 16;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, value, &len, 0));
    EXPECT_EQ(hex(value, len), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(CryptDestroyHash(h));
}

TEST_F(CryptTest, HashSizeAndAlgorithm) {
    HCRYPTHASH h = new_hash();
    DWORD len = 0;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHSIZE, nullptr, &len, 0));
    EXPECT_EQ(len, 4u);
    DWORD size = 0;
    len = sizeof size;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &len, 0));
    EXPECT_EQ(size, 16u);
    DWORD alg = 0;
    len = sizeof alg;
    EXPECT_TRUE(CryptGetHashParam(h, HP_ALGID, reinterpret_cast<BYTE*>(&alg), &len, 0));
    EXPECT_EQ(alg, CALG_MD5);
    // Asking for the size does not finalise: data can still be added.
    EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    EXPECT_TRUE(CryptDestroyHash(h));
}

TEST_F(CryptTest, ShortBufferGivesMoreDataAndTheSize) {
    HCRYPTHASH h = new_hash();
    EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    BYTE value[16] = {};
    DWORD len = 15;
    SetLastError(0);
    EXPECT_FALSE(CryptGetHashParam(h, HP_HASHVAL, value, &len, 0));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    EXPECT_EQ(len, 16u);
    EXPECT_EQ(value[0], 0u);  // nothing written
    DWORD word = 0;
    len = 2;
    EXPECT_FALSE(CryptGetHashParam(h, HP_HASHSIZE, reinterpret_cast<BYTE*>(&word), &len, 0));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    EXPECT_EQ(len, 4u);
    // The short read finalised the hash: no more data, same value.
    EXPECT_FALSE(CryptHashData(h, reinterpret_cast<const BYTE*>("d"), 1, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_HASH_STATE);
    len = 16;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, value, &len, 0));
    EXPECT_EQ(hex(value, 16), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(CryptDestroyHash(h));
}

TEST_F(CryptTest, SizeQueryDoesNotFinalise) {
    HCRYPTHASH h = new_hash();
    EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("a"), 1, 0));
    DWORD len = 0;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, nullptr, &len, 0));
    EXPECT_EQ(len, 16u);
    EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("bc"), 2, 0));
    BYTE value[16];
    len = 16;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, value, &len, 0));
    EXPECT_EQ(hex(value, 16), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(CryptDestroyHash(h));
}

TEST_F(CryptTest, ReadingTheValueFinalises) {
    HCRYPTHASH h = new_hash();
    EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    BYTE first[16], second[16];
    DWORD len = 16;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, first, &len, 0));
    SetLastError(0);
    EXPECT_FALSE(CryptHashData(h, reinterpret_cast<const BYTE*>("d"), 1, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_HASH_STATE);
    EXPECT_FALSE(CryptHashData(h, nullptr, 0, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_HASH_STATE);
    len = 16;
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, second, &len, 0));
    EXPECT_EQ(hex(second, 16), hex(first, 16));
    EXPECT_EQ(hex(second, 16), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(CryptDestroyHash(h));
}

TEST_F(CryptTest, AcquireContextFailures) {
    HCRYPTPROV p = 77;
    SetLastError(0);
    EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | 0x1));
    EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
    EXPECT_EQ(p, 0u);
    EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, nullptr, 24, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(GetLastError(), NTE_PROV_TYPE_NOT_DEF);
    EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_KEYSET);
    EXPECT_FALSE(CryptAcquireContextA(&p, nullptr, "Some Other Provider", PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(GetLastError(), NTE_KEYSET_NOT_DEF);
    EXPECT_FALSE(CryptAcquireContextA(nullptr, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    EXPECT_TRUE(CryptAcquireContextA(&p, nullptr, "Microsoft Base Cryptographic Provider v1.0", PROV_RSA_FULL,
                                     CRYPT_VERIFYCONTEXT | CRYPT_SILENT));
    EXPECT_NE(p, 0u);
    EXPECT_NE(p, prov);
    EXPECT_TRUE(CryptReleaseContext(p, 0));
}

TEST_F(CryptTest, CreateHashFailures) {
    HCRYPTHASH h = 0;
    SetLastError(0);
    EXPECT_FALSE(CryptCreateHash(prov, 0x8004 /* SHA-1 */, 0, 0, &h));
    EXPECT_EQ(GetLastError(), NTE_BAD_ALGID);
    EXPECT_FALSE(CryptCreateHash(prov, CALG_MD5, 0, 1, &h));
    EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
    EXPECT_FALSE(CryptCreateHash(prov, CALG_MD5, 5, 0, &h));
    EXPECT_EQ(GetLastError(), NTE_BAD_KEY);
    EXPECT_FALSE(CryptCreateHash(HCRYPTPROV(0xDEADBEEF00), CALG_MD5, 0, 0, &h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CryptCreateHash(0, CALG_MD5, 0, 0, &h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CryptCreateHash(prov, CALG_MD5, 0, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(h, 0u);
}

TEST_F(CryptTest, BadHashHandlesAndArguments) {
    HCRYPTHASH h = new_hash();
    DWORD len = 16;
    BYTE value[16];
    SetLastError(0);
    EXPECT_FALSE(CryptHashData(h, reinterpret_cast<const BYTE*>("a"), 1, 1));
    EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
    EXPECT_FALSE(CryptHashData(h, nullptr, 3, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(CryptGetHashParam(h, 99, value, &len, 0));
    EXPECT_EQ(GetLastError(), NTE_BAD_TYPE);
    EXPECT_FALSE(CryptGetHashParam(h, HP_HASHVAL, value, &len, 1));
    EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
    EXPECT_FALSE(CryptGetHashParam(h, HP_HASHVAL, value, nullptr, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    // None of that finalised the hash or fed it.
    EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    EXPECT_TRUE(CryptGetHashParam(h, HP_HASHVAL, value, &len, 0));
    EXPECT_EQ(hex(value, 16), "900150983cd24fb0d6963f7d28e17f72");

    EXPECT_TRUE(CryptDestroyHash(h));
    SetLastError(0);
    EXPECT_FALSE(CryptDestroyHash(h));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(CryptHashData(h, reinterpret_cast<const BYTE*>("a"), 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_FALSE(CryptGetHashParam(h, HP_HASHVAL, value, &len, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // A context handle is not a hash handle.
    EXPECT_FALSE(CryptDestroyHash(prov));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(CryptTest, ReleaseContextRules) {
    HCRYPTPROV p = 0;
    ASSERT_TRUE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    HCRYPTHASH h = 0;
    ASSERT_TRUE(CryptCreateHash(p, CALG_MD5, 0, 0, &h));
    SetLastError(0);
    EXPECT_FALSE(CryptReleaseContext(p, 1));
    EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
    // Still valid after the refused release.
    EXPECT_TRUE(CryptHashData(h, reinterpret_cast<const BYTE*>("a"), 1, 0));
    EXPECT_TRUE(CryptReleaseContext(p, 0));
    SetLastError(0);
    EXPECT_FALSE(CryptReleaseContext(p, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // The hash went with its context.
    SetLastError(0);
    EXPECT_FALSE(CryptHashData(h, reinterpret_cast<const BYTE*>("a"), 1, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    HCRYPTHASH h2 = 0;
    EXPECT_FALSE(CryptCreateHash(p, CALG_MD5, 0, 0, &h2));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(LastError, IsPerThreadAndSurvivesSuccess) {
    SetLastError(1234);
    DWORD seen_in_other = 99;
    std::thread t([&] {
        seen_in_other = GetLastError();
        SetLastError(5);
    });
    t.join();
    EXPECT_EQ(seen_in_other, 0u);
    EXPECT_EQ(GetLastError(), 1234u);
    HCRYPTPROV p = 0;
    ASSERT_TRUE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    EXPECT_TRUE(CryptReleaseContext(p, 0));
    EXPECT_EQ(GetLastError(), 1234u);
}

TEST(CryptThreads, IndependentHashesOnManyThreads) {
    HCRYPTPROV p = 0;
    ASSERT_TRUE(CryptAcquireContextA(&p, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    std::string results[4];
    std::thread threads[4];
    for (int i = 0; i < 4; ++i)
        threads[i] = std::thread([&, i] {
            for (int round = 0; round < 200; ++round) {
                HCRYPTHASH h = 0;
                if (!CryptCreateHash(p, CALG_MD5, 0, 0, &h)) return;
                CryptHashData(h, reinterpret_cast<const BYTE*>("abc"), 3, 0);
                BYTE v[16];
                DWORD len = 16;
                CryptGetHashParam(h, HP_HASHVAL, v, &len, 0);
                CryptDestroyHash(h);
                char buf[3];
                results[i].clear();
                for (BYTE b : v) {
                    std::snprintf(buf, sizeof buf, "%02x", b);
                    results[i] += buf;
                }
            }
        });
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_TRUE(CryptReleaseContext(p, 0));
}

}  // namespace
