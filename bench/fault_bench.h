// The client under a faulty network: the fault soak, and the stop while a renewal is stuck.
#pragma once

namespace bench {

// PASSES exchanges at period 0, one answer in ten faulted (UDP: dropped, delayed or broken;
// TCP: dropped, held, dripped or broken); every `error` must end in `authorised`.
int run_faults(int protocol, int passes, unsigned seed);

// stop(0) to the disconnect request at the server and to `idle`, against a healthy server and
// while a renewal is stuck (held, dripped, silent, dropped SYNs), REPETITIONS times each.
int run_stops(int repetitions);

} // namespace bench
