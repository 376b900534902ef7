// What the client does for every packet that answers a challenge: a key schedule and one block,
// ours against libcrypto's DES in the same binary.
#define OPENSSL_SUPPRESS_DEPRECATED
#include "support/des.h"

#include <benchmark/benchmark.h>
#include <openssl/des.h>

#include <cstring>
#include <random>

namespace {

// Varying keys and blocks, so that nothing is computed once and reused.
struct inputs {
    static constexpr std::size_t count = 256;
    unsigned char keys[count][8];
    unsigned char blocks[count][8];
    inputs() {
        std::mt19937_64 random(20261210);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t k = random(), b = random();
            std::memcpy(keys[i], &k, 8);
            std::memcpy(blocks[i], &b, 8);
        }
    }
};

const inputs& data() {
    static const inputs d;
    return d;
}

void ours_key_and_block(benchmark::State& state) {
    const inputs& in = data();
    std::size_t i = 0;
    unsigned char out[8];
    for (auto _ : state) {
        des_context context;
        des_set_key(context, in.keys[i]);
        des_crypt_block(context, in.blocks[i], out, 0);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % inputs::count;
    }
}

void libcrypto_key_and_block(benchmark::State& state) {
    const inputs& in = data();
    std::size_t i = 0;
    DES_cblock out;
    for (auto _ : state) {
        DES_cblock key, block;
        std::memcpy(key, in.keys[i], 8);
        std::memcpy(block, in.blocks[i], 8);
        DES_key_schedule schedule;
        DES_set_key_unchecked(&key, &schedule);
        DES_ecb_encrypt(&block, &out, &schedule, DES_ENCRYPT);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % inputs::count;
    }
}

// The parts on their own, to tell where a difference comes from.
void ours_key_schedule(benchmark::State& state) {
    const inputs& in = data();
    std::size_t i = 0;
    for (auto _ : state) {
        des_context context;
        des_set_key(context, in.keys[i]);
        benchmark::DoNotOptimize(context);
        i = (i + 1) % inputs::count;
    }
}

void libcrypto_key_schedule(benchmark::State& state) {
    const inputs& in = data();
    std::size_t i = 0;
    for (auto _ : state) {
        DES_cblock key;
        std::memcpy(key, in.keys[i], 8);
        DES_key_schedule schedule;
        DES_set_key_unchecked(&key, &schedule);
        benchmark::DoNotOptimize(schedule);
        i = (i + 1) % inputs::count;
    }
}

void ours_block(benchmark::State& state) {
    const inputs& in = data();
    des_context context;
    des_set_key(context, in.keys[0]);
    std::size_t i = 0;
    unsigned char out[8];
    for (auto _ : state) {
        des_crypt_block(context, in.blocks[i], out, 0);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % inputs::count;
    }
}

void libcrypto_block(benchmark::State& state) {
    const inputs& in = data();
    DES_cblock key;
    std::memcpy(key, in.keys[0], 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    std::size_t i = 0;
    DES_cblock out;
    for (auto _ : state) {
        DES_cblock block;
        std::memcpy(block, in.blocks[i], 8);
        DES_ecb_encrypt(&block, &out, &schedule, DES_ENCRYPT);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % inputs::count;
    }
}

} // namespace

BENCHMARK(ours_key_and_block);
BENCHMARK(libcrypto_key_and_block);
BENCHMARK(ours_key_schedule);
BENCHMARK(libcrypto_key_schedule);
BENCHMARK(ours_block);
BENCHMARK(libcrypto_block);

BENCHMARK_MAIN();
