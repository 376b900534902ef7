// Requests as the client's packet code builds them, and answers read back with it, as tests
// exchange them with the reference server.
#pragma once

#include "auth/packet.h"
#include "tests/common/auth_server.h"

#include <optional>
#include <vector>

namespace test {

// The request `r`, with the local address chunk of `local_ip` (4 bytes) when given.
test_bytes request_bytes(const auth::request& r, const unsigned char* local_ip = nullptr);

struct answer_chunk {
    int type;
    test_bytes data;
};

struct parsed_answer {
    auth::verdict verdict = auth::verdict::ignore;
    std::vector<answer_chunk> chunks;
    std::optional<auth::server_random> random;
    std::optional<unsigned> code;
};

parsed_answer parse_answer(const test_bytes& answer);

} // namespace test
