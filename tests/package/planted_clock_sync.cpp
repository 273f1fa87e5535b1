// A clock kept synchronised, planted for programs in the scratch system
// (LD_PRELOAD): the scratch system shares this machine's kernel but has
// no time service and no network of its own, so the kernel's answer there
// says what this machine's clock is, not what a venue PC's would be.

#include <sys/timex.h>

extern "C" int ntp_adjtime(struct timex* state) {
    *state = timex{};
    state->status = STA_PLL;
    state->maxerror = 12'000;  // microseconds
    state->esterror = 500;
    return TIME_OK;
}

extern "C" int adjtimex(struct timex* state) {
    return ntp_adjtime(state);
}
