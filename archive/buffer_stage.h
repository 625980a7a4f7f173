// One stage of a pipeline: a worker thread that takes buffers through a
// bounded queue, so that reading, decoding and writing a stream overlap
// while the memory held stays a constant few buffers.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelvar::archive {

class BufferStage {
 public:
  // `work` handles one buffer on the worker thread and returns false to
  // refuse all that follow (a failure; it keeps its own reason). At most
  // `depth` buffers wait.
  BufferStage(std::function<bool(std::string& buffer)> work, size_t depth);
  // Stops taking buffers, drops those still waiting and joins the worker.
  ~BufferStage();
  BufferStage(const BufferStage&) = delete;
  BufferStage& operator=(const BufferStage&) = delete;

  // Hands `buffer` over, waiting while the queue is full; `buffer` comes
  // back as a spent buffer, content unspecified, when one is free (its
  // memory is reused), else empty. False (the buffer dropped) once the work
  // has refused.
  bool Push(std::string& buffer);
  // Waits until every buffer handed over is done and joins the worker.
  // False when the work refused one. Later pushes are refused.
  bool Finish();
  // Stops at once: buffers still waiting are dropped, the worker is joined.
  void Cancel();

 private:
  void Run();
  void Join();

  std::function<bool(std::string&)> work_;
  size_t depth_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  std::vector<std::string> spent_;
  bool closed_ = false;
  bool failed_ = false;
  std::thread worker_;
};

}  // namespace pelvar::archive
