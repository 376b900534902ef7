// The challenge answer against an independent DES: libcrypto's, in the native build only.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "auth/packet.h"
#include "authclient_version.h"

#include <gtest/gtest.h>
#include <openssl/des.h>

#include <cstring>
#include <memory>
#include <random>

namespace {

TEST(ChallengeAnswer, AgreesWithLibcryptoForRandomPasswordsAndChallenges) {
    std::mt19937_64 random(20261211);
    const std::string version = "WIN-" AUTHCLIENT_VERSION;
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[auth::packet_buffer_size]());
    for (int i = 0; i < 5000; ++i) {
        std::string password(random() % 13, '\0');
        for (char& c : password)
            c = static_cast<char>(random() & 0xFF);
        auth::server_random challenge{};
        const std::uint64_t r = random() | 1; // never all zero
        std::memcpy(challenge.data(), &r, 8);

        // The key as the password's bytes, cut to 8 or padded with spaces.
        DES_cblock key;
        std::memset(key, ' ', 8);
        std::memcpy(key, password.data(), password.size() < 8 ? password.size() : 8);
        DES_key_schedule schedule;
        DES_set_key_unchecked(&key, &schedule);
        DES_cblock in, expected;
        std::memcpy(in, challenge.data(), 8);
        DES_ecb_encrypt(&in, &expected, &schedule, DES_ENCRYPT);

        auth::request request;
        request.version = version;
        request.random = challenge;
        request.key = auth::make_key(password);
        auth::build_request(buffer.get(), request, nullptr);
        // magic 2, version chunk, random request 3, then length and type of the answer
        const std::size_t answer = 2 + (3 + version.size()) + 3;
        ASSERT_EQ(buffer[answer + 2], auth::chunk_encrypted_random);
        const unsigned char* data = buffer.get() + answer + 3;
        ASSERT_EQ(std::memcmp(data, expected, 8), 0)
            << "case " << i << ", password length " << password.size();
    }
}

} // namespace
