// Fuzz target: a server answer through the check and the reader, the way the worker takes it.
#include "auth/packet.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Exactly the received size: any read past the end hits the sanitizer's red zone.
    std::unique_ptr<unsigned char[]> received(new unsigned char[size]);
    if (size)
        std::memcpy(received.get(), data, size);
    const unsigned char* begin = received.get();

    const auth::verdict verdict = auth::check_answer(begin, size);
    int chunks = 0;
    unsigned sum = 0;
    auth::read_answer(begin, size, [&](unsigned char type, const unsigned char* d, std::size_t n) {
        if (d < begin + 3 || n > size || d + n > begin + size)
            std::abort(); // data handed outside the received bytes
        ++chunks;
        for (std::size_t i = 0; i < n; ++i)
            sum += d[i];
        switch (type) {
        case auth::chunk_server_random:
            sum += static_cast<unsigned>(auth::read_random_as_number(d));
            break;
        case auth::chunk_error_code: {
            const std::uint16_t code = auth::read_error_code(d);
            if (code)
                sum += static_cast<unsigned>(auth::server_error_text(code).size());
            break;
        }
        case auth::chunk_info_header:
        case auth::chunk_info_data:
        case auth::chunk_info_params:
            break;
        default:
            sum += static_cast<unsigned>(auth::unsupported_type_text(type).size());
        }
    });
    if (chunks > auth::max_answer_chunks || (chunks && verdict != auth::verdict::well_formed))
        std::abort();
    volatile unsigned keep = sum; // the reads must happen
    (void)keep;
    return 0;
}
