#include "serve/host_thread.h"

#include <chrono>

namespace drezhost {

void HostThread::post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) throw HostStopped();
    queue_.push_back(std::move(work));
  }
  wake_.notify_one();
}

void HostThread::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  wake_.notify_all();
}

void HostThread::run(const std::function<bool()>& stopRequested) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    // A signal handler cannot notify a condition variable: poll its flag.
    wake_.wait_for(lock, std::chrono::milliseconds(100),
                   [this] { return stopped_ || !queue_.empty(); });
    if (!stopped_ && stopRequested()) stopped_ = true;
    if (stopped_) break;
    while (!queue_.empty()) {
      std::function<void()> work = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      work();
      lock.lock();
    }
  }
  // Destroying the dropped tasks breaks their promises: their callers wake.
  std::deque<std::function<void()>> dropped;
  dropped.swap(queue_);
  lock.unlock();
}

}  // namespace drezhost
