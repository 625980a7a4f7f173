// Shared helpers of the tests: private temporary folders, a recording run
// view and a ready context for running script text.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/dispatcher.h"
#include "engine/run_view.h"
#include "engine/script_context.h"
#include "platform/services.h"
#include "platform/system_folders.h"

namespace pelvar::testing {

// A fresh folder under the system's temporary folder, removed with its
// contents on destruction.
class TempDir {
 public:
  TempDir();
  // A temporary folder under `parent` (for a second file system).
  explicit TempDir(const std::string& parent);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string Path(const std::string& relative) const;
  // Writes a file (folders are created); returns its path.
  std::string Write(const std::string& relative, const std::string& content) const;
  // Reads a file; empty when missing.
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;

 private:
  std::string path_;
};

// Reads any file by host path ("" when missing).
std::string ReadFileText(const std::string& path);
// The bytes of a fixture of tests/data by its path below that folder. A
// missing fixture throws, so its test fails naming the file instead of
// going on with an empty text.
std::string ReadFixture(const std::string& relative);
// The host path of a fixture of tests/data; throws when it is missing.
std::string FixturePath(const std::string& relative);
// Writes any file by host path, creating its folders.
void WriteFileText(const std::string& path, const std::string& content);
// Everything written so far to a temporary stream (std::tmpfile), from its
// start; the stream stays open.
std::string ReadBackStream(std::FILE* stream);

// Records everything a run shows.
class RecordingView : public RunView {
 public:
  struct Message {
    MessageKind kind;
    std::string caption;
    std::string text;
  };

  void SetProgressMax(int max) override { progress_max = max; }
  void SetProgressPosition(int position) override { positions.push_back(position); }
  void SetStatus(std::string_view text) override { statuses.emplace_back(text); }
  void AddLog(std::string_view text, LogKind kind, LogReveal reveal) override {
    lines.push_back({std::string(text), kind, {}});
    reveals.push_back(reveal);
  }
  void AddLogWithReason(std::string_view text, LogKind kind, LogReveal reveal,
                        const LogReason& reason) override {
    lines.push_back({std::string(text), kind, std::string(reason.text)});
    reveals.push_back(reveal);
    reason_lines.push_back(reason.line);
  }
  void ShowMessage(MessageKind kind, std::string_view caption, std::string_view text) override {
    messages.push_back({kind, std::string(caption), std::string(text)});
  }
  void ShowOperationProgress(std::string_view operation, uint64_t files, uint64_t bytes,
                             bool finished) override {
    operations.push_back({std::string(operation), files, bytes, finished});
  }
  bool StopRequested() const override {
    if (stop_after_files >= 0 && !operations.empty() &&
        operations.back().files >= static_cast<uint64_t>(stop_after_files)) {
      return true;
    }
    // Once asked, a run stays asked to stop.
    if (stop_after_bytes > 0 && !operations.empty() &&
        operations.back().bytes >= stop_after_bytes) {
      stopped_by_bytes = true;
    }
    if (stopped_by_bytes) return true;
    return stop_after >= 0 && positions.size() >= static_cast<size_t>(stop_after);
  }

  // "kind|text" for each line, for compact comparisons.
  std::vector<std::string> Texts() const;

  int progress_max = -1;
  std::vector<int> positions;
  std::vector<std::string> statuses;
  std::vector<LogLine> lines;
  std::vector<LogReveal> reveals;
  std::vector<size_t> reason_lines;  // script line of each line with a reason
  std::vector<Message> messages;
  struct Operation {
    std::string name;
    uint64_t files;
    uint64_t bytes;
    bool finished;
  };
  std::vector<Operation> operations;
  int stop_after = -1;            // ask to stop once this many lines were started
  int stop_after_files = -1;      // ... or once an operation shows this many files done
  uint64_t stop_after_bytes = 0;  // ... or this many bytes done (0: never)
  mutable bool stopped_by_bytes = false;
};

// A context over a recording view with fixed system folders and the given
// command set (the built-in commands by default).
class ScriptHarness {
 public:
  explicit ScriptHarness(const CommandSet* commands = nullptr);

  // Writes `script_text` as a script file in a temporary folder and runs it.
  // Errors propagate.
  void Run(const std::string& script_text, RunPaths paths = {});
  // Runs a single process line (wrapped in a [process] section).
  void RunLine(const std::string& line, RunPaths paths = {});

  RecordingView view;
  platform::FixedSystemFolders folders{"/win", "/win/system32", "/opt/programs"};
  platform::Services services;
  const CommandSet* commands;
  TempDir dir;
  std::string script_path;
};

}  // namespace pelvar::testing
