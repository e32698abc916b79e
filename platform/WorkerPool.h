// A fixed set of worker threads for the libraries' own work (the encoder, the
// bitmap and JPEG image classes): made once, on first use, and kept for the
// life of the process. A job is cut into parts that the workers and the thread
// that waits for the job take in turn, so a job always completes, also with no
// worker free (or none at all: one thread, or a child after fork).
//
// A part runs none of the caller's code beyond the function it was given and
// must not block on anything the posting thread does next; the pool holds no
// lock while a part runs.
#pragma once
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

// Threads the libraries may use at once, the calling one included:
// VORNEL_THREADS when it holds a number from 1 on (1: the calling thread
// alone), else the processors this process may run on.
inline int WorkerThreadCount() {
  if (const char* text = std::getenv("VORNEL_THREADS")) {
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && n >= 1) return static_cast<int>(std::min<long>(n, 256));
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

class TWorkerPool {
 public:
  class TJob {
   public:
    TJob(int count, std::function<void(int)> fn) : fn_(std::move(fn)), count_(count) {}
    TJob(const TJob&) = delete;
    TJob& operator=(const TJob&) = delete;

    // Runs the parts no thread has taken yet here, one after the other.
    void Help() {
      for (int part = Claim(); part >= 0; part = Claim()) RunPart(part);
    }
    // Helps, then waits until every part has ended; rethrows the first
    // exception a part raised.
    void Wait() {
      Help();
      std::unique_lock<std::mutex> lock(mutex_);
      ended_cv_.wait(lock, [this] { return ended_ == count_; });
      if (error_) std::rethrow_exception(error_);
    }

   private:
    friend class TWorkerPool;
    // The next part nobody has taken, or -1.
    int Claim() {
      if (next_.load(std::memory_order_relaxed) >= count_) return -1;
      const int part = next_.fetch_add(1, std::memory_order_relaxed);
      return part < count_ ? part : -1;
    }
    bool AllClaimed() const { return next_.load(std::memory_order_relaxed) >= count_; }
    void RunPart(int part) {
      std::exception_ptr error;
      try {
        fn_(part);
      } catch (...) {
        error = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mutex_);
      if (error && !error_) error_ = error;
      if (++ended_ == count_) ended_cv_.notify_all();
    }

    std::function<void(int)> fn_;
    const int count_;
    std::atomic<int> next_{0};
    std::mutex mutex_;
    std::condition_variable ended_cv_;
    int ended_ = 0;  // under mutex_
    std::exception_ptr error_;  // under mutex_
  };

  // threads: the threads a job may run on, the waiting one included.
  explicit TWorkerPool(int threads) : owner_(getpid()) {
    const int workers = std::max(0, threads - 1);
    threads_.reserve(static_cast<std::size_t>(workers));
    try {
      for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // Fewer workers than asked for: the jobs still run, on fewer threads.
    }
  }
  // Jobs still queued are dropped: nobody is left to wait for them.
  ~TWorkerPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    work_cv_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  TWorkerPool(const TWorkerPool&) = delete;
  TWorkerPool& operator=(const TWorkerPool&) = delete;

  // The threads a job runs on at most, the waiting one included.
  int Threads() const { return Usable() ? static_cast<int>(threads_.size()) + 1 : 1; }

  // Posts fn(0) .. fn(count - 1); workers start on them at once. The job must
  // be waited for (Wait) before anything fn uses goes away.
  std::shared_ptr<TJob> Post(int count, std::function<void(int)> fn) {
    auto job = std::make_shared<TJob>(count, std::move(fn));
    if (count > 0 && Usable()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(job);
      }
      if (count == 1)
        work_cv_.notify_one();
      else
        work_cv_.notify_all();
    }
    return job;
  }

  // Runs fn(0) .. fn(count - 1) on the workers and the calling thread, and
  // returns when all have ended (rethrowing the first exception of a part).
  void Run(int count, std::function<void(int)> fn) {
    const std::shared_ptr<TJob> job = Post(count, std::move(fn));
    job->Wait();
  }

 private:
  // Not in a child made by fork: its copy of the pool has no threads behind it.
  bool Usable() const { return !threads_.empty() && getpid() == owner_; }

  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      const std::shared_ptr<TJob> job = queue_.front();
      const int part = job->Claim();
      if (part < 0 || job->AllClaimed()) queue_.pop_front();
      if (part < 0) continue;
      lock.unlock();
      job->RunPart(part);
      lock.lock();
    }
  }

  const pid_t owner_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable work_cv_;
  std::deque<std::shared_ptr<TJob>> queue_;  // under mutex_
  bool stop_ = false;  // under mutex_
};
