// Cross-check against an independent DES: libcrypto's, in the native build only.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "support/des.h"

#include <gtest/gtest.h>
#include <openssl/des.h>

#include <cstring>
#include <random>

namespace {

TEST(DesAgainstLibcrypto, RandomKeysAndBlocksAgreeBothWays) {
    std::mt19937_64 random(20261210);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t k = random(), p = random();
        unsigned char key[8], plain[8], ours[8], back[8];
        std::memcpy(key, &k, 8);
        std::memcpy(plain, &p, 8);
        des_context context;
        des_set_key(context, key);
        des_crypt_block(context, plain, ours, 0);

        DES_cblock theirs_key;
        std::memcpy(theirs_key, key, 8);
        DES_key_schedule schedule;
        DES_set_key_unchecked(&theirs_key, &schedule);
        DES_cblock in, theirs;
        std::memcpy(in, plain, 8);
        DES_ecb_encrypt(&in, &theirs, &schedule, DES_ENCRYPT);
        ASSERT_EQ(std::memcmp(ours, theirs, 8), 0) << "case " << i;

        des_crypt_block(context, ours, back, 1);
        ASSERT_EQ(std::memcmp(back, plain, 8), 0) << "case " << i;
    }
}

} // namespace
