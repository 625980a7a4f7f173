#include "app/dry_run.h"

#include <cinttypes>
#include <cstdio>
#include <map>

#include "app/console_run_view.h"
#include "app/program_registry.h"
#include "app/reg_tool.h"
#include "app/registry_system_folders.h"
#include "engine/ini_model.h"
#include "engine/text.h"
#include "platform/host_registry.h"
#include "platform/overlay_file_system.h"
#include "platform/overlay_registry.h"
#include "platform/posix_file_system.h"
#include "platform/recording_launcher.h"
#include "platform/registry_text.h"
#include "platform/registry_tool_stand_ins.h"

namespace pelvar::app {

namespace {

using platform::Change;
using platform::EntryState;

std::string Bytes(uint64_t n) {
  return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// The keys of an INI text: section (folded) -> key (folded) -> line, with
// the names as written. Null when the text does not read as an INI file.
struct IniKeys {
  struct Key {
    std::string section;
    std::string key;
    std::string value;
  };
  std::map<std::string, Key> keys;  // by folded "section\nkey"
};

bool ReadIniKeys(const std::string& text, IniKeys& out) {
  // Every line that says something is a section header, a comment or a
  // key=value pair, and there is a section.
  bool section = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[' && line.back() == ']') {
      section = true;
      continue;
    }
    if (line.find('=') == std::string_view::npos) return false;
  }
  if (!section) return false;
  const IniModel model = IniModel::Parse(text);
  for (const IniModel::Section& s : model.sections()) {
    for (const std::string& line : s.lines) {
      const size_t eq = line.find('=');
      if (eq == std::string::npos) continue;
      std::string key = line.substr(0, eq);
      const std::string fold = AsciiLowerCopy(s.name) + "\n" + AsciiLowerCopy(key);
      out.keys.emplace(fold, IniKeys::Key{s.name, std::move(key), line.substr(eq + 1)});
    }
  }
  return true;
}

void AddIniLines(const std::string& path, const std::string& before, const std::string& after,
                 std::vector<std::string>& out) {
  IniKeys old_keys;
  IniKeys new_keys;
  if (!ReadIniKeys(before, old_keys) || !ReadIniKeys(after, new_keys)) return;
  std::map<std::string, std::pair<const IniKeys::Key*, const IniKeys::Key*>> all;
  for (const auto& [fold, key] : old_keys.keys) all[fold].first = &key;
  for (const auto& [fold, key] : new_keys.keys) all[fold].second = &key;
  for (const auto& [fold, pair] : all) {
    const auto [a, b] = pair;
    if (a != nullptr && b != nullptr && a->value == b->value) continue;
    const IniKeys::Key& named = b != nullptr ? *b : *a;
    out.push_back("ini " + path + " [" + named.section + "] " + named.key + ": " +
                  (a != nullptr ? a->value : "(none)") + " -> " +
                  (b != nullptr ? b->value : "(none)"));
  }
}

void AddPathLines(const Change& c, std::vector<std::string>& out) {
  const EntryState& a = c.before;
  const EntryState& b = c.after;
  const std::string& path = c.subject;
  using Kind = EntryState::Kind;
  const std::string from = b.from.empty() || b.from == path ? "" : ", copy of " + b.from;
  if (a.kind == Kind::kFile && b.kind != Kind::kFile) {
    out.push_back("- delete " + path + " (" + Bytes(a.size) + ")");
  }
  if (a.kind == Kind::kLink && b.kind != Kind::kLink) out.push_back("- link " + path);
  if (b.kind == Kind::kLink && a.kind != Kind::kLink) {
    out.push_back("+ link " + path + (b.from.empty() ? "" : " (copy of " + b.from + ")"));
  }
  if (a.kind == Kind::kFolder && b.kind != Kind::kFolder) out.push_back("- folder " + path);
  if (b.kind == Kind::kFolder && a.kind != Kind::kFolder) out.push_back("+ folder " + path);
  if (b.kind == Kind::kFile && a.kind != Kind::kFile) {
    out.push_back("+ create " + path + " (" + Bytes(b.size) + from + ")");
  }
  if (a.kind == Kind::kFile && b.kind == Kind::kFile) {
    const bool same_bytes =
        a.size == b.size && ((a.content && b.content && *a.content == *b.content) ||
                             (!b.content && b.generation == a.generation));
    if (!same_bytes) {
      out.push_back("~ replace " + path + " (" + std::to_string(a.size) + " -> " + Bytes(b.size) +
                    from + ")");
      if (a.content && b.content) AddIniLines(path, *a.content, *b.content, out);
    }
    if (b.executable && !a.executable) out.push_back("~ executable " + path);
  }
}

std::string Hex(std::string_view data) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "hex:";
  for (size_t i = 0; i < data.size(); ++i) {
    if (i > 0) out.push_back(',');
    const auto byte = static_cast<unsigned char>(data[i]);
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 15]);
  }
  return out;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  AppendEscaped(out, text);
  return out + "\"";
}

}  // namespace

std::string RegistryValueText(const std::optional<platform::RegistryValue>& value) {
  namespace reg_type = platform::reg_type;
  if (!value) return "(none)";
  const std::string& d = value->data;
  switch (value->type) {
    case reg_type::kString:
      return Quoted(platform::Utf16LeToUtf8(d));
    case reg_type::kExpandString:
      return "REG_EXPAND_SZ " + Quoted(platform::Utf16LeToUtf8(d));
    case reg_type::kMultiString: {
      std::string text = platform::Utf16LeTextToUtf8(d);
      while (!text.empty() && text.back() == '\0') text.pop_back();
      std::string out = "REG_MULTI_SZ";
      size_t pos = 0;
      while (pos <= text.size()) {
        size_t end = text.find('\0', pos);
        if (end == std::string::npos) end = text.size();
        out += (pos == 0 ? " " : ",") + Quoted(text.substr(pos, end - pos));
        pos = end + 1;
      }
      return out;
    }
    case reg_type::kDword:
    case reg_type::kDwordBigEndian:
      if (d.size() == 4) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
          const auto byte =
              static_cast<unsigned char>(d[value->type == reg_type::kDword ? i : 3 - i]);
          v |= static_cast<uint32_t>(byte) << (8 * i);
        }
        char buf[40];
        std::snprintf(buf, sizeof buf, "0x%08" PRIx32 " (%" PRIu32 ")", v, v);
        return buf;
      }
      break;
    case reg_type::kQword:
      if (d.size() == 8) {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) {
          v |= static_cast<uint64_t>(static_cast<unsigned char>(d[i])) << (8 * i);
        }
        char buf[60];
        std::snprintf(buf, sizeof buf, "0x%016" PRIx64 " (%" PRIu64 ")", v, v);
        return buf;
      }
      break;
    default:
      break;
  }
  return (value->type == reg_type::kBinary ? std::string()
                                           : "type " + std::to_string(value->type) + " ") +
         Hex(d);
}

std::vector<std::string> ChangeLines(const std::vector<Change>& changes) {
  std::vector<std::string> out;
  for (const Change& c : changes) {
    switch (c.type) {
      case Change::Type::kPath:
        AddPathLines(c, out);
        break;
      case Change::Type::kRegistryKey:
        out.push_back(std::string("reg ") + (c.key_after ? "+ key " : "- key ") + c.subject);
        break;
      case Change::Type::kRegistryValue:
        out.push_back(
            "reg " + c.subject + "\\" + (c.value_name.empty() ? "(Default)" : c.value_name) + ": " +
            RegistryValueText(c.value_before) + " -> " + RegistryValueText(c.value_after));
        break;
      case Change::Type::kNote:
        out.push_back(c.subject);
        break;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------

struct DryRunServices::Owned {
  platform::PosixFileSystem disk;
  std::unique_ptr<platform::OverlayFileSystem> files;
  std::string scratch;
  std::unique_ptr<platform::HostRegistry> store;
  std::unique_ptr<platform::OverlayRegistry> registry;
  std::unique_ptr<RegistrySystemFolders> folders;
  std::unique_ptr<platform::RecordingProcessLauncher> processes;
  std::unique_ptr<platform::RegistryStandInLauncher> stand_ins;
  std::unique_ptr<platform::RecordingDownloader> downloads;

  ~Owned() {
    registry.reset();
    store.reset();
    if (!scratch.empty()) disk.DeleteTree(scratch);
  }
};

DryRunServices::DryRunServices(const ProgramConfig& config, const ProgramLocation& location)
    : owned_(std::make_unique<Owned>()) {
  Owned& o = *owned_;
  o.files = std::make_unique<platform::OverlayFileSystem>(o.disk, &journal_);
  // Private scratch files: hives held only in memory.
  (void)o.disk.MakeTempFolder(o.scratch);
  const std::string store_path = RegistryStorePath(location);
  std::vector<platform::HiveMount> mounts;
  if (o.disk.Exists(store_path)) {
    o.store = std::make_unique<platform::HostRegistry>(store_path, SeedProgramFilesDir(config),
                                                       /*read_only=*/true);
    (void)o.store->Mounts(mounts);
  } else {
    // The store a first run would create, as it would hold: made in memory
    // when a command first reads it, and never on disk.
    o.store = std::make_unique<platform::HostRegistry>("", SeedProgramFilesDir(config),
                                                       /*read_only=*/true);
  }
  o.registry = std::make_unique<platform::OverlayRegistry>(*o.store, std::move(mounts), *o.files,
                                                           o.scratch, &journal_);
  o.folders = std::make_unique<RegistrySystemFolders>(
      o.disk, store_path, SeedProgramFilesDir(config), config.Read(config::kWindowsDir),
      config.Read(config::kWindowsSystemDir));
  services_.reg_tool = RegToolPath(location);
  o.processes = std::make_unique<platform::RecordingProcessLauncher>(journal_, services_.reg_tool,
                                                                     o.registry.get());
  // The registry tool's other commands (started by scripts as reg and
  // regedit) work on the overlays.
  o.processes->set_reg_tool_runner([&o](const std::vector<std::string>& args, std::string& err) {
    const RegToolTarget target{*o.registry, *o.files, {}, {}, {}};
    std::string out;
    return RunRegTool(args, target, out, err);
  });
  o.stand_ins =
      std::make_unique<platform::RegistryStandInLauncher>(*o.processes, services_.reg_tool);
  o.downloads = std::make_unique<platform::RecordingDownloader>(journal_, *o.files);
  services_.files = o.files.get();
  services_.folders = o.folders.get();
  services_.processes = o.stand_ins.get();
  services_.registry = o.registry.get();
  services_.downloads = o.downloads.get();
  services_.sound = nullptr;  // silent
}

DryRunServices::~DryRunServices() = default;

// ---------------------------------------------------------------------------

DryRunView::DryRunView(RunView& inner, platform::ChangeJournal& journal, Emit emit)
    : inner_(inner), journal_(journal), emit_(std::move(emit)) {}

void DryRunView::FlushChanges() {
  if (journal_.empty()) return;
  for (const std::string& line : ChangeLines(journal_.Take())) {
    if (emit_) {
      emit_("  " + line);
    } else {
      inner_.AddLog("  " + line, LogKind::kInfo, LogReveal::kAppend);
    }
  }
}

void DryRunView::AddLog(std::string_view text, LogKind kind, LogReveal reveal) {
  inner_.AddLog(text, kind, reveal);
  FlushChanges();
}

void DryRunView::AddLogWithReason(std::string_view text, LogKind kind, LogReveal reveal,
                                  const LogReason& reason) {
  inner_.AddLogWithReason(text, kind, reveal, reason);
  FlushChanges();
}

void DryRunView::ShowMessage(MessageKind /*kind*/, std::string_view caption,
                             std::string_view text) {
  journal_.Note("! would show message " + Quoted(std::string(caption)) + ": " + std::string(text));
}

}  // namespace pelvar::app
