#include "engine/ini_model.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <type_traits>

#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"
#include "platform/registry_text.h"

namespace pelvar {

namespace {

// Sections shorter than this are always scanned.
constexpr size_t kIndexThreshold = 16;
// A section's index is built at its this-many-th lookup: a one-off edit
// scans once instead of hashing the whole section for one key.
constexpr uint32_t kIndexAfterLookups = 4;

// Hash and equality that ignore the case of A-Z.
struct FoldedHash {
  size_t operator()(std::string_view s) const noexcept {
    size_t h = 1469598103934665603ULL;
    for (char c : s) {
      h ^= static_cast<unsigned char>(AsciiLower(c));
      h *= 1099511628211ULL;
    }
    return h;
  }
};
struct FoldedEq {
  bool operator()(std::string_view a, std::string_view b) const noexcept { return IEquals(a, b); }
};

}  // namespace

struct IniModel::KeyIndex {
  std::unordered_map<std::string_view, int, FoldedHash, FoldedEq> first;
};

IniModel::IniModel() = default;
IniModel::~IniModel() = default;
IniModel::IniModel(IniModel&&) noexcept = default;
IniModel& IniModel::operator=(IniModel&&) noexcept = default;

bool IniModel::KeyOfLine(std::string_view line, std::string_view& key) {
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = line.substr(0, eq);
  return true;
}

IniModel::RawLine IniModel::Normalize(std::string_view raw, std::string& out) {
  const std::string_view line = TrimControl(raw);
  if (line.empty() || line[0] == ';') return RawLine::kDropped;
  if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
    out.assign(TrimControl(line.substr(1, line.size() - 2)));
    return RawLine::kHeader;
  }
  const size_t eq = line.find('=');
  if (eq == std::string_view::npos) {
    out.assign(line);
    return RawLine::kLine;
  }
  const std::string_view key = TrimControl(line.substr(0, eq));
  const std::string_view value = TrimControl(line.substr(eq + 1));
  out.clear();
  out.reserve(key.size() + 1 + value.size());
  out.append(key);
  out.push_back('=');
  out.append(value);
  return RawLine::kLine;
}

std::string IniModel::StoredForm(std::string_view raw) {
  std::string out;
  if (Normalize(raw, out) == RawLine::kLine) return out;
  // A header or a comment is stored as written, trimmed.
  return std::string(TrimControl(raw));
}

void IniModel::LoadLine(std::string_view raw, uint32_t number) {
  std::string text;
  switch (Normalize(raw, text)) {
    case RawLine::kDropped:
      return;
    case RawLine::kHeader:
      sections_.push_back({std::move(text), {}, {}});
      return;
    case RawLine::kLine:
      if (!sections_.empty()) {
        sections_.back().lines.push_back(std::move(text));
        sections_.back().numbers.push_back(number);
      }
      return;
  }
}

namespace {

constexpr std::string_view kUtf16LeMark("\xFF\xFE", 2);

// Feeds file bytes chunk by chunk and hands complete lines to a callback,
// following the load rules for line ends, the NUL end and the BOM.
class LineFeeder {
 public:
  template <typename F>
  bool Feed(std::string_view chunk, F&& emit) {
    if (ended_) return false;
    if (first_) {
      first_ = false;
      pending_bom_ = true;
    }
    if (pending_bom_) {
      bom_buf_.append(chunk);
      if (bom_buf_.size() < 3 &&
          bom_buf_ == std::string_view("\xEF\xBB\xBF").substr(0, bom_buf_.size())) {
        return true;
      }
      pending_bom_ = false;
      std::string data = std::move(bom_buf_);
      std::string_view view = data;
      if (view.substr(0, 3) == "\xEF\xBB\xBF") {
        has_bom_ = true;
        view.remove_prefix(3);
      }
      return Process(view, emit);
    }
    return Process(chunk, emit);
  }

  template <typename F>
  void Finish(F&& emit) {
    if (pending_bom_) {
      pending_bom_ = false;
      std::string data = std::move(bom_buf_);
      Process(data, emit);
    }
    if (!carry_.empty()) emit(std::string_view(carry_));
    carry_.clear();
  }

  bool has_bom() const { return has_bom_; }
  bool saw_nul() const { return saw_nul_; }
  // Whether the last call stopped early because the callback returned
  // false, and how many bytes of its input it had used then.
  bool stopped() const { return stopped_; }
  size_t consumed() const { return consumed_; }

  // Goes on with more bytes after the first call (no BOM check).
  template <typename F>
  bool Continue(std::string_view chunk, F&& emit) {
    if (ended_) return false;
    return Process(chunk, emit);
  }

 private:
  // Hands a line to the callback; false when the callback wants to stop.
  template <typename F>
  static bool Emit(F& emit, std::string_view line) {
    if constexpr (std::is_void_v<decltype(emit(line))>) {
      emit(line);
      return true;
    } else {
      return emit(line);
    }
  }

  template <typename F>
  bool Process(std::string_view chunk, F&& emit) {
    stopped_ = false;
    const size_t nul = chunk.find('\0');
    if (nul != std::string_view::npos) {
      chunk = chunk.substr(0, nul);
      ended_ = true;
      saw_nul_ = true;
    }
    size_t start = 0;
    if (skip_lf_ && !chunk.empty()) {
      if (chunk[0] == '\n') start = 1;
      skip_lf_ = false;
    }
    const size_t n = chunk.size();
    const char* const base = chunk.data();
    // Next LF and CR at or after `start`, searched again only once passed.
    size_t next_lf = 0;
    size_t next_cr = 0;
    bool lf_known = false;
    bool cr_known = false;
    auto find = [&](char c, size_t& cache, bool& known) {
      if (!known || cache < start) {
        const void* hit = std::memchr(base + start, c, n - start);
        cache = hit != nullptr ? static_cast<size_t>(static_cast<const char*>(hit) - base) : n;
        known = true;
      }
      return cache;
    };
    while (start < n) {
      const size_t i = std::min(find('\n', next_lf, lf_known), find('\r', next_cr, cr_known));
      if (i >= n) break;
      bool go_on;
      if (carry_.empty()) {
        go_on = Emit(emit, chunk.substr(start, i - start));
      } else {
        carry_.append(chunk.substr(start, i - start));
        go_on = Emit(emit, std::string_view(carry_));
        carry_.clear();
      }
      size_t end = i;
      if (chunk[i] == '\r') {
        if (i + 1 < n) {
          if (chunk[i + 1] == '\n') ++end;
        } else if (go_on) {
          skip_lf_ = true;
        }
      }
      start = end + 1;
      if (!go_on) {
        // The bytes after the line are the caller's again, NUL included.
        stopped_ = true;
        consumed_ = start;
        ended_ = false;
        saw_nul_ = false;
        return true;
      }
    }
    if (start < n) carry_.append(chunk.substr(start));
    consumed_ = n;
    return !ended_;
  }

  std::string carry_;
  std::string bom_buf_;
  bool first_ = true;
  bool pending_bom_ = false;
  bool skip_lf_ = false;
  bool ended_ = false;
  bool has_bom_ = false;
  bool saw_nul_ = false;
  bool stopped_ = false;
  size_t consumed_ = 0;
};

// Position of the first "[" in `text` that begins its line (only characters
// up to 32 before it since the last line break; `line_blank` tells whether
// that holds at the start of `text`); npos when none.
size_t FindBracketLine(std::string_view text, bool line_blank) {
  size_t from = 0;
  for (;;) {
    const void* hit = std::memchr(text.data() + from, '[', text.size() - from);
    if (hit == nullptr) return std::string_view::npos;
    const size_t h = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    bool at_start = line_blank;
    for (size_t i = h; i > from; --i) {
      const auto c = static_cast<unsigned char>(text[i - 1]);
      if (c == '\r' || c == '\n') {
        at_start = true;
        break;
      }
      if (c > 32) {
        at_start = false;
        break;
      }
    }
    if (at_start) return h;
    from = h + 1;
    line_blank = false;
  }
}

// Counts line ends in passed-over text as the feeder would: CR, LF and the
// pair CR LF each end one line, also when the pair is split between reads.
struct BreakCounter {
  uint32_t count = 0;
  bool after_cr = false;

  // Passed-over text is mostly long lines (embedded data), so the breaks are
  // found with memchr: every CR and every LF counts, less each LF right
  // after a CR.
  void Scan(std::string_view text) {
    if (text.empty()) return;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '\r', end - p)));
         ++p) {
      ++count;
    }
    for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '\n', end - p)));
         ++p) {
      const bool pair = p == begin ? after_cr : p[-1] == '\r';
      if (!pair) ++count;
    }
    after_cr = end[-1] == '\r';
  }
};

// Whether only characters up to 32 follow the last line break of `text`.
bool BlankAfterLastBreak(std::string_view text, bool line_blank) {
  for (size_t i = text.size(); i > 0; --i) {
    const auto c = static_cast<unsigned char>(text[i - 1]);
    if (c == '\r' || c == '\n') return true;
    if (c > 32) return false;
  }
  return line_blank;
}

}  // namespace

IniModel IniModel::Parse(std::string_view text) {
  IniModel model;
  LineFeeder feeder;
  uint32_t number = 0;
  auto emit = [&model, &number](std::string_view line) { model.LoadLine(line, ++number); };
  feeder.Feed(text, emit);
  feeder.Finish(emit);
  model.has_bom_ = feeder.has_bom();
  model.cut_at_nul_ = feeder.saw_nul();
  return model;
}

IniModel IniModel::FromLines(const std::vector<std::string>& lines) {
  IniModel model;
  for (const auto& l : lines) {
    // A line handed over may itself hold line breaks (an inserted text line);
    // they count as line ends, as they would in the file.
    if (l.find_first_of("\r\n") == std::string::npos) {
      model.LoadLine(l, 0);
    } else {
      for (const auto& part : SplitTextLines(l, false)) model.LoadLine(part, 0);
    }
  }
  return model;
}

namespace {

ScriptError CannotOpen(std::string_view path, std::error_code ec) {
  return ScriptError("Cannot open file \"" + std::string(path) + "\". " +
                     platform::SystemMessage(ec));
}

}  // namespace

IniModel IniModel::Load(platform::FileSystem& files, std::string_view path) {
  return LoadSections(files, path, {});
}

IniModel IniModel::Load(std::string_view path) {
  return LoadSections(platform::ThreadFileSystem(), path, {});
}

IniModel IniModel::LoadSections(std::string_view path, const SectionFilter& keep) {
  return LoadSections(platform::ThreadFileSystem(), path, keep);
}

IniModel IniModel::LoadSections(platform::FileSystem& files, std::string_view path,
                                const SectionFilter& keep) {
  std::unique_ptr<platform::FileReader> file;
  if (const std::error_code ec = files.OpenRead(path, file)) {
    if (ec.value() == ENOENT || ec.value() == ENOTDIR) return IniModel();
    throw CannotOpen(path, ec);
  }
  return LoadFrom(*file, path, keep);
}

IniModel IniModel::LoadFirstSection(std::string_view path, std::string_view name) {
  std::unique_ptr<platform::FileReader> file;
  if (const std::error_code ec = platform::ThreadFileSystem().OpenRead(path, file)) {
    if (ec.value() == ENOENT || ec.value() == ENOTDIR) return IniModel();
    throw CannotOpen(path, ec);
  }
  return LoadFirstSection(*file, path, name);
}

IniModel IniModel::LoadFirstSection(platform::FileReader& file, std::string_view path,
                                    std::string_view name) {
  const std::string wanted(name);
  return LoadFiltered(
      file, path, [&wanted](std::string_view n) { return IEquals(n, wanted); }, true);
}

IniModel IniModel::LoadFrom(platform::FileReader& file, std::string_view path,
                            const SectionFilter& keep) {
  return LoadFiltered(file, path, keep, false);
}

IniModel IniModel::LoadFiltered(platform::FileReader& file, std::string_view path,
                                const SectionFilter& keep, bool stop_after_kept) {
  IniModel model;
  auto fail = [&path](std::error_code ec) { return CannotOpen(path, ec); };
  {
    char mark[2];
    size_t got = 0;
    if (const std::error_code ec = file.ReadAt(0, mark, 2, got)) throw fail(ec);
    if (got == 2 && std::string_view(mark, 2) == kUtf16LeMark) {
      // UTF-16 files are small (driver .inf files): read whole, as UTF-8.
      std::string bytes;
      std::string buf(64 * 1024, '\0');
      for (uint64_t offset = 2;;) {
        if (const std::error_code ec = file.ReadAt(offset, buf.data(), buf.size(), got)) {
          throw fail(ec);
        }
        if (got == 0) break;
        bytes.append(buf.data(), got);
        offset += got;
      }
      IniModel wide = Parse(platform::Utf16LeTextToUtf8(bytes));
      if (keep) {
        std::erase_if(wide.sections_, [&keep](const Section& s) { return !keep(s.name); });
      }
      wide.utf16_ = true;
      return wide;
    }
  }
  // With a filter, lines outside the wanted sections stop the feeder, and
  // the bytes up to the next line that begins with "[" are passed over.
  bool skipping = static_cast<bool>(keep);
  bool kept_one = false;
  bool done = false;
  uint32_t number = 0;  // of the line emitted last
  BreakCounter passed;  // line ends in the bytes passed over
  auto emit = [&](std::string_view raw) -> bool {
    if (done) return false;
    ++number;
    if (keep) {
      const std::string_view line = TrimControl(raw);
      if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        if (stop_after_kept && kept_one) {
          done = true;
          return false;
        }
        skipping = !keep(TrimControl(line.substr(1, line.size() - 2)));
        kept_one = kept_one || !skipping;
      }
      if (skipping) return false;
    }
    model.LoadLine(raw, number);
    return true;
  };
  LineFeeder feeder;
  bool first = true;
  bool feeding = true;
  bool line_blank = true;
  bool ended = false;
  // Small files get a buffer of their own size; large ones are read in
  // 128 KiB pieces, which stay in the cache while they are scanned.
  const size_t chunk_size =
      static_cast<size_t>(std::clamp<uint64_t>(file.size() + 1, 4096, 128 * 1024));
  std::string buf(chunk_size, '\0');
  uint64_t offset = 0;
  while (!ended && !done) {
    size_t got = 0;
    if (const std::error_code ec = file.ReadAt(offset, buf.data(), buf.size(), got)) throw fail(ec);
    if (got == 0) break;
    offset += got;
    const std::string_view chunk(buf.data(), static_cast<size_t>(got));
    size_t pos = 0;
    while (pos < chunk.size() && !ended && !done) {
      if (feeding) {
        const std::string_view part = chunk.substr(pos);
        const bool more = first ? feeder.Feed(part, emit) : feeder.Continue(part, emit);
        const size_t skipped_bom = first && feeder.has_bom() ? 3 : 0;
        first = false;
        if (!more) {
          ended = true;
        } else if (feeder.stopped()) {
          pos += feeder.consumed() + skipped_bom;
          feeding = false;
          line_blank = true;
          passed = {0, chunk[pos - 1] == '\r'};
        } else {
          pos = chunk.size();
        }
      } else {
        std::string_view region = chunk.substr(pos);
        const size_t nul = region.find('\0');
        if (nul != std::string_view::npos) {
          region = region.substr(0, nul);
          model.cut_at_nul_ = true;
        }
        const size_t h = FindBracketLine(region, line_blank);
        if (h != std::string_view::npos) {
          passed.Scan(region.substr(0, h));
          number += passed.count;
          pos += h;
          feeding = true;
          continue;
        }
        passed.Scan(region);
        line_blank = BlankAfterLastBreak(region, line_blank);
        if (nul != std::string_view::npos) ended = true;
        pos = chunk.size();
      }
    }
  }
  feeder.Finish(emit);
  model.has_bom_ = feeder.has_bom();
  model.cut_at_nul_ = model.cut_at_nul_ || feeder.saw_nul();
  return model;
}

void IniModel::Scan(std::string_view path, const LineVisitor& visit) {
  Scan(platform::ThreadFileSystem(), path, visit);
}

void IniModel::Scan(platform::FileSystem& files, std::string_view path, const LineVisitor& visit) {
  ScanNumbered(files, path, [&visit](bool header, std::string_view text, uint32_t) {
    return visit(header, text);
  });
}

void IniModel::Scan(platform::FileReader& file, std::string_view path, const LineVisitor& visit) {
  ScanNumbered(file, path, [&visit](bool header, std::string_view text, uint32_t) {
    return visit(header, text);
  });
}

void IniModel::ScanNumbered(platform::FileSystem& files, std::string_view path,
                            const NumberedLineVisitor& visit) {
  std::unique_ptr<platform::FileReader> file;
  if (const std::error_code ec = files.OpenRead(path, file)) {
    if (ec.value() == ENOENT || ec.value() == ENOTDIR) return;
    throw CannotOpen(path, ec);
  }
  ScanNumbered(*file, path, visit);
}

void IniModel::ScanNumbered(platform::FileReader& file, std::string_view path,
                            const NumberedLineVisitor& visit) {
  bool in_section = false;
  bool stopped = false;
  std::string text;
  uint32_t number = 0;  // of the line emitted last
  auto emit = [&](std::string_view raw) -> bool {
    if (stopped) return false;
    ++number;
    switch (Normalize(raw, text)) {
      case RawLine::kDropped:
        return true;
      case RawLine::kHeader:
        in_section = true;
        stopped = !visit(true, text, number);
        return !stopped;
      case RawLine::kLine:
        if (in_section) stopped = !visit(false, text, number);
        return !stopped;
    }
    return true;
  };
  LineFeeder feeder;
  std::string buf(128 * 1024, '\0');
  bool first = true;
  for (uint64_t offset = 0; !stopped;) {
    size_t got = 0;
    if (const std::error_code ec = file.ReadAt(offset, buf.data(), buf.size(), got)) {
      throw CannotOpen(path, ec);
    }
    if (got == 0) break;
    offset += got;
    const std::string_view chunk(buf.data(), got);
    const bool more = first ? feeder.Feed(chunk, emit) : feeder.Continue(chunk, emit);
    first = false;
    if (!more) break;
  }
  if (!stopped) feeder.Finish(emit);
}

std::optional<std::string> IniModel::ReadRawLine(platform::FileSystem& files, std::string_view path,
                                                 uint32_t number) {
  std::unique_ptr<platform::FileReader> file;
  if (number == 0 || files.OpenRead(path, file)) return std::nullopt;
  uint32_t seen = 0;
  std::optional<std::string> found;
  auto emit = [&](std::string_view raw) -> bool {
    if (++seen < number) return true;
    found.emplace(raw);
    return false;
  };
  LineFeeder feeder;
  std::string buf(64 * 1024, '\0');
  uint64_t offset = 0;
  bool more = true;
  while (more && !found) {
    size_t got = 0;
    if (file->ReadAt(offset, buf.data(), buf.size(), got) || got == 0) break;
    const std::string_view chunk(buf.data(), got);
    more = offset == 0 ? feeder.Feed(chunk, emit) : feeder.Continue(chunk, emit);
    offset += got;
  }
  if (!found && more) feeder.Finish(emit);
  return found;
}

std::vector<std::string> IniModel::RenderLines() const {
  std::vector<std::string> out;
  size_t total = 0;
  for (const auto& s : sections_) total += s.lines.size() + 2;
  out.reserve(total);
  for (const auto& s : sections_) {
    out.push_back("[" + s.name + "]");
    out.insert(out.end(), s.lines.begin(), s.lines.end());
    out.emplace_back();
  }
  return out;
}

std::string IniModel::Render() const {
  size_t total = has_bom_ ? 3 : 0;
  for (const auto& s : sections_) {
    total += s.name.size() + 6;
    for (const auto& l : s.lines) total += l.size() + 2;
  }
  std::string out;
  out.reserve(total);
  if (has_bom_) out.append("\xEF\xBB\xBF");
  for (const auto& s : sections_) {
    out.push_back('[');
    out.append(s.name);
    out.append("]\r\n");
    for (const auto& l : s.lines) {
      out.append(l);
      out.append("\r\n");
    }
    out.append("\r\n");
  }
  return out;
}

void IniModel::WriteTo(platform::FileWriter& writer) const {
  if (utf16_) {
    writer.Write(kUtf16LeMark);
    writer.Write(platform::TextToUtf16Le(Render()));
    return;
  }
  if (has_bom_) writer.Write("\xEF\xBB\xBF");
  for (const auto& s : sections_) {
    writer.Write("[");
    writer.Write(s.name);
    writer.Write("]\r\n");
    for (const auto& l : s.lines) {
      writer.Write(l);
      writer.Write("\r\n");
    }
    writer.Write("\r\n");
  }
}

void IniModel::Save(std::string_view path) const {
  Save(platform::ThreadFileSystem(), path);
}

void IniModel::Save(platform::FileSystem& files, std::string_view path) const {
  std::unique_ptr<platform::FileWriter> writer;
  std::error_code ec = files.OpenReplace(path, platform::Durability::kRewrite, writer);
  if (!ec) {
    WriteTo(*writer);
    ec = writer->Commit();
  }
  if (ec) ThrowCannotCreate(std::string(path), platform::SystemMessage(ec));
}

std::unique_ptr<platform::FileWriter> IniModel::BeginRewrite(platform::FileSystem& files,
                                                             std::string_view path) {
  if (!files.IsFile(path)) return nullptr;
  std::unique_ptr<platform::FileWriter> writer;
  if (const std::error_code ec = files.OpenReplace(path, platform::Durability::kRewrite, writer)) {
    // A file that cannot be opened is reported as a read would report it;
    // one that can be read but not replaced as a save would.
    std::unique_ptr<platform::FileReader> reader;
    if (const std::error_code read_ec = files.OpenRead(path, reader))
      throw CannotOpen(path, read_ec);
    ThrowCannotCreate(std::string(path), platform::SystemMessage(ec));
  }
  if (writer->old() == nullptr) return nullptr;
  return writer;
}

bool IniModel::Edit(platform::FileSystem& files, std::string_view path,
                    const std::function<bool(IniModel&)>& edit) {
  const std::unique_ptr<platform::FileWriter> writer = BeginRewrite(files, path);
  if (writer == nullptr) return false;
  IniModel model = LoadFrom(*writer->old(), path);
  if (!edit(model)) return true;
  model.WriteTo(*writer);
  if (const std::error_code ec = writer->Commit()) {
    ThrowCannotCreate(std::string(path), platform::SystemMessage(ec));
  }
  return true;
}

int IniModel::FindSection(std::string_view name) const {
  // Blanks around a name are not part of it, as a header reads back.
  name = TrimControl(name);
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (IEquals(TrimControl(sections_[i].name), name)) return static_cast<int>(i);
  }
  return -1;
}

bool IniModel::SectionExists(std::string_view name) const {
  const int i = FindSection(name);
  return i >= 0 && !sections_[static_cast<size_t>(i)].lines.empty();
}

int IniModel::FindKeyLine(int section, std::string_view key) const {
  if (section < 0 || static_cast<size_t>(section) >= sections_.size()) return -1;
  const auto& lines = sections_[static_cast<size_t>(section)].lines;
  if (lines.size() < kIndexThreshold) {
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string_view k;
      if (KeyOfLine(lines[i], k) && IEquals(k, key)) return static_cast<int>(i);
    }
    return -1;
  }
  if (indexes_.size() < sections_.size()) {
    indexes_.resize(sections_.size());
    lookups_.resize(sections_.size());
  }
  auto& index = indexes_[static_cast<size_t>(section)];
  if (!index && ++lookups_[static_cast<size_t>(section)] < kIndexAfterLookups) {
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string_view k;
      if (KeyOfLine(lines[i], k) && IEquals(k, key)) return static_cast<int>(i);
    }
    return -1;
  }
  if (!index) {
    index = std::make_unique<KeyIndex>();
    index->first.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
      std::string_view k;
      if (KeyOfLine(lines[i], k)) index->first.emplace(k, static_cast<int>(i));
    }
  }
  const auto it = index->first.find(key);
  return it == index->first.end() ? -1 : it->second;
}

const std::string* IniModel::FindValue(std::string_view section, std::string_view key) const {
  const int s = FindSection(section);
  const int k = FindKeyLine(s, key);
  if (k < 0) return nullptr;
  return &sections_[static_cast<size_t>(s)].lines[static_cast<size_t>(k)];
}

std::string IniModel::ReadString(std::string_view section, std::string_view key,
                                 std::string_view fallback) const {
  const std::string* line = FindValue(section, key);
  if (line == nullptr) return std::string(fallback);
  return line->substr(line->find('=') + 1);
}

void IniModel::Invalidate(int section) const {
  if (section >= 0 && static_cast<size_t>(section) < indexes_.size()) {
    indexes_[static_cast<size_t>(section)].reset();
  }
}

void IniModel::Touch(int section) {
  Invalidate(section);
  if (section >= 0 && static_cast<size_t>(section) < sections_.size()) {
    sections_[static_cast<size_t>(section)].numbers.clear();
  }
}

void IniModel::WriteKey(std::string_view section, std::string_view key, std::string_view value) {
  int s = FindSection(section);
  if (s < 0) s = AppendSection(section);
  std::string text;
  text.reserve(key.size() + 1 + value.size());
  text.append(key);
  text.push_back('=');
  text.append(value);
  const int k = FindKeyLine(s, key);
  Touch(s);
  auto& lines = sections_[static_cast<size_t>(s)].lines;
  if (k >= 0) {
    lines[static_cast<size_t>(k)] = std::move(text);
  } else {
    lines.push_back(std::move(text));
  }
}

void IniModel::DeleteKey(std::string_view section, std::string_view key) {
  const int s = FindSection(section);
  const int k = FindKeyLine(s, key);
  if (k < 0) return;
  Touch(s);
  auto& lines = sections_[static_cast<size_t>(s)].lines;
  lines.erase(lines.begin() + k);
}

void IniModel::EraseSection(std::string_view section) {
  const int s = FindSection(section);
  if (s >= 0) EraseSectionAt(s);
}

void IniModel::EraseSectionAt(int index) {
  sections_.erase(sections_.begin() + index);
  indexes_.clear();
  lookups_.clear();
}

int IniModel::AppendSection(std::string_view name) {
  sections_.push_back({std::string(name), {}, {}});
  return static_cast<int>(sections_.size()) - 1;
}

void IniModel::SetSectionLines(int index, std::vector<std::string> lines) {
  Touch(index);
  sections_[static_cast<size_t>(index)].lines = std::move(lines);
}

void IniModel::AppendLine(int index, std::string line) {
  Touch(index);
  sections_[static_cast<size_t>(index)].lines.push_back(std::move(line));
}

}  // namespace pelvar
