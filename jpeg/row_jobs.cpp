#include "jpeg/row_jobs.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "jpeg/jpeg_state.h"

namespace {

struct Run {
  RowJobs* jobs;
  uint64_t budget, handedOut;
  int inFlight;
  int sleepers;                   // threads blocked in `changed`
  std::atomic<uint64_t> version;  // counts finished slices
  // Per job, the first rows of its slices being worked on; -1 for a free place.
  int32_t slices[kMaxRowJobs][kJpegMaxThreads];
  std::mutex mutex;
  std::condition_variable changed;
};

Run gRun;

bool AllDone(const RowJobs& jobs) {
  for (int j = 0; j < jobs.count; ++j) {
    if (jobs.job[j].done < jobs.job[j].rows) return false;
  }
  return true;
}

// The rows of job j that may be handed out: [next, the returned row).
int32_t Available(const RowJobs& jobs, int j) {
  const RowJob& job = jobs.job[j];
  int32_t end = job.rows;
  for (int u = 0; u < jobs.count; ++u) {
    if ((job.after >> u) & 1) end = jobs.job[u].done < end ? jobs.job[u].done : end;
  }
  if (job.leads >= 0) {
    const int32_t bound = jobs.job[job.leads].done + job.lead;
    end = bound < end ? bound : end;
  }
  return end;
}

bool Busy(int j) {
  for (int32_t start : gRun.slices[j]) {
    if (start >= 0) return true;
  }
  return false;
}

// The ready job that comes last: later jobs finish rows that earlier ones have opened, which
// keeps the rows being worked on few and in the caches.
bool Ready(int j) {
  const RowJob& job = gRun.jobs->job[j];
  return job.next < job.rows && job.next < Available(*gRun.jobs, j) && (job.parallel || !Busy(j));
}

int Pick(int thread) {
  const RowJobs& jobs = *gRun.jobs;
  bool owns = false;  // a thread with jobs of its own keeps to them until they are done
  for (int j = 0; j < jobs.count; ++j) {
    if (jobs.job[j].thread != thread || jobs.job[j].done == jobs.job[j].rows) continue;
    if (Ready(j)) return j;
    owns = true;
  }
  if (owns) return -1;
  for (int j = jobs.count - 1; j >= 0; --j) {
    if (jobs.job[j].thread < 0 && Ready(j)) return j;
  }
  return -1;
}

void Finish(int j, int place) {
  RowJob& job = gRun.jobs->job[j];
  gRun.slices[j][place] = -1;
  job.done = job.next;
  for (int32_t start : gRun.slices[j]) {
    if (start >= 0 && start < job.done) job.done = start;
  }
}

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// Waits until a slice finishes: spinning a little first, since slices are short and waking a
// blocked thread costs about as much as one.
void WaitForChange(std::unique_lock<std::mutex>& lock) {
  const uint64_t seen = gRun.version.load(std::memory_order_relaxed);
  lock.unlock();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; gRun.version.load(std::memory_order_acquire) == seen; ++i) {
    Pause();
    if (i % 64 == 63 && std::chrono::steady_clock::now() - start > std::chrono::microseconds(200)) break;
  }
  lock.lock();
  ++gRun.sleepers;
  gRun.changed.wait(lock, [seen] { return gRun.version.load(std::memory_order_relaxed) != seen; });
  --gRun.sleepers;
}

void Work(void*, int thread) {
  std::unique_lock<std::mutex> lock(gRun.mutex);
  RowJobs& jobs = *gRun.jobs;
  for (;;) {
    if (gRun.handedOut >= gRun.budget || AllDone(jobs)) break;
    const int j = Pick(thread);
    if (j < 0) {
      if (gRun.inFlight == 0) break;  // nothing can become ready
      WaitForChange(lock);
      continue;
    }
    RowJob& job = jobs.job[j];
    const int32_t r0 = job.next;
    const int32_t available = Available(jobs, j);
    const int32_t r1 = r0 + job.slice < available ? r0 + job.slice : available;
    int place = 0;
    while (gRun.slices[j][place] >= 0) ++place;
    gRun.slices[j][place] = r0;
    job.next = r1;
    gRun.handedOut += uint64_t(job.cost) * uint64_t(r1 - r0);
    ++gRun.inFlight;
    lock.unlock();
    jobs.run(j, r0, r1);
    lock.lock();
    --gRun.inFlight;
    Finish(j, place);
    gRun.version.fetch_add(1, std::memory_order_release);
    if (gRun.sleepers > 0) gRun.changed.notify_all();
  }
}

}  // namespace

bool RunRowJobs(RowJobs& jobs, int threads, uint64_t budget) {
  {
    std::lock_guard<std::mutex> lock(gRun.mutex);
    gRun.jobs = &jobs;
    gRun.budget = budget;
    gRun.handedOut = 0;
    gRun.inFlight = 0;
    gRun.sleepers = 0;
    for (auto& places : gRun.slices) {
      for (int32_t& start : places) start = -1;
    }
  }
  RunOnThreads(threads, Work, nullptr);
  std::lock_guard<std::mutex> lock(gRun.mutex);
  return AllDone(jobs);
}
