// Time-critical priority on Linux: SCHED_RR at a middle real-time priority, which needs the
// privilege (root, CAP_SYS_NICE or an rtprio limit); without it the thread stays as it was.
#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace tunemill {

bool raise_to_time_critical() {
    // A middle priority: above ordinary threads, below the system's own interrupt threads
    // (which run near the top of the range on kernels with threaded interrupts).
    const int low = sched_get_priority_min(SCHED_RR);
    const int high = sched_get_priority_max(SCHED_RR);
    if (low < 0 || high < 0) return false;
    sched_param parameter{};
    parameter.sched_priority = low + (high - low) / 4;
    return pthread_setschedparam(pthread_self(), SCHED_RR, &parameter) == 0;
}

} // namespace tunemill
