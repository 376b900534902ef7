// The auth packet: magic word, type-length-value chunks, end marker. Portable, stateless code
// over byte buffers; the worker does the sockets and the logging.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace auth {

constexpr std::uint16_t magic_word = 0x4C44;     // bytes 0x44, 0x4C on the wire
constexpr std::size_t packet_buffer_size = 8192; // send and receive buffers alike
constexpr int max_answer_chunks = 64;

// Chunk type ids, both directions.
enum chunk_type : unsigned char {
    chunk_random_request = 1,
    chunk_encrypted_random = 2,
    chunk_login = 7,
    chunk_local_ip = 10,
    chunk_client_version = 13,
    chunk_disconnect_request = 31,
    chunk_server_random = 101,
    chunk_info_header = 121,
    chunk_info_data = 122,
    chunk_info_params = 123,
    chunk_error_code = 255,
};

using des_key = std::array<unsigned char, 8>;
using server_random = std::array<unsigned char, 8>; // all zero: none held

// The password cut to 8 bytes or padded with spaces; bytes used as they are.
des_key make_key(const std::string& password);

// DES encryption of the server's random message, first received byte most significant.
std::array<unsigned char, 8> encrypt_random(const des_key& key, const server_random& random);

// Request elements in packet order, so the worker can log each one as it is written.
enum class element {
    magic_word,
    login,
    client_version,
    random_request,
    encrypted_random,
    disconnect_request,
    local_ip,
    end_of_chunks,
};

// "<- Magic word", "<- Login", ..., "<- local IP", "<- End of chunks".
const char* element_log_text(element e);

using element_sink = std::function<void(element)>;

struct request {
    const std::string* login = nullptr; // a login chunk only when given (even if empty)
    std::string version;                // "WIN-" + version, as the client_version data
    server_random random{};             // encrypted_random only when not all zero
    des_key key{};
    bool disconnect = false;
};

// The longest login whose request still fits the buffer with a local_ip chunk appended.
std::size_t max_login_size(const std::string& version);

// Writes the magic word, the present chunks and the end marker into `buffer` (at least
// packet_buffer_size bytes), telling `sink` (may be empty) of each element in order. Returns the
// offset of the end marker. A login longer than max_login_size raises ex::c_exception before
// anything is written.
std::size_t build_request(unsigned char* buffer, const request& r, const element_sink& sink);

// Writes the local_ip chunk (address and port in network order, as the socket reports them)
// over the end marker at `end_marker` and a new end marker behind it; returns the new offset.
// Raises ex::c_exception if the chunk would not fit the buffer (never after build_request).
std::size_t append_local_ip(unsigned char* buffer, std::size_t end_marker,
                            const unsigned char address[4], const unsigned char port[2],
                            const element_sink& sink);

// Bytes to send: the walk over the chunks from offset 2 up to the end marker, plus 4.
std::size_t request_size(const unsigned char* buffer);

enum class verdict { ignore, wrong_magic, broken_chunks, well_formed };

// Never reads outside the `received` bytes. Two bytes or fewer: ignore. A chunk or end marker
// that does not lie wholly within the received bytes, more than 64 chunks, a server_random with
// fewer than 8 data bytes or an error_code with fewer than 2: broken chunks.
verdict check_answer(const unsigned char* buffer, std::size_t received);

using chunk_handler =
    std::function<void(unsigned char type, const unsigned char* data, std::size_t length)>;

// Hands each chunk of a well-formed answer to `handler`, in packet order; any other answer
// hands nothing. Data lengths of server_random (>= 8) and error_code (>= 2) are guaranteed.
void read_answer(const unsigned char* buffer, std::size_t received, const chunk_handler& handler);

// Little-endian readers for answer chunk data (the caller has checked the sizes).
std::uint16_t read_error_code(const unsigned char* data);
std::int64_t read_random_as_number(const unsigned char* data);

// The user's text for a non-zero server error code: 1001..1008, or the generic text.
std::string server_error_text(std::uint16_t code);

// "Сервер авторизации вернул неподдерживаемый тип данных: ID=" + id + "."
std::string unsupported_type_text(unsigned type);

} // namespace auth
