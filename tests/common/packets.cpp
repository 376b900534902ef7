#include "tests/common/packets.h"

#include <cstring>

namespace test {

test_bytes request_bytes(const auth::request& r, const unsigned char* local_ip) {
    test_bytes buffer(auth::packet_buffer_size);
    const std::size_t end = auth::build_request(buffer.data(), r, nullptr);
    if (local_ip)
        auth::append_local_ip(buffer.data(), end, local_ip, local_ip + 4, nullptr);
    buffer.resize(auth::request_size(buffer.data()));
    return buffer;
}

parsed_answer parse_answer(const test_bytes& answer) {
    parsed_answer p;
    p.verdict = auth::check_answer(answer.data(), answer.size());
    auth::read_answer(answer.data(), answer.size(),
                      [&](unsigned char type, const unsigned char* data, std::size_t size) {
                          p.chunks.push_back({type, test_bytes(data, data + size)});
                          if (type == auth::chunk_server_random) {
                              p.random.emplace();
                              std::memcpy(p.random->data(), data, 8);
                          } else if (type == auth::chunk_error_code) {
                              p.code = auth::read_error_code(data);
                          }
                      });
    return p;
}

} // namespace test
