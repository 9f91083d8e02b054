// Raising a thread to the time-critical priority of the playback and device threads: real-time
// round-robin scheduling where the system permits it, else the priority is left as it is.
#pragma once

namespace tunemill {

// Raises the calling thread; returns whether the system granted it. A refusal is never shown.
bool raise_to_time_critical();

} // namespace tunemill
