// The reference server driven end to end with requests that the packet code builds: proves the
// test helper (start, port, control, request records) on every platform, Wine included.
#include "auth/packet.h"
#include "authclient_version.h"
#include "tests/common/auth_server.h"
#include "tests/common/packets.h"

#include <gtest/gtest.h>

namespace {

using server = test_auth_server;

using test::parse_answer;
using test::request_bytes;

class Smoke : public ::testing::TestWithParam<bool> {
protected:
    std::optional<test_bytes> exchange(unsigned short port, const test_bytes& request) {
        return GetParam() ? tcp_exchange(port, request, 10000) : udp_exchange(port, request, 10000);
    }
};

TEST_P(Smoke, ChallengeAnsweredAndRecordsReadBack) {
    server s({"--account", ":pw"});
    ASSERT_NE(s.port(), 0);

    auth::request r;
    r.version = "WIN-" AUTHCLIENT_VERSION;
    r.key = auth::make_key("pw");
    const test_bytes first = request_bytes(r);
    const auto a1 = exchange(s.port(), first);
    ASSERT_TRUE(a1);
    const test::parsed_answer f1 = parse_answer(*a1);
    ASSERT_EQ(f1.verdict, auth::verdict::well_formed);
    ASSERT_TRUE(f1.random);
    EXPECT_EQ(f1.code, 0u);

    const auto j1 = s.next_request(10000);
    ASSERT_TRUE(j1);
    EXPECT_EQ(server::field(*j1, "proto"), GetParam() ? "tcp" : "udp");
    EXPECT_EQ(server::hex_field(*j1, "hex"), first);
    EXPECT_EQ(server::ints_field(*j1, "chunks"), (std::vector<int>{13, 1}));
    EXPECT_EQ(server::field(*j1, "version"), r.version);
    EXPECT_TRUE(server::is_null(*j1, "login"));
    EXPECT_TRUE(server::is_null(*j1, "verified"));
    const test_bytes given = server::hex_field(*j1, "random");
    EXPECT_EQ(given, test_bytes(f1.random->begin(), f1.random->end()));

    r.random = *f1.random;
    const auto a2 = exchange(s.port(), request_bytes(r));
    ASSERT_TRUE(a2);
    EXPECT_EQ(parse_answer(*a2).code, 0u);
    const auto j2 = s.next_request(10000);
    ASSERT_TRUE(j2);
    EXPECT_TRUE(server::bool_field(*j2, "encrypted_random"));
    EXPECT_TRUE(server::bool_field(*j2, "verified"));
    EXPECT_EQ(server::int_field(*j2, "seq"), 2);
}

INSTANTIATE_TEST_SUITE_P(Protocols, Smoke, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Tcp" : "Udp");
                         });

} // namespace
