// What the reference server answers: accounts, faults, info messages, and the answer bytes.
#pragma once

#include "auth/packet.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace server {

using bytes = std::vector<unsigned char>;

enum class fault_kind {
    none,
    drop,
    delay,
    hold,
    stall, // TCP: the first bytes of the answer, then silence with the connection open
    magic,
    broken,
    overlong,
    chunks65,
    type,
    error,
    short1,
    short2,
    raw,
    drip,        // TCP: the answer a few bytes at a time, a pause between them
    norandom,    // answers without a server_random
    stranger,    // UDP: a forged answer from another port first, then the real one
    late,        // UDP: the answer, then one more datagram of ARG bytes a moment later
    unreachable, // TCP: SYNs dropped (a full backlog); UDP: like drop. Until replaced.
};

// What the stranger's forged answer carries.
enum stranger_kind : unsigned long { stranger_info, stranger_error, stranger_random };

struct fault {
    fault_kind kind = fault_kind::none;
    unsigned long argument = 0; // delay in ms, type id, error code, bytes or stranger_kind
    unsigned long interval = 0; // drip: ms between two pieces
    bytes raw;                  // the whole answer for `raw`
    long remaining = -1;        // exchanges left; -1: until replaced

    // "drop", "delay 500", "type 7", "raw 444c0000", ...
    std::string describe() const;
};

// "MODE [ARG] [COUNT]", tokens separated by blanks or ':'. Returns an error text or nothing.
std::optional<std::string> parse_fault(const std::string& given, fault& out);

struct info_message {
    std::string header, data, params; // an empty field is left out of the answer
    bool empty() const { return header.empty() && data.empty() && params.empty(); }
};

// "HEADER|DATA|PARAMS" with the escapes \n \t \\ \| \xHH; "none" clears.
std::optional<std::string> parse_info(const std::string& given, info_message& out);

// "LOGIN:PASSWORD"; an empty login is the account for requests without a login.
std::optional<std::string> parse_account(const std::string& given, std::string& login,
                                         std::string& password);

// What a request holds, as far as the server cares.
struct parsed_request {
    auth::verdict verdict = auth::verdict::ignore;
    std::vector<int> chunks;
    std::optional<std::string> login, version, local_ip;
    bool random_request = false, disconnect = false;
    std::optional<bytes> encrypted; // data of the encrypted_random chunk
};

parsed_request parse_request(const bytes& request);

// True once `so_far` holds a whole request (or can never become one): the end marker is in,
// or the magic word is wrong.
bool request_complete(const bytes& so_far);

struct answer_plan {
    std::optional<bytes> packet;               // nothing: no answer at all
    std::optional<auth::server_random> random; // the random the packet carries
    std::optional<unsigned> code;              // the error code it carries
    bool readable = false; // a client reads this answer (so its random counts as given)
};

// The answer to one exchange: `code` is 0 or 1001 from the DES check; `fault` may change it.
answer_plan plan_answer(const fault& f, unsigned code, const auth::server_random& random,
                        const info_message* info);

// The forged answer of a `stranger` fault: well-formed, with an info message, error code 1001
// or `random` as its challenge.
bytes stranger_answer(stranger_kind kind, const auth::server_random& random);

std::string to_hex(const unsigned char* data, std::size_t size);
std::optional<bytes> from_hex(const std::string& hex);

} // namespace server
