#include "auth/packet.h"

#include "support/des.h"
#include "support/exception.h"
#include "support/text.h"

#include <cstring>

namespace auth {

namespace {

// Length field, type byte, data: what a chunk costs on top of its data.
constexpr std::size_t chunk_overhead = 3;
constexpr std::size_t length_size = 2;
constexpr std::size_t local_ip_chunk = length_size + 7;

void put16(unsigned char* p, std::size_t value) {
    p[0] = static_cast<unsigned char>(value & 0xFF);
    p[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

std::size_t get16(const unsigned char* p) {
    return static_cast<std::size_t>(p[0]) | (static_cast<std::size_t>(p[1]) << 8);
}

void notify(const element_sink& sink, element e) {
    if (sink)
        sink(e);
}

std::size_t put_chunk(unsigned char* at, unsigned char type, const unsigned char* data,
                      std::size_t length) {
    at[2] = type;
    if (length)
        std::memcpy(at + 3, data, length);
    put16(at, length + 1);
    return length_size + length + 1;
}

bool all_zero(const server_random& random) {
    for (unsigned char b : random)
        if (b)
            return false;
    return true;
}

// The one walk over answer chunks that both checking and reading share, so that reading can
// never go where checking did not look. Calls `visit` for each chunk wholly inside the
// received bytes.
template <class Visit>
verdict walk(const unsigned char* buffer, std::size_t received, Visit&& visit) {
    if (received <= 2)
        return verdict::ignore;
    if (get16(buffer) != magic_word)
        return verdict::wrong_magic;
    std::size_t position = 2;
    int chunks = 0;
    for (;;) {
        if (received - position < length_size)
            return verdict::broken_chunks; // the end marker is not among the received bytes
        const std::size_t length = get16(buffer + position);
        if (length == 0)
            return verdict::well_formed;
        if (++chunks > max_answer_chunks)
            return verdict::broken_chunks;
        if (received - position - length_size < length)
            return verdict::broken_chunks; // type or data runs past the received bytes
        const unsigned char type = buffer[position + 2];
        const unsigned char* data = buffer + position + 3;
        const std::size_t data_length = length - 1;
        if ((type == chunk_server_random && data_length < 8) ||
            (type == chunk_error_code && data_length < 2))
            return verdict::broken_chunks;
        visit(type, data, data_length);
        position += length_size + length;
    }
}

} // namespace

des_key make_key(const std::string& password) {
    des_key key;
    key.fill(' ');
    std::memcpy(key.data(), password.data(), password.size() < 8 ? password.size() : 8);
    return key;
}

std::array<unsigned char, 8> encrypt_random(const des_key& key, const server_random& random) {
    des_context context;
    des_set_key(context, key.data());
    std::array<unsigned char, 8> out{};
    des_crypt_block(context, random.data(), out.data(), 0);
    return out;
}

const char* element_log_text(element e) {
    switch (e) {
    case element::magic_word:
        return "<- Magic word";
    case element::login:
        return "<- Login";
    case element::client_version:
        return "<- Client version";
    case element::random_request:
        return "<- Request for server random message";
    case element::encrypted_random:
        return "<- Encrypted server random message";
    case element::disconnect_request:
        return "<- Request to disconnect";
    case element::local_ip:
        return "<- local IP";
    case element::end_of_chunks:
        return "<- End of chunks";
    }
    return "";
}

namespace {

// Everything a request can hold besides the login's data, the local_ip chunk appended later
// included.
std::size_t room_without_login(const std::string& version) {
    return 2 + chunk_overhead + (chunk_overhead + version.size()) + chunk_overhead +
           (chunk_overhead + 8) + chunk_overhead + local_ip_chunk + length_size;
}

} // namespace

std::size_t max_login_size(const std::string& version) {
    const std::size_t rest = room_without_login(version);
    return rest < packet_buffer_size ? packet_buffer_size - rest : 0;
}

std::size_t build_request(unsigned char* buffer, const request& r, const element_sink& sink) {
    const std::size_t login_size = r.login ? r.login->size() : 0;
    if (room_without_login(r.version) + login_size > packet_buffer_size)
        EX_RAISE(ex::c_exception, "Слишком длинный логин.");

    put16(buffer, magic_word);
    notify(sink, element::magic_word);
    std::size_t at = 2;
    if (r.login) {
        at += put_chunk(buffer + at, chunk_login,
                        reinterpret_cast<const unsigned char*>(r.login->data()), login_size);
        notify(sink, element::login);
    }
    at += put_chunk(buffer + at, chunk_client_version,
                    reinterpret_cast<const unsigned char*>(r.version.data()), r.version.size());
    notify(sink, element::client_version);
    at += put_chunk(buffer + at, chunk_random_request, nullptr, 0);
    notify(sink, element::random_request);
    if (!all_zero(r.random)) {
        const auto answer = encrypt_random(r.key, r.random);
        at += put_chunk(buffer + at, chunk_encrypted_random, answer.data(), answer.size());
        notify(sink, element::encrypted_random);
    }
    if (r.disconnect) {
        at += put_chunk(buffer + at, chunk_disconnect_request, nullptr, 0);
        notify(sink, element::disconnect_request);
    }
    put16(buffer + at, 0);
    notify(sink, element::end_of_chunks);
    return at;
}

std::size_t append_local_ip(unsigned char* buffer, std::size_t end_marker,
                            const unsigned char address[4], const unsigned char port[2],
                            const element_sink& sink) {
    if (end_marker > packet_buffer_size - local_ip_chunk - length_size)
        EX_RAISE(ex::c_exception, "Слишком длинный логин.");
    unsigned char data[6];
    std::memcpy(data, address, 4);
    std::memcpy(data + 4, port, 2);
    const std::size_t at = end_marker + put_chunk(buffer + end_marker, chunk_local_ip, data, 6);
    notify(sink, element::local_ip);
    put16(buffer + at, 0);
    notify(sink, element::end_of_chunks);
    return at;
}

std::size_t request_size(const unsigned char* buffer) {
    std::size_t size = 0;
    std::size_t position = 2;
    // The buffer bound only matters for a buffer that build_request did not fill.
    while (position + length_size <= packet_buffer_size) {
        const std::size_t length = get16(buffer + position);
        if (length == 0)
            break;
        size += length_size + length;
        position += length_size + length;
    }
    return size + 4;
}

verdict check_answer(const unsigned char* buffer, std::size_t received) {
    return walk(buffer, received, [](unsigned char, const unsigned char*, std::size_t) {});
}

void read_answer(const unsigned char* buffer, std::size_t received, const chunk_handler& handler) {
    // Chunks reach the handler only once the whole answer is known to be sound.
    if (check_answer(buffer, received) != verdict::well_formed)
        return;
    walk(buffer, received, [&](unsigned char type, const unsigned char* data, std::size_t length) {
        handler(type, data, length);
    });
}

std::uint16_t read_error_code(const unsigned char* data) {
    return static_cast<std::uint16_t>(get16(data));
}

std::int64_t read_random_as_number(const unsigned char* data) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | data[i];
    // Two's complement without relying on an implementation-defined conversion.
    return value <= static_cast<std::uint64_t>(INT64_MAX) ? static_cast<std::int64_t>(value)
                                                          : -static_cast<std::int64_t>(~value) - 1;
}

std::string server_error_text(std::uint16_t code) {
    switch (code) {
    case 1001:
        return "Неверный пароль";
    case 1002:
        return "Ошибка протокола";
    case 1003:
        return "Ошибка при авторизации";
    case 1004:
        return "IP-адрес занят";
    case 1005:
        return "Нет действующего платежа";
    case 1006:
        return "Аккаунт заблокирован";
    case 1007:
        return "Включен режим \"Без авторизации\"";
    case 1008:
        return "Неверный IP-адрес клиента";
    }
    std::string text = "Сервер авторизации вернул код ошибки: ";
    text << static_cast<unsigned>(code) << ".";
    return text;
}

std::string unsupported_type_text(unsigned type) {
    std::string text = "Сервер авторизации вернул неподдерживаемый тип данных: ID=";
    text << type << ".";
    return text;
}

} // namespace auth
