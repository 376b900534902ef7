// The client back online by itself: the renewal on resume from sleep, and the connect at logon
// that waits for the network.
#pragma once

namespace bench {

// WM_POWERBROADCAST (PBT_APMRESUMEAUTOMATIC) to the renewal's verified answer at a 30 s period,
// REPETITIONS times over UDP and over TCP.
int run_resume(int repetitions);

// start(true) against a server that does not answer yet; it starts answering at a point of a
// pending retry step, once in each step of the schedule per round; the time to `authorised`
// against what was left of that step.
int run_logon(int rounds);

} // namespace bench
