#include "archive/buffer_stage.h"

#include <utility>

namespace pelvar::archive {

BufferStage::BufferStage(std::function<bool(std::string& buffer)> work, size_t depth)
    : work_(std::move(work)), depth_(depth == 0 ? 1 : depth) {
  worker_ = std::thread([this] { Run(); });
}

BufferStage::~BufferStage() {
  Cancel();
}

bool BufferStage::Push(std::string& buffer) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return failed_ || closed_ || queue_.size() < depth_; });
  if (failed_ || closed_) {
    buffer.clear();
    return false;
  }
  queue_.push_back(std::move(buffer));
  buffer = std::string();
  if (!spent_.empty()) {
    buffer = std::move(spent_.back());
    spent_.pop_back();
  }
  changed_.notify_all();
  return true;
}

bool BufferStage::Finish() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
  Join();
  std::lock_guard lock(mutex_);
  return !failed_;
}

void BufferStage::Cancel() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  Join();
}

void BufferStage::Join() {
  if (worker_.joinable()) worker_.join();
}

void BufferStage::Run() {
  for (;;) {
    std::string buffer;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return !queue_.empty() || closed_; });
      if (queue_.empty()) return;
      buffer = std::move(queue_.front());
      queue_.pop_front();
    }
    changed_.notify_all();
    const bool ok = work_(buffer);
    std::lock_guard lock(mutex_);
    if (!ok) {
      failed_ = true;
      queue_.clear();
      changed_.notify_all();
      return;
    }
    if (spent_.size() < depth_ + 1) spent_.push_back(std::move(buffer));
  }
}

}  // namespace pelvar::archive
