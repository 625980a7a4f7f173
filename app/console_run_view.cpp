#include "app/console_run_view.h"

#include "app/operation_progress.h"
#include "app/stop_signals.h"
#include "platform/terminal.h"

namespace pelvar::app {

namespace {

constexpr auto kFlushInterval = std::chrono::milliseconds(50);
constexpr size_t kFlushBytes = 1 << 16;
constexpr auto kProgressDelay = std::chrono::milliseconds(500);
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

// Symbol and colour of each kind on a terminal.
struct KindStyle {
  const char* symbol;
  const char* colour;
};
constexpr KindStyle kStyles[9] = {
    {"\u2717", "\x1b[31m"},  // failure
    {"\u2713", "\x1b[32m"},  // success
    {"*", "\x1b[33m"},       // note
    {"\u2717", "\x1b[31m"},  // skipped
    {"?", "\x1b[34m"},       // missing
    {"!", "\x1b[33m"},       // warning
    {"#", "\x1b[36m"},       // script
    {" ", ""},               // spacer
    {"i", "\x1b[34m"},       // info
};

}  // namespace

ConsoleRunView::ConsoleRunView(std::FILE* out, std::FILE* err, bool terminal, bool keep_lines)
    : out_(out),
      err_(err),
      terminal_(terminal),
      status_shown_on_err_(terminal && platform::IsTerminal(err)),
      keep_lines_(keep_lines),
      last_flush_(std::chrono::steady_clock::now()) {
  buffer_.reserve(kFlushBytes + 4096);
}

ConsoleRunView::~ConsoleRunView() {
  Flush();
}

void ConsoleRunView::SetStatus(std::string_view text) {
  if (!status_shown_on_err_) return;
  status_.clear();
  AppendEscaped(status_, text);
  DrawStatusLine();
}

void ConsoleRunView::SetProgressPosition(int position) {
  progress_ = position;
  if (!status_shown_on_err_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_status_ >= std::chrono::milliseconds(100)) DrawStatusLine();
}

void ConsoleRunView::ClearStatusLine() {
  if (!status_shown_) return;
  std::fputs("\r\x1b[K", err_);
  std::fflush(err_);
  status_shown_ = false;
}

void ConsoleRunView::DrawStatusLine() {
  FlushOutput();
  last_status_ = std::chrono::steady_clock::now();
  std::fprintf(err_, "\r\x1b[K\x1b[2m[%d/%d] %s\x1b[0m", progress_, progress_max_, status_.c_str());
  std::fflush(err_);
  status_shown_ = true;
}

void AppendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      out.push_back(c);
    } else if (c == '\n') {
      out.append("\\n");
    } else if (c == '\r') {
      out.append("\\r");
    } else if (c == '\t') {
      out.append("\\t");
    } else {
      out.append("\\x").push_back(kHex[byte >> 4]);
      out.push_back(kHex[byte & 15]);
    }
  }
}

bool ConsoleRunView::StopRequested() const {
  return StopSignal() != 0;
}

void ConsoleRunView::AddLog(std::string_view text, LogKind kind, LogReveal /*reveal*/) {
  const int k = KindNumber(kind);
  if (kind == LogKind::kFailure) ++failures_;
  if (terminal_) {
    ClearStatusLine();
    const KindStyle& style = kStyles[k >= 0 && k < 9 ? k : 0];
    buffer_.append(style.colour).append(style.symbol).append(*style.colour ? "\x1b[0m " : " ");
    AppendEscaped(buffer_, text);
    buffer_.push_back('\n');
  } else {
    buffer_.push_back(static_cast<char>('0' + k));
    buffer_.push_back('\t');
    AppendEscaped(buffer_, text);
    buffer_.push_back('\n');
  }
  if (keep_lines_) lines_.push_back({std::string(text), kind});
  if (terminal_) {
    FlushOutput();
    if (!status_.empty() &&
        std::chrono::steady_clock::now() - last_status_ >= std::chrono::milliseconds(100)) {
      DrawStatusLine();
    }
  } else {
    FlushIfDue();
  }
}

void ConsoleRunView::AddPlainLine(std::string_view text) {
  if (terminal_) ClearStatusLine();
  AppendEscaped(buffer_, text);
  buffer_.push_back('\n');
  if (terminal_) {
    FlushOutput();
  } else {
    FlushIfDue();
  }
}

void ConsoleRunView::AddLogWithReason(std::string_view text, LogKind kind, LogReveal reveal,
                                      const LogReason& reason) {
  AddLog(text, kind, reveal);
  if (keep_lines_) {
    lines_.back().reason = reason.text;
    lines_.back().script = reason.script;
    lines_.back().line = reason.line;
  }
  if (reason.text.empty()) return;
  Flush();
  std::string where(reason.script);
  if (reason.line > 0) where += ":" + std::to_string(reason.line);
  if (!where.empty()) where += ": ";
  std::fprintf(err_, "%s%.*s\n", where.c_str(), static_cast<int>(reason.text.size()),
               reason.text.data());
  std::fflush(err_);
}

void ConsoleRunView::ShowMessage(MessageKind /*kind*/, std::string_view caption,
                                 std::string_view text) {
  Flush();
  std::string shown(text);
  for (char& c : shown) {
    if (c == '\r') c = '\n';
  }
  std::fprintf(err_, "%.*s: %s\n", static_cast<int>(caption.size()), caption.data(), shown.c_str());
  std::fflush(err_);
}

void ConsoleRunView::ShowOperationProgress(std::string_view operation, uint64_t files,
                                           uint64_t bytes, bool finished) {
  if (!status_shown_on_err_) return;
  if (finished) {
    if (progress_shown_) {
      std::fputs("\r\x1b[2K", err_);
      std::fflush(err_);
    }
    operation_running_ = false;
    progress_shown_ = false;
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (!operation_running_) {
    operation_running_ = true;
    operation_start_ = now;
    return;
  }
  if (now - operation_start_ < kProgressDelay) return;
  if (progress_shown_ && now - last_progress_ < kProgressInterval) return;
  Flush();
  std::fprintf(err_, "\r\x1b[2K\x1b[2m%s\x1b[0m",
               OperationProgressText(operation, files, bytes).c_str());
  std::fflush(err_);
  last_progress_ = now;
  progress_shown_ = true;
}

void ConsoleRunView::FlushIfDue() {
  if (buffer_.size() >= kFlushBytes) {
    FlushOutput();
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - last_flush_ >= kFlushInterval) FlushOutput();
}

void ConsoleRunView::Flush() {
  FlushOutput();
  ClearStatusLine();
}

void ConsoleRunView::FlushOutput() {
  if (!buffer_.empty()) {
    std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
    buffer_.clear();
  }
  std::fflush(out_);
  last_flush_ = std::chrono::steady_clock::now();
}

}  // namespace pelvar::app
