// Work spread over the machine's cores by threads that live as long as the process. The
// software particle path spreads work several times a frame; a thread started for each
// call cost about 0.3 ms a call on a 2-core virtual machine, a sleeping thread woken
// 25-50 us. The threads stay awake 50 us after a task, for a task that follows at once,
// and no longer: a spinning thread would take the core from the GL's own threads.
#pragma once

#include <functional>

namespace workers {

// Threads a task is spread over, the caller's included: the cores, 1 to 8.
int count();

// Runs work(thread, threads) for every thread in 0 .. threads - 1, thread 0 on the caller,
// and returns when every one has returned. Not reentrant: `work` must not call run.
void run(const std::function<void(int thread, int threads)>& work);

}  // namespace workers
