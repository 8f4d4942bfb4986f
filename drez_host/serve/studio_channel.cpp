#include "serve/studio_channel.h"

#include <chrono>
#include <exception>

namespace drezhost {

std::string StudioChannel::call(const std::string& request) {
  auto pending = std::make_unique<Pending>();
  pending->request = request;
  std::future<std::string> answer = pending->answer.get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) throw StudioUnavailable("drez-host is stopping");
    queue_.push_back(std::move(pending));
  }
  wake_.notify_all();
  try {
    return answer.get();
  } catch (const std::future_error&) {
    throw StudioUnavailable("drez-host is stopping");  // dropped unanswered
  }
}

std::optional<std::string> StudioChannel::next(const std::optional<std::string>& answer,
                                               const std::function<bool()>& stopRequested) {
  if (inHand_) {
    if (answer) inHand_->answer.set_value(*answer);
    inHand_.reset();  // without an answer its caller wakes with "stopping"
  }
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    // A signal handler cannot notify a condition variable: poll its flag.
    wake_.wait_for(lock, std::chrono::milliseconds(100),
                   [this] { return stopped_ || !queue_.empty(); });
    if (!stopped_ && stopRequested && stopRequested()) stopped_ = true;
    if (stopped_) {
      // Dropped: their promises break and their callers wake.
      std::deque<std::unique_ptr<Pending>> dropped;
      dropped.swap(queue_);
      lock.unlock();
      wake_.notify_all();
      return std::nullopt;
    }
    if (!queue_.empty()) {
      inHand_ = std::move(queue_.front());
      queue_.pop_front();
      return inHand_->request;
    }
  }
}

void StudioChannel::reply(const std::string& answer) {
  if (!inHand_) return;
  inHand_->answer.set_value(answer);
  inHand_.reset();
}

void StudioChannel::studioEnded(const std::string& why) {
  if (!inHand_) return;
  inHand_->answer.set_exception(std::make_exception_ptr(StudioUnavailable(why)));
  inHand_.reset();
}

void StudioChannel::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  wake_.notify_all();
}

bool StudioChannel::stopped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}

}  // namespace drezhost
