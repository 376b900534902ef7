#include "auth/packet.h"

#include "authclient_version.h"
#include "support/exception.h"
#include "tests/common/case_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

using bytes = std::vector<unsigned char>;

// The version chunk's text, as the client sends it.
const std::string version = "WIN-" AUTHCLIENT_VERSION;

bytes text_bytes(const std::string& s) {
    return bytes(s.begin(), s.end());
}

bytes concat(std::initializer_list<bytes> parts) {
    bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A request built into a buffer of exactly packet_buffer_size bytes, so that writing past it is
// caught by the sanitizers.
struct built {
    std::unique_ptr<unsigned char[]> buffer{new unsigned char[auth::packet_buffer_size]()};
    std::size_t end_marker = 0;
    std::vector<std::string> log;

    auth::element_sink sink() {
        return [this](auth::element e) { log.push_back(auth::element_log_text(e)); };
    }
    bytes packet() const {
        return bytes(buffer.get(), buffer.get() + auth::request_size(buffer.get()));
    }
};

TEST(Request, FirstRequestWithoutLoginIsMagicVersionAndRandomRequest) {
    built b;
    auth::request r;
    r.version = version;
    b.end_marker = auth::build_request(b.buffer.get(), r, b.sink());

    const bytes expected =
        concat({{0x44, 0x4C, static_cast<unsigned char>(version.size() + 1), 0x00, 0x0D},
                text_bytes(version),
                {0x01, 0x00, 0x01, 0x00, 0x00}});
    EXPECT_EQ(b.packet(), expected);
    EXPECT_EQ(b.end_marker, expected.size() - 2);
    EXPECT_EQ(b.log, (std::vector<std::string>{"<- Magic word", "<- Client version",
                                               "<- Request for server random message",
                                               "<- End of chunks"}));
}

TEST(Request, LoginEncryptedRandomDisconnectAndLocalIp) {
    // The key and block of a published DES vector, to pin the byte order of the answer.
    const std::string password("\x13\x34\x57\x79\x9B\xBC\xDF\xF1", 8);
    built b;
    const std::string login = "user";
    auth::request r;
    r.login = &login;
    r.version = version;
    r.random = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    r.key = auth::make_key(password);
    r.disconnect = true;
    b.end_marker = auth::build_request(b.buffer.get(), r, b.sink());

    const bytes head = {0x44, 0x4C, 0x05, 0x00, 0x07,
                        'u',  's',  'e',  'r',  static_cast<unsigned char>(version.size() + 1),
                        0x00, 0x0D};
    const bytes expected =
        concat({head,
                text_bytes(version),
                {0x01, 0x00, 0x01},
                {0x09, 0x00, 0x02, 0x85, 0xE8, 0x13, 0x54, 0x0F, 0x0A, 0xB4, 0x05},
                {0x01, 0x00, 0x1F},
                {0x00, 0x00}});
    EXPECT_EQ(b.packet(), expected);
    EXPECT_EQ(b.end_marker, expected.size() - 2);
    EXPECT_EQ(b.log, (std::vector<std::string>{"<- Magic word", "<- Login", "<- Client version",
                                               "<- Request for server random message",
                                               "<- Encrypted server random message",
                                               "<- Request to disconnect", "<- End of chunks"}));

    // Address and port go in as the socket reports them, in network order.
    const unsigned char address[4] = {127, 0, 0, 1};
    const unsigned char port[2] = {0x1F, 0x90};
    b.log.clear();
    const std::size_t end =
        auth::append_local_ip(b.buffer.get(), b.end_marker, address, port, b.sink());
    bytes with_ip(expected.begin(), expected.end() - 2);
    with_ip.insert(with_ip.end(), {0x07, 0x00, 0x0A, 127, 0, 0, 1, 0x1F, 0x90, 0x00, 0x00});
    EXPECT_EQ(b.packet(), with_ip);
    EXPECT_EQ(end, with_ip.size() - 2);
    EXPECT_EQ(b.log, (std::vector<std::string>{"<- local IP", "<- End of chunks"}));
}

TEST(Request, EmptyLoginStillGivesALoginChunk) {
    built b;
    const std::string login;
    auth::request r;
    r.login = &login;
    r.version = version;
    auth::build_request(b.buffer.get(), r, nullptr);
    const bytes p = b.packet();
    ASSERT_GE(p.size(), 5u);
    EXPECT_EQ(bytes(p.begin() + 2, p.begin() + 5), (bytes{0x01, 0x00, 0x07}));
    EXPECT_EQ(p.size(), 2 + 3 + (3 + version.size()) + 3 + 2);
}

TEST(Request, AnyNonZeroRandomByteBringsTheEncryptedChunk) {
    for (int i = 0; i < 8; ++i) {
        built b;
        auth::request r;
        r.version = version;
        r.random[i] = 0x80;
        auth::build_request(b.buffer.get(), r, nullptr);
        EXPECT_EQ(b.packet().size(), 2 + (3 + version.size()) + 3 + 11 + 2) << "random byte " << i;
    }
}

TEST(Request, LongestLoginFitsWithLocalIpAndLongerIsRefused) {
    std::string login(auth::max_login_size(version), 'a');
    built b;
    auth::request r;
    r.login = &login;
    r.version = version;
    r.random = {1, 2, 3, 4, 5, 6, 7, 8};
    r.disconnect = true;
    const std::size_t end = auth::build_request(b.buffer.get(), r, nullptr);
    const unsigned char address[4] = {10, 0, 0, 1}, port[2] = {0, 80};
    auth::append_local_ip(b.buffer.get(), end, address, port, nullptr);
    EXPECT_EQ(auth::request_size(b.buffer.get()), auth::packet_buffer_size);

    login += 'a';
    std::memset(b.buffer.get(), 0xEE, auth::packet_buffer_size);
    EXPECT_THROW(auth::build_request(b.buffer.get(), r, nullptr), ex::c_exception);
    EXPECT_EQ(b.buffer[0], 0xEE); // refused before writing anything

    r.login = nullptr;
    r.version.assign(auth::packet_buffer_size - 20, 'v');
    EXPECT_THROW(auth::build_request(b.buffer.get(), r, nullptr), ex::c_exception);
}

struct key_case {
    const char* name;
    std::string password;
    std::string key;
};

void PrintTo(const key_case& c, std::ostream* os) {
    *os << c.password.size() << " bytes";
}

class Key : public ::testing::TestWithParam<key_case> {};

TEST_P(Key, CutOrPaddedWithSpaces) {
    const auto key = auth::make_key(GetParam().password);
    EXPECT_EQ(std::string(key.begin(), key.end()), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, Key,
    ::testing::Values(key_case{"Empty", "", "        "}, key_case{"Short", "abc", "abc     "},
                      key_case{"EightBytes", "12345678", "12345678"},
                      key_case{"Longer", "123456789012", "12345678"},
                      key_case{"NulInside", std::string("a\0b", 3), std::string("a\0b     ", 8)},
                      key_case{"Cyrillic", "\xCF\xE0\xF0\xEE\xEB\xFC",
                               "\xCF\xE0\xF0\xEE\xEB\xFC  "}),
    test::case_name());

// ---- answers ----

struct answer {
    bytes b{0x44, 0x4C};
    answer& chunk(unsigned char type, const bytes& data) {
        const std::size_t length = data.size() + 1;
        b.push_back(static_cast<unsigned char>(length & 0xFF));
        b.push_back(static_cast<unsigned char>(length >> 8));
        b.push_back(type);
        b.insert(b.end(), data.begin(), data.end());
        return *this;
    }
    answer& end() {
        b.insert(b.end(), {0, 0});
        return *this;
    }
};

const bytes some_random = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};

bytes full_answer() {
    return answer()
        .chunk(auth::chunk_server_random, some_random)
        .chunk(auth::chunk_info_header, text_bytes("Head"))
        .chunk(auth::chunk_info_data, text_bytes("Body"))
        .chunk(auth::chunk_info_params, text_bytes("icon=1"))
        .chunk(auth::chunk_error_code, {0, 0})
        .end()
        .b;
}

bytes many_chunks(int n) {
    answer a;
    for (int i = 0; i < n; ++i)
        a.chunk(auth::chunk_info_params, {});
    return a.end().b;
}

// Checks a copy held in a buffer of exactly the received size.
auth::verdict check_exact(const bytes& received) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[received.size()]);
    if (!received.empty())
        std::memcpy(copy.get(), received.data(), received.size());
    return auth::check_answer(copy.get(), received.size());
}

struct check_case {
    const char* name;
    bytes received;
    auth::verdict expected;
};

void PrintTo(const check_case& c, std::ostream* os) {
    *os << c.name;
}

class Check : public ::testing::TestWithParam<check_case> {};

TEST_P(Check, Verdict) {
    EXPECT_EQ(check_exact(GetParam().received), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Check,
    ::testing::Values(
        check_case{"Nothing", {}, auth::verdict::ignore},
        check_case{"OneByte", {0x44}, auth::verdict::ignore},
        check_case{"MagicOnly", {0x44, 0x4C}, auth::verdict::ignore},
        check_case{"SwappedMagic", {0x4C, 0x44, 0x00, 0x00}, auth::verdict::wrong_magic},
        check_case{"MagicAndEndMarker", {0x44, 0x4C, 0x00, 0x00}, auth::verdict::well_formed},
        check_case{"HalfAnEndMarker", {0x44, 0x4C, 0x00}, auth::verdict::broken_chunks},
        check_case{"Full", full_answer(), auth::verdict::well_formed},
        check_case{"SixtyFourChunks", many_chunks(64), auth::verdict::well_formed},
        check_case{"SixtyFiveChunks", many_chunks(65), auth::verdict::broken_chunks},
        check_case{"BytesAfterTheEndMarker",
                   concat({answer().chunk(auth::chunk_error_code, {0, 0}).end().b, {1, 2, 3}}),
                   auth::verdict::well_formed},
        check_case{"ChunkLengthPastTheEnd",
                   {0x44, 0x4C, 0x20, 0x00, auth::chunk_info_data, 'a', 'b', 0x00, 0x00},
                   auth::verdict::broken_chunks},
        check_case{"ShortServerRandom",
                   answer().chunk(auth::chunk_server_random, {1, 2, 3, 4, 5, 6, 7}).end().b,
                   auth::verdict::broken_chunks},
        check_case{"ShortErrorCode", answer().chunk(auth::chunk_error_code, {1}).end().b,
                   auth::verdict::broken_chunks},
        check_case{"LongerServerRandomIsRead",
                   answer().chunk(auth::chunk_server_random, {1, 2, 3, 4, 5, 6, 7, 8, 9}).end().b,
                   auth::verdict::well_formed},
        check_case{"UnsupportedTypeIsWellFormed", answer().chunk(7, {}).end().b,
                   auth::verdict::well_formed}),
    test::case_name());

TEST(Check, EveryTruncationOfAValidAnswerIsBrokenOrIgnored) {
    const bytes whole = full_answer();
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_EQ(check_exact(part), n <= 2 ? auth::verdict::ignore : auth::verdict::broken_chunks)
            << n << " bytes";
    }
}

// The receive buffer is reused: what an earlier, longer answer left behind must not count.
TEST(Check, StaleBytesAfterTheReceivedCountAreNotRead) {
    const bytes whole = full_answer();
    std::vector<unsigned char> buffer(auth::packet_buffer_size, 0);
    std::memcpy(buffer.data(), whole.data(), whole.size());
    for (std::size_t n = 3; n < whole.size(); ++n) {
        EXPECT_EQ(auth::check_answer(buffer.data(), n), auth::verdict::broken_chunks) << n;
        int handed = 0;
        auth::read_answer(buffer.data(), n,
                          [&](unsigned char, const unsigned char*, std::size_t) { ++handed; });
        EXPECT_EQ(handed, 0) << n;
    }
}

struct seen_chunk {
    int type;
    bytes data;
    bool operator==(const seen_chunk& o) const { return type == o.type && data == o.data; }
};

std::vector<seen_chunk> read_all(const bytes& answer) {
    std::vector<seen_chunk> seen;
    auth::read_answer(answer.data(), answer.size(),
                      [&](unsigned char type, const unsigned char* data, std::size_t length) {
                          seen.push_back({type, bytes(data, data + length)});
                      });
    return seen;
}

TEST(Read, HandsEveryChunkInPacketOrder) {
    const bytes a = answer()
                        .chunk(auth::chunk_info_data, text_bytes("first"))
                        .chunk(auth::chunk_server_random, some_random)
                        .chunk(auth::chunk_info_data, text_bytes("second"))
                        .chunk(7, {})
                        .chunk(auth::chunk_error_code, {0xE9, 0x03})
                        .end()
                        .b;
    const std::vector<seen_chunk> expected = {
        {auth::chunk_info_data, text_bytes("first")},  {auth::chunk_server_random, some_random},
        {auth::chunk_info_data, text_bytes("second")}, {7, {}},
        {auth::chunk_error_code, {0xE9, 0x03}},
    };
    EXPECT_EQ(read_all(a), expected);
    EXPECT_EQ(auth::read_error_code(read_all(a)[4].data.data()), 1001);
}

TEST(Read, NothingFromAnAnswerThatIsNotWellFormed) {
    bytes swapped = full_answer();
    std::swap(swapped[0], swapped[1]);
    EXPECT_TRUE(read_all(swapped).empty());
    EXPECT_TRUE(read_all(many_chunks(65)).empty());
    EXPECT_TRUE(read_all({0x44, 0x4C}).empty());
    EXPECT_TRUE(read_all({0x44, 0x4C, 0x00, 0x00}).empty());
}

TEST(Read, RandomAsSignedLittleEndianNumber) {
    const unsigned char one[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    const unsigned char minus_one[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    const unsigned char lowest[8] = {0, 0, 0, 0, 0, 0, 0, 0x80};
    const unsigned char mixed[8] = {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11};
    EXPECT_EQ(auth::read_random_as_number(one), 1);
    EXPECT_EQ(auth::read_random_as_number(minus_one), -1);
    EXPECT_EQ(auth::read_random_as_number(lowest), INT64_MIN);
    EXPECT_EQ(auth::read_random_as_number(mixed), 0x1122334455667788LL);
}

// ---- texts ----

struct text_case {
    unsigned code;
    const char* text;
};

void PrintTo(const text_case& c, std::ostream* os) {
    *os << c.code;
}

class ErrorText : public ::testing::TestWithParam<text_case> {};

TEST_P(ErrorText, ForCode) {
    EXPECT_EQ(auth::server_error_text(static_cast<std::uint16_t>(GetParam().code)),
              GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorText,
    ::testing::Values(text_case{1001, "Неверный пароль"}, text_case{1002, "Ошибка протокола"},
                      text_case{1003, "Ошибка при авторизации"}, text_case{1004, "IP-адрес занят"},
                      text_case{1005, "Нет действующего платежа"},
                      text_case{1006, "Аккаунт заблокирован"},
                      text_case{1007, "Включен режим \"Без авторизации\""},
                      text_case{1008, "Неверный IP-адрес клиента"},
                      text_case{1000, "Сервер авторизации вернул код ошибки: 1000."},
                      text_case{1009, "Сервер авторизации вернул код ошибки: 1009."},
                      text_case{65535, "Сервер авторизации вернул код ошибки: 65535."}),
    [](const ::testing::TestParamInfo<text_case>& info) {
        return "Code" + std::to_string(info.param.code);
    });

TEST(ErrorText, UnsupportedType) {
    EXPECT_EQ(auth::unsupported_type_text(7),
              "Сервер авторизации вернул неподдерживаемый тип данных: ID=7.");
    EXPECT_EQ(auth::unsupported_type_text(0),
              "Сервер авторизации вернул неподдерживаемый тип данных: ID=0.");
}

#ifdef _WIN32
// The user sees these through the A-functions: they must be Windows-1251 bytes.
TEST(ErrorText, IsInTheAnsiCodePage) {
    EXPECT_EQ(auth::server_error_text(1001),
              "\xCD\xE5\xE2\xE5\xF0\xED\xFB\xE9\x20\xEF\xE0\xF0\xEE\xEB\xFC");
}
#endif

} // namespace
