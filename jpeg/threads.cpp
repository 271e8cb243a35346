// The threads a split decode runs on: started once, by the first picture that uses them,
// and kept for the process's life, each waiting for its part of the next decode call. Only
// one picture decodes at a time, so one set of threads serves every picture; a call returns
// only once every thread has finished its part, so no thread works on a picture after the
// call that gave it the work.
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "jpeg/jpeg_state.h"

namespace {

int DefaultThreads() {
  unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n > unsigned(kJpegMaxThreads) ? kJpegMaxThreads : int(n);
}

std::atomic<int> gThreads{DefaultThreads()};

class Pool {
 public:
  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (int i = 0; i < started_; ++i) threads_[i].join();
  }

  // A thread the system cannot start is done without: the calling thread then does more.
  void Start(int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (; started_ < count - 1; ++started_) {
      const int index = started_ + 1;
      try {
        threads_[started_] = std::thread([this, index] { Serve(index); });
      } catch (const std::system_error&) {
        return;
      }
    }
  }

  // The calling thread does its part; threads that have not begun theirs by the time it is
  // done are not waited for (they would find nothing left), so a slow start costs nothing.
  void Run(int count, void (*work)(void*, int), void* arg) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      work_ = work;
      arg_ = arg;
      count_ = count;
      open_ = true;
      ++generation_;
    }
    wake_.notify_all();
    work(arg, 0);
    std::unique_lock<std::mutex> lock(mutex_);
    open_ = false;
    finished_.wait(lock, [this] { return working_ == 0; });
  }

 private:
  void Serve(int index) {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_;
      if (!open_ || index >= count_) continue;
      void (*work)(void*, int) = work_;
      void* arg = arg_;
      ++working_;
      lock.unlock();
      work(arg, index);
      lock.lock();
      if (--working_ == 0) finished_.notify_one();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  std::thread threads_[kJpegMaxThreads - 1];
  int started_ = 0;
  bool stop_ = false;
  uint64_t generation_ = 0;
  void (*work_)(void*, int) = nullptr;
  void* arg_ = nullptr;
  int count_ = 0, working_ = 0;
  bool open_ = false;  // threads may still begin their part of the current run
};

Pool gPool;

}  // namespace

void JpegSetThreads(int count) { gThreads = count < 1 ? 1 : count > kJpegMaxThreads ? kJpegMaxThreads : count; }
int JpegThreads() { return gThreads; }

void StartThreads(int count) { gPool.Start(count); }

void RunOnThreads(int count, void (*work)(void*, int), void* arg) {
  if (count <= 1) {
    work(arg, 0);
    return;
  }
  gPool.Run(count, work, arg);
}
