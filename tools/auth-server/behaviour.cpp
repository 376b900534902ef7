#include "tools/auth-server/behaviour.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace server {

namespace {

std::vector<std::string> tokens(const std::string& text) {
    std::vector<std::string> out;
    std::string current;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == ':') {
            if (!current.empty())
                out.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        out.push_back(current);
    return out;
}

// A whole decimal number within [0, max]; no sign, no trailing junk.
bool parse_number(const std::string& text, unsigned long max, unsigned long& out) {
    if (text.empty() || text.size() > 9)
        return false;
    unsigned long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value > max)
        return false;
    out = value;
    return true;
}

void put_chunk(bytes& packet, unsigned char type, const unsigned char* data, std::size_t size) {
    const std::size_t length = size + 1;
    packet.push_back(static_cast<unsigned char>(length & 0xFF));
    packet.push_back(static_cast<unsigned char>(length >> 8));
    packet.push_back(type);
    packet.insert(packet.end(), data, data + size);
}

void put_text_chunk(bytes& packet, unsigned char type, const std::string& text) {
    put_chunk(packet, type, reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

void put_code(bytes& packet, unsigned code) {
    const unsigned char data[2] = {static_cast<unsigned char>(code & 0xFF),
                                   static_cast<unsigned char>((code >> 8) & 0xFF)};
    put_chunk(packet, auth::chunk_error_code, data, 2);
}

void put_end(bytes& packet) {
    packet.push_back(0);
    packet.push_back(0);
}

const char* const stranger_names[] = {"info", "error", "random"};

} // namespace

std::string fault::describe() const {
    std::string s;
    switch (kind) {
    case fault_kind::none:
        return "none";
    case fault_kind::drop:
        return "drop";
    case fault_kind::delay:
        return "delay " + std::to_string(argument);
    case fault_kind::hold:
        return "hold";
    case fault_kind::stall:
        return "stall";
    case fault_kind::magic:
        return "magic";
    case fault_kind::broken:
        return "broken";
    case fault_kind::overlong:
        return "overlong";
    case fault_kind::chunks65:
        return "chunks65";
    case fault_kind::type:
        return "type " + std::to_string(argument);
    case fault_kind::error:
        return "error " + std::to_string(argument);
    case fault_kind::short1:
        return "short1";
    case fault_kind::short2:
        return "short2";
    case fault_kind::raw:
        return "raw " + to_hex(raw.data(), raw.size());
    case fault_kind::drip:
        return "drip " + std::to_string(argument) + " " + std::to_string(interval);
    case fault_kind::norandom:
        return "norandom";
    case fault_kind::stranger:
        return std::string("stranger ") + stranger_names[argument];
    case fault_kind::late:
        return "late " + std::to_string(argument);
    case fault_kind::unreachable:
        return "unreachable";
    }
    return s;
}

std::optional<std::string> parse_fault(const std::string& given, fault& out) {
    static const std::map<std::string, fault_kind> modes = {
        {"none", fault_kind::none},
        {"drop", fault_kind::drop},
        {"delay", fault_kind::delay},
        {"hold", fault_kind::hold},
        {"stall", fault_kind::stall},
        {"magic", fault_kind::magic},
        {"broken", fault_kind::broken},
        {"overlong", fault_kind::overlong},
        {"chunks65", fault_kind::chunks65},
        {"type", fault_kind::type},
        {"error", fault_kind::error},
        {"short1", fault_kind::short1},
        {"short2", fault_kind::short2},
        {"raw", fault_kind::raw},
        {"drip", fault_kind::drip},
        {"norandom", fault_kind::norandom},
        {"stranger", fault_kind::stranger},
        {"late", fault_kind::late},
        {"unreachable", fault_kind::unreachable},
    };
    const auto t = tokens(given);
    if (t.empty())
        return std::string("fault needs a mode");
    const auto mode = modes.find(t[0]);
    if (mode == modes.end())
        return "unknown fault mode '" + t[0] + "'";
    fault f;
    f.kind = mode->second;
    std::size_t next = 1;
    const auto argument = [&](unsigned long max, const char* what) -> std::optional<std::string> {
        if (next >= t.size() || !parse_number(t[next], max, f.argument))
            return t[0] + " needs " + what;
        ++next;
        return std::nullopt;
    };
    std::optional<std::string> problem;
    switch (f.kind) {
    case fault_kind::delay:
        problem = argument(600000, "a delay in ms (0..600000)");
        break;
    case fault_kind::type:
        problem = argument(255, "a type id (0..255)");
        break;
    case fault_kind::error:
        problem = argument(65535, "an error code (0..65535)");
        break;
    case fault_kind::drip:
        problem = argument(65535, "the bytes of each piece (1..65535) and the ms between them");
        if (!problem && f.argument == 0)
            problem = "drip needs at least 1 byte a piece";
        if (!problem && (next >= t.size() || !parse_number(t[next], 600000, f.interval)))
            problem = "drip needs the ms between two pieces (0..600000)";
        if (!problem)
            ++next;
        break;
    case fault_kind::late:
        problem = argument(65507, "the size of the late datagram (0..65507)");
        break;
    case fault_kind::stranger: {
        const char* const* name = next < t.size() ? std::find(std::begin(stranger_names),
                                                              std::end(stranger_names), t[next])
                                                  : std::end(stranger_names);
        if (name == std::end(stranger_names))
            return std::string("stranger needs what to forge: info, error or random");
        f.argument = static_cast<unsigned long>(name - std::begin(stranger_names));
        ++next;
        break;
    }
    case fault_kind::raw: {
        auto data = next < t.size() ? from_hex(t[next]) : std::nullopt;
        if (!data || data->size() > 65507)
            return std::string("raw needs the answer bytes in hex (at most 65507)");
        f.raw = *data;
        ++next;
        break;
    }
    default:
        break;
    }
    if (problem)
        return problem;
    if (next < t.size()) {
        unsigned long count = 0;
        if (f.kind == fault_kind::none || f.kind == fault_kind::unreachable ||
            !parse_number(t[next], 1000000, count) || count == 0)
            return "bad count '" + t[next] + "'";
        f.remaining = static_cast<long>(count);
        ++next;
    }
    if (next < t.size())
        return "unexpected '" + t[next] + "'";
    out = f;
    return std::nullopt;
}

std::optional<std::string> parse_info(const std::string& given, info_message& out) {
    if (given == "none") {
        out = info_message{};
        return std::nullopt;
    }
    info_message m;
    std::string* fields[3] = {&m.header, &m.data, &m.params};
    int field = 0;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const char c = given[i];
        if (c == '|') {
            if (++field > 2)
                return std::string("info has at most three fields");
            continue;
        }
        if (c != '\\') {
            *fields[field] += c;
            continue;
        }
        if (++i == given.size())
            return std::string("info ends in a lone backslash");
        switch (given[i]) {
        case 'n':
            *fields[field] += '\n';
            break;
        case 'r':
            *fields[field] += '\r';
            break;
        case 't':
            *fields[field] += '\t';
            break;
        case '\\':
            *fields[field] += '\\';
            break;
        case '|':
            *fields[field] += '|';
            break;
        case 'x': {
            auto b = i + 2 < given.size() ? from_hex(given.substr(i + 1, 2)) : std::nullopt;
            if (!b)
                return std::string("\\x needs two hex digits");
            *fields[field] += static_cast<char>((*b)[0]);
            i += 2;
            break;
        }
        default:
            return std::string("unknown escape in info");
        }
    }
    if (m.empty())
        return std::string("info needs a text (or 'none')");
    out = m;
    return std::nullopt;
}

std::optional<std::string> parse_account(const std::string& given, std::string& login,
                                         std::string& password) {
    const auto colon = given.find(':');
    if (colon == std::string::npos)
        return std::string("account needs LOGIN:PASSWORD");
    login = given.substr(0, colon);
    password = given.substr(colon + 1);
    return std::nullopt;
}

parsed_request parse_request(const bytes& request) {
    parsed_request r;
    r.verdict = auth::check_answer(request.data(), request.size());
    auth::read_answer(request.data(), request.size(),
                      [&](unsigned char type, const unsigned char* data, std::size_t size) {
                          r.chunks.push_back(type);
                          const std::string text(reinterpret_cast<const char*>(data), size);
                          switch (type) {
                          case auth::chunk_login:
                              r.login = text;
                              break;
                          case auth::chunk_client_version:
                              r.version = text;
                              break;
                          case auth::chunk_random_request:
                              r.random_request = true;
                              break;
                          case auth::chunk_encrypted_random:
                              r.encrypted = bytes(data, data + size);
                              break;
                          case auth::chunk_disconnect_request:
                              r.disconnect = true;
                              break;
                          case auth::chunk_local_ip:
                              if (size == 6) {
                                  char t[32];
                                  std::snprintf(t, sizeof t, "%u.%u.%u.%u:%u", data[0], data[1],
                                                data[2], data[3], (data[4] << 8) | data[5]);
                                  r.local_ip = std::string(t);
                              } else {
                                  r.local_ip = "bad:" + to_hex(data, size);
                              }
                              break;
                          default:
                              break;
                          }
                      });
    return r;
}

bool request_complete(const bytes& so_far) {
    if (so_far.size() < 2)
        return false;
    if (so_far[0] != 0x44 || so_far[1] != 0x4C)
        return true;
    std::size_t position = 2;
    while (position + 2 <= so_far.size()) {
        const std::size_t length = so_far[position] | (so_far[position + 1] << 8);
        if (length == 0)
            return true;
        position += 2 + length;
    }
    return false;
}

answer_plan plan_answer(const fault& f, unsigned code, const auth::server_random& random,
                        const info_message* info) {
    answer_plan plan;
    switch (f.kind) {
    case fault_kind::drop:
        return plan;
    case fault_kind::short1:
        plan.packet = bytes{0x44};
        return plan;
    case fault_kind::short2:
        plan.packet = bytes{0x44, 0x4C};
        return plan;
    case fault_kind::raw:
        plan.packet = f.raw;
        return plan;
    case fault_kind::error:
        code = static_cast<unsigned>(f.argument);
        break;
    default:
        break;
    }

    bytes p{0x44, 0x4C};
    if (f.kind != fault_kind::norandom) {
        put_chunk(p, auth::chunk_server_random, random.data(), random.size());
        plan.random = random;
    }
    if (info) {
        if (!info->header.empty())
            put_text_chunk(p, auth::chunk_info_header, info->header);
        if (!info->data.empty())
            put_text_chunk(p, auth::chunk_info_data, info->data);
        if (!info->params.empty())
            put_text_chunk(p, auth::chunk_info_params, info->params);
    }
    if (f.kind == fault_kind::type) {
        const unsigned char zeros[8] = {};
        put_chunk(p, static_cast<unsigned char>(f.argument), zeros, sizeof zeros);
    }
    if (f.kind == fault_kind::overlong) // the error code lies past what a client can receive
        put_text_chunk(p, auth::chunk_info_data, std::string(auth::packet_buffer_size + 800, 'x'));
    if (f.kind == fault_kind::chunks65)
        for (int i = 0; i < 63; ++i)
            put_text_chunk(p, auth::chunk_info_params, "");
    put_code(p, code);
    plan.code = code;

    switch (f.kind) {
    case fault_kind::magic:
        std::swap(p[0], p[1]);
        break;
    case fault_kind::broken: {
        // A last chunk whose length runs far past the bytes that follow it, and no end marker.
        const unsigned char tail[] = {0x00, 0x01, auth::chunk_info_data, 'a', 'b', 'c'};
        p.insert(p.end(), tail, tail + sizeof tail);
        plan.packet = p;
        return plan;
    }
    default:
        break;
    }
    put_end(p);
    plan.packet = p;
    plan.readable = f.kind == fault_kind::none || f.kind == fault_kind::delay ||
                    f.kind == fault_kind::hold || f.kind == fault_kind::stall ||
                    f.kind == fault_kind::error || f.kind == fault_kind::type ||
                    f.kind == fault_kind::drip || f.kind == fault_kind::norandom ||
                    f.kind == fault_kind::stranger || f.kind == fault_kind::late;
    return plan;
}

bytes stranger_answer(stranger_kind kind, const auth::server_random& random) {
    bytes p{0x44, 0x4C};
    if (kind == stranger_random)
        put_chunk(p, auth::chunk_server_random, random.data(), random.size());
    if (kind == stranger_info) {
        put_text_chunk(p, auth::chunk_info_header, "Stranger");
        put_text_chunk(p, auth::chunk_info_data, "A forged message");
    }
    put_code(p, kind == stranger_error ? 1001 : 0);
    put_end(p);
    return p;
}

std::string to_hex(const unsigned char* data, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    s.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

std::optional<bytes> from_hex(const std::string& hex) {
    if (hex.size() % 2)
        return std::nullopt;
    bytes out;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int v[2];
        for (int k = 0; k < 2; ++k) {
            const char c = hex[i + k];
            if (c >= '0' && c <= '9')
                v[k] = c - '0';
            else if (c >= 'a' && c <= 'f')
                v[k] = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                v[k] = c - 'A' + 10;
            else
                return std::nullopt;
        }
        out.push_back(static_cast<unsigned char>(v[0] * 16 + v[1]));
    }
    return out;
}

} // namespace server
