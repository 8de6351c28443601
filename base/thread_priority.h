// Thread priorities in the handset's three steps, on Linux as the nice value of one
// thread (its tid): the normal scheduler weighs CPU time by it, and each thread has its
// own. Lowering is always allowed; raising needs CAP_SYS_NICE (root) or an RLIMIT_NICE
// that permits it, so a normal user's raise is refused and the thread stays at normal.
//
//   worker.Start("video-display", [](std::stop_token stop) {
//     SetCurrentThreadPriority(ThreadPriority::kAboveNormal);  // false: refused, runs on
//     ...
//   });
#pragma once

namespace kestrelio {

enum class ThreadPriority { kBelowNormal, kNormal, kAboveNormal };

// The nice value each step stands for.
int NiceValue(ThreadPriority priority);

// Sets the calling thread's nice value; false (with a diagnostic line naming the thread
// and the reason) when the system refuses.
bool SetCurrentThreadPriority(ThreadPriority priority);

// The calling thread's nice value.
int CurrentThreadNice();

}  // namespace kestrelio
