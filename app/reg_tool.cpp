#include "app/reg_tool.h"

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <memory>
#include <optional>

#include "app/reg_file.h"
#include "commands/hex_bytes.h"
#include "engine/text.h"
#include "platform/file_system.h"
#include "platform/posix_file_system.h"
#include "platform/registry_text.h"

namespace pelvar::app {

const char* const kRegToolUsage =
    "Usage: pelvar-reg load KEY FILE          mount a hive file as HKLM\\NAME\n"
    "       pelvar-reg unload KEY             unmount it\n"
    "       pelvar-reg mounts                 list the mounted hives: NAME<TAB>FILE\n"
    "       pelvar-reg query KEY [/v NAME | /ve] [/s]\n"
    "       pelvar-reg add KEY [/v NAME | /ve] [/t TYPE] [/s SEP] [/d DATA] [/f]\n"
    "       pelvar-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "       pelvar-reg export KEY FILE [/y] [/a]\n"
    "       pelvar-reg import FILE\n"
    "\n"
    "KEY is ROOT\\PATH; ROOT is HKLM, HKCU, HKCR, HKU, HKCC or the long name\n"
    "(HKEY_LOCAL_MACHINE, ...). TYPE is REG_SZ (the default), REG_EXPAND_SZ,\n"
    "REG_MULTI_SZ (items separated by SEP, default \\0), REG_DWORD, REG_QWORD\n"
    "(decimal or 0x hexadecimal), REG_BINARY or REG_NONE (hexadecimal bytes).\n"
    "export writes a .reg file (UTF-16, or 8-bit REGEDIT4 with /a); import\n"
    "applies one: all of it, or nothing when a line is wrong.\n"
    "The registry store is $PELVAR_REGISTRY, by default registry.db in the\n"
    "program folder. Exit status: 0 success, 1 failure (message on stderr).\n";

namespace {

namespace reg_type = platform::reg_type;
using platform::Registry;
using platform::RegistryKey;
using platform::RegistryKeyContents;
using platform::RegistryResult;
using platform::RegistryRoot;
using platform::RegistryValue;

constexpr const char* kDone = "The operation completed successfully.\n";

// A failure of one run of the tool: its message.
struct ToolError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& message) {
  throw ToolError{message};
}

void Check(const RegistryResult& r) {
  if (!r.ok()) Fail(r.message);
}

// A key named on the command line, with its full path for display.
struct ToolKey {
  RegistryKey key;
  std::string display;
};

ToolKey ParseKey(const std::string& text) {
  static const struct {
    const char* short_name;
    RegistryRoot root;
  } kRoots[] = {{"HKLM", RegistryRoot::kLocalMachine},
                {"HKCU", RegistryRoot::kCurrentUser},
                {"HKCR", RegistryRoot::kClassesRoot},
                {"HKU", RegistryRoot::kUsers},
                {"HKCC", RegistryRoot::kCurrentConfig}};
  const size_t slash = text.find('\\');
  const std::string root = text.substr(0, slash);
  std::string path = slash == std::string::npos ? std::string() : text.substr(slash + 1);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  for (const auto& r : kRoots) {
    if (IEquals(root, r.short_name) || IEquals(root, platform::RootName(r.root))) {
      ToolKey key{{r.root, path}, platform::RootName(r.root)};
      if (!path.empty()) key.display += "\\" + path;
      return key;
    }
  }
  Fail("Invalid key name \"" + text + "\"");
}

ToolKey SubKey(const ToolKey& parent, const std::string& name) {
  ToolKey key = parent;
  key.key.path += (key.key.path.empty() ? "" : "\\") + name;
  key.display += "\\" + name;
  return key;
}

// The options of a command line after its positional words.
struct Options {
  std::optional<std::string> value;  // /v NAME, or "" for /ve
  bool all_values = false;           // /va
  bool recursive = false;            // /s (query)
  std::optional<std::string> type;   // /t
  std::optional<std::string> data;   // /d
  std::string separator = "\\0";     // /s (add)
  bool force = false;                // /f, /y
  bool ansi = false;                 // /a (export)
};

Options ParseOptions(const std::vector<std::string>& args, size_t first, const std::string& verb) {
  Options o;
  const auto next = [&](size_t& i) -> const std::string& {
    if (i + 1 >= args.size()) Fail("Invalid syntax: " + args[i] + " needs a value");
    return args[++i];
  };
  for (size_t i = first; i < args.size(); ++i) {
    const std::string opt = AsciiLowerCopy(args[i]);
    if (opt == "/v" && !o.value) {
      o.value = next(i);
    } else if (opt == "/ve" && !o.value) {
      o.value = "";
    } else if (opt == "/va" && verb == "delete") {
      o.all_values = true;
    } else if (opt == "/s" && verb == "query") {
      o.recursive = true;
    } else if (opt == "/s" && verb == "add") {
      o.separator = next(i);
    } else if (opt == "/t" && verb == "add" && !o.type) {
      o.type = next(i);
    } else if (opt == "/d" && verb == "add" && !o.data) {
      o.data = next(i);
    } else if (opt == "/a" && verb == "export") {
      o.ansi = true;
    } else if ((opt == "/f" && verb != "export") || (opt == "/y" && verb == "export")) {
      o.force = true;
    } else {
      Fail("Invalid syntax: unexpected \"" + args[i] + "\"");
    }
  }
  if (o.all_values && o.value) Fail("Invalid syntax: /va cannot go with /v or /ve");
  return o;
}

const char* TypeName(uint32_t type) {
  switch (type) {
    case reg_type::kNone:
      return "REG_NONE";
    case reg_type::kString:
      return "REG_SZ";
    case reg_type::kExpandString:
      return "REG_EXPAND_SZ";
    case reg_type::kBinary:
      return "REG_BINARY";
    case reg_type::kDword:
      return "REG_DWORD";
    case reg_type::kDwordBigEndian:
      return "REG_DWORD_BIG_ENDIAN";
    case reg_type::kLink:
      return "REG_LINK";
    case reg_type::kMultiString:
      return "REG_MULTI_SZ";
    case 8:
      return "REG_RESOURCE_LIST";
    case 9:
      return "REG_FULL_RESOURCE_DESCRIPTOR";
    case 10:
      return "REG_RESOURCE_REQUIREMENTS_LIST";
    case reg_type::kQword:
      return "REG_QWORD";
    default:
      return nullptr;
  }
}

std::optional<uint32_t> TypeOfName(const std::string& name) {
  for (uint32_t t = 0; t <= reg_type::kQword; ++t) {
    if (IEquals(name, TypeName(t))) return t;
  }
  return std::nullopt;
}

uint64_t LittleEndian(std::string_view data, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes && i < data.size(); ++i) {
    v |= static_cast<uint64_t>(static_cast<unsigned char>(data[i])) << (8 * i);
  }
  return v;
}

std::string HexPairs(std::string_view data) {
  std::string out;
  char buf[4];
  for (const char c : data) {
    std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned char>(c));
    out += buf;
  }
  return out;
}

// The data column of a query line.
std::string DataText(const RegistryValue& v) {
  char buf[32];
  switch (v.type) {
    case reg_type::kString:
    case reg_type::kExpandString:
      return platform::Utf16LeToUtf8(v.data);
    case reg_type::kMultiString: {
      std::string out;
      size_t start = 0;
      for (size_t i = 0; i + 1 < v.data.size(); i += 2) {
        if (v.data[i] != '\0' || v.data[i + 1] != '\0') continue;
        if (i == start) break;  // the empty item that ends the list
        if (!out.empty()) out += "\\0";
        out += platform::Utf16LeToUtf8(v.data.substr(start, i - start));
        start = i + 2;
      }
      return out;
    }
    case reg_type::kDword:
      if (v.data.size() != 4) break;
      std::snprintf(buf, sizeof buf, "0x%" PRIx64, LittleEndian(v.data, 4));
      return buf;
    case reg_type::kDwordBigEndian:
      if (v.data.size() != 4) break;
      std::snprintf(buf, sizeof buf, "0x%02x%02x%02x%02x", static_cast<unsigned char>(v.data[0]),
                    static_cast<unsigned char>(v.data[1]), static_cast<unsigned char>(v.data[2]),
                    static_cast<unsigned char>(v.data[3]));
      return buf;
    case reg_type::kQword:
      if (v.data.size() != 8) break;
      std::snprintf(buf, sizeof buf, "0x%" PRIx64, LittleEndian(v.data, 8));
      return buf;
    default:
      break;
  }
  return HexPairs(v.data);
}

std::string ValueLine(const RegistryValue& v) {
  std::string type;
  if (const char* name = TypeName(v.type)) {
    type = name;
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", v.type);
    type = buf;
  }
  return "    " + (v.name.empty() ? std::string("(Default)") : v.name) + "    " + type + "    " +
         DataText(v) + "\n";
}

RegistryKeyContents List(Registry& registry, const ToolKey& key) {
  RegistryKeyContents contents;
  Check(registry.ListKey(key.key, contents));
  return contents;
}

// Query with /s: every key below, with its values (or the one value asked
// for); returns the number of matches.
size_t QueryTree(Registry& registry, const ToolKey& key, const Options& o, std::string& out) {
  const RegistryKeyContents contents = List(registry, key);
  size_t matches = 0;
  std::string lines;
  for (const RegistryValue& v : contents.values) {
    if (o.value && !platform::NamesEqual(v.name, platform::ScriptTextToUtf8(*o.value))) continue;
    lines += ValueLine(v);
    ++matches;
  }
  if (!o.value || matches > 0) out += key.display + "\n" + lines + "\n";
  for (const std::string& sub : contents.subkeys) {
    matches += QueryTree(registry, SubKey(key, sub), o, out);
  }
  return matches;
}

std::string Query(Registry& registry, const ToolKey& key, const Options& o) {
  std::string out = "\n";
  if (o.recursive) {
    const size_t matches = QueryTree(registry, key, o, out);
    if (o.value) out += "End of search: " + std::to_string(matches) + " match(es) found.\n";
    return out;
  }
  if (o.value) {
    RegistryValue v;
    Check(registry.GetValue(key.key, *o.value, v));
    return out + key.display + "\n" + ValueLine(v) + "\n";
  }
  const RegistryKeyContents contents = List(registry, key);
  if (!contents.values.empty()) {
    out += key.display + "\n";
    for (const RegistryValue& v : contents.values) out += ValueLine(v);
    out += "\n";
  }
  for (const std::string& sub : contents.subkeys) out += SubKey(key, sub).display + "\n";
  return out;
}

uint64_t ParseNumber(const std::string& text, uint64_t max) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty()) Fail("Invalid number \"" + text + "\"");
  for (const char c : digits) {
    if (!(hex ? std::isxdigit(static_cast<unsigned char>(c))
              : std::isdigit(static_cast<unsigned char>(c)))) {
      Fail("Invalid number \"" + text + "\"");
    }
  }
  errno = 0;
  const unsigned long long v = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (errno != 0 || v > max) Fail("Number out of range \"" + text + "\"");
  return v;
}

std::string LittleEndianBytes(uint64_t v, size_t bytes) {
  std::string out;
  for (size_t i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return out;
}

// The value that add writes.
RegistryValue AddedValue(const Options& o) {
  const std::string type_name = o.type.value_or("REG_SZ");
  const auto type = TypeOfName(type_name);
  if (!type) Fail("Invalid type \"" + type_name + "\"");
  const std::string data = o.data.value_or("");
  RegistryValue v{o.value.value_or(""), *type, {}};
  switch (*type) {
    case reg_type::kString:
    case reg_type::kExpandString:
    case reg_type::kLink:
      v.data = platform::RegistryStringBytes(data);
      break;
    case reg_type::kMultiString: {
      if (o.separator.empty()) Fail("Invalid syntax: an empty separator");
      size_t start = 0;
      while (start < data.size()) {
        size_t end = data.find(o.separator, start);
        if (end == std::string::npos) end = data.size();
        v.data += platform::RegistryStringBytes(data.substr(start, end - start));
        start = end + o.separator.size();
      }
      v.data.append(2, '\0');
      break;
    }
    case reg_type::kDword:
      v.data = LittleEndianBytes(ParseNumber(data, UINT32_MAX), 4);
      break;
    case reg_type::kDwordBigEndian: {
      const std::string le = LittleEndianBytes(ParseNumber(data, UINT32_MAX), 4);
      v.data.assign(le.rbegin(), le.rend());
      break;
    }
    case reg_type::kQword:
      v.data = LittleEndianBytes(ParseNumber(data, UINT64_MAX), 8);
      break;
    default: {
      auto bytes = commands::ParseHexBytes(data);
      if (!bytes) Fail("Invalid hexadecimal data \"" + data + "\"");
      v.data = std::move(*bytes);
    }
  }
  return v;
}

// Writes an export as the keys come, in pieces of about this size: the
// file is never held whole.
constexpr size_t kExportPiece = size_t{1} << 20;

// An export written while the tree is walked. The file is begun at the first
// piece, so a key that cannot be listed is reported before the file; it is
// made the target's only when the whole export succeeded.
class ExportWriter {
 public:
  ExportWriter(platform::FileSystem& files, std::string path, RegFileFormat format)
      : files_(files), path_(std::move(path)), format_(format) {
    text_ = RegFileHeader(format_);
    bytes_ = RegFileMark(format_);
  }

  // A key and its values.
  void Add(std::string_view key_path, const std::vector<RegistryValue>& values) {
    std::string problem;
    if (!AppendRegFileKey(text_, key_path, values, format_, problem)) {
      Fail(problem + "; export without /a");
    }
    if (text_.size() >= kExportPiece) Convert();
  }

  void Finish() {
    Convert();
    // A text problem found later is reported before one of the bytes.
    if (bytes_failed_) {
      Fail(
          "a name or a text holds characters that the 8-bit format cannot carry; export "
          "without /a");
    }
    Flush();
    if (writer_ == nullptr) Open();
    if (const auto ec = writer_->Commit()) WriteFailed(ec);
  }

 private:
  // The text so far into bytes; once some text had no bytes, the rest is
  // only checked for the problems of its values.
  void Convert() {
    if (!bytes_failed_ && !AppendRegFileBytes(text_, format_, bytes_)) bytes_failed_ = true;
    text_.clear();
    if (bytes_failed_) {
      bytes_.clear();
      return;
    }
    if (bytes_.size() >= kExportPiece) Flush();
  }

  void Flush() {
    if (bytes_.empty()) return;
    if (writer_ == nullptr) Open();
    if (const auto ec = writer_->Write(bytes_)) WriteFailed(ec);
    bytes_.clear();
  }

  void Open() {
    if (const auto ec = files_.OpenReplace(path_, platform::Durability::kRewrite, writer_)) {
      WriteFailed(ec);
    }
  }

  [[noreturn]] void WriteFailed(std::error_code ec) {
    Fail("Cannot write \"" + path_ + "\": " + platform::SystemMessage(ec));
  }

  platform::FileSystem& files_;
  std::string path_;
  RegFileFormat format_;
  std::string text_;
  std::string bytes_;
  bool bytes_failed_ = false;
  std::unique_ptr<platform::FileWriter> writer_;
};

void Export(Registry& registry, const ToolKey& key, ExportWriter& writer) {
  std::string path;
  Check(registry.WalkTree(key.key, [&](std::string_view relative, RegistryKeyContents& contents) {
    path = key.display;
    if (!relative.empty()) path.append("\\").append(relative);
    writer.Add(path, contents.values);
    return RegistryResult{};
  }));
}

void Expect(bool ok) {
  if (!ok) Fail("Invalid syntax. Type \"pelvar-reg /?\" for usage.");
}

// The keys directly below HKEY_LOCAL_MACHINE and HKEY_USERS, roots that
// hold only their fixed keys and mounted hives; listed on first need.
class SealedRootKeys {
 public:
  explicit SealedRootKeys(Registry& registry) : registry_(registry) {}

  // The first name of the key's path when the key lies below one of those
  // roots and no key there has that name; else empty.
  std::string Missing(const RegistryKey& key) {
    if (key.root != RegistryRoot::kLocalMachine && key.root != RegistryRoot::kUsers) return "";
    std::vector<std::string> names;
    if (!platform::SplitKeyPath(key.path, names) || names.empty()) return "";
    if (!listed_) {
      listed_ = true;
      RegistryKeyContents contents;
      if (registry_.ListKey({RegistryRoot::kLocalMachine, ""}, contents).ok()) {
        machine_ = std::move(contents.subkeys);
      }
      if (registry_.ListKey({RegistryRoot::kUsers, ""}, contents).ok()) {
        users_ = std::move(contents.subkeys);
      }
    }
    for (const std::string& name : key.root == RegistryRoot::kLocalMachine ? machine_ : users_) {
      if (platform::NamesEqual(name, names.front())) return "";
    }
    return names.front();
  }

 private:
  Registry& registry_;
  bool listed_ = false;
  std::vector<std::string> machine_;
  std::vector<std::string> users_;
};

void Import(const RegToolTarget& target, const std::string& file) {
  std::string bytes;
  if (const auto ec = target.files.ReadAll(file, bytes)) {
    Fail("Cannot read \"" + file + "\": " + platform::SystemMessage(ec));
  }
  const RegFileContents contents = ParseRegFile(bytes);
  const auto at_line = [&](size_t line, const std::string& what) {
    Fail(file + ", line " + std::to_string(line) + ": " + what + "; nothing was imported");
  };
  if (!contents.ok()) at_line(contents.error_line, contents.error);
  // Keys below HKEY_LOCAL_MACHINE and HKEY_USERS go into their fixed keys
  // or into mounted hives; any other name there is a hive not loaded.
  SealedRootKeys sealed(target.registry);
  std::vector<platform::RegistryChange> changes;
  changes.reserve(contents.entries.size());
  for (const RegFileEntry& entry : contents.entries) {
    const std::string missing = sealed.Missing(entry.change.key);
    if (!missing.empty()) {
      at_line(entry.line, std::string(platform::RootName(entry.change.key.root)) + "\\" + missing +
                              (entry.change.key.root == RegistryRoot::kLocalMachine
                                   ? " is not a mounted hive: load it first"
                                   : " does not exist"));
    }
    changes.push_back(entry.change);
  }
  size_t failed = 0;
  const RegistryResult r = target.registry.ApplyChanges(changes, failed);
  if (!r.ok()) {
    if (failed < contents.entries.size()) at_line(contents.entries[failed].line, r.message);
    Fail(file + ": " + r.message + "; nothing was imported");
  }
}

int Run(const std::vector<std::string>& args, const RegToolTarget& target, std::string& out) {
  Registry& registry = target.registry;
  Expect(!args.empty());
  const std::string verb = AsciiLowerCopy(args[0]);
  if (verb == "/?" || verb == "-h" || verb == "--help") {
    out += kRegToolUsage;
    return 0;
  }
  const auto unsupported = [] { Fail("Hives cannot be mounted here"); };
  if (verb == "mounts") {
    Expect(args.size() == 1);
    if (!target.mounts) unsupported();
    std::vector<platform::HiveMount> mounts;
    Check(target.mounts(mounts));
    for (const platform::HiveMount& m : mounts) {
      out += "HKEY_LOCAL_MACHINE\\" + m.name + "\t" + m.file + "\n";
    }
    return 0;
  }
  Expect(args.size() >= 2);
  if (verb == "import") {
    Expect(args.size() == 2);
    Import(target, args[1]);
    Check(registry.CommitPending());
    out += kDone;
    return 0;
  }
  const ToolKey key = ParseKey(args[1]);
  if (verb == "load" || verb == "unload") {
    Expect(args.size() == (verb == "load" ? 3u : 2u));
    std::vector<std::string> names;
    if (key.key.root != RegistryRoot::kLocalMachine ||
        !platform::SplitKeyPath(key.key.path, names) || names.size() != 1) {
      Fail("Only a key directly below HKEY_LOCAL_MACHINE can be a mounted hive");
    }
    if (!(verb == "load" ? bool(target.load) : bool(target.unload))) unsupported();
    Check(verb == "load" ? target.load(names[0], args[2]) : target.unload(names[0]));
    out += kDone;
    return 0;
  }
  if (verb == "export") {
    Expect(args.size() >= 3);
    const Options o = ParseOptions(args, 3, verb);
    if (!o.force && target.files.Exists(args[2])) {
      Fail("\"" + args[2] + "\" exists; add /y to overwrite it");
    }
    ExportWriter writer(target.files, args[2],
                        o.ansi ? RegFileFormat::kAnsi : RegFileFormat::kUnicode);
    Export(registry, key, writer);
    writer.Finish();
    out += kDone;
    return 0;
  }
  const Options o = ParseOptions(args, 2, verb);
  if (verb == "query") {
    out += Query(registry, key, o);
  } else if (verb == "add") {
    if (o.value || o.data || o.type) {
      Check(registry.SetValue(key.key, platform::KeyOpen::kCreate, AddedValue(o)));
    } else {
      Check(registry.CreateKey(key.key));
    }
    Check(registry.CommitPending());
    out += kDone;
  } else if (verb == "delete") {
    if (o.value) {
      Check(registry.DeleteValue(key.key, *o.value));
    } else if (o.all_values) {
      for (const RegistryValue& v : List(registry, key).values) {
        Check(registry.DeleteValue(key.key, v.name));
      }
    } else {
      const size_t slash = key.key.path.rfind('\\');
      if (key.key.path.empty()) Fail("A root key cannot be deleted");
      const RegistryKey parent{
          key.key.root, slash == std::string::npos ? std::string() : key.key.path.substr(0, slash)};
      Check(registry.DeleteKey(parent, platform::KeyOpen::kExisting,
                               key.key.path.substr(slash == std::string::npos ? 0 : slash + 1)));
    }
    Check(registry.CommitPending());
    out += kDone;
  } else {
    Expect(false);
  }
  return 0;
}

}  // namespace

RegToolTarget HostRegToolTarget(platform::HostRegistry& registry, platform::FileSystem& files) {
  return {registry, files,
          [&registry](std::string_view name, std::string_view file) {
            return registry.LoadHive(name, file);
          },
          [&registry](std::string_view name) { return registry.UnloadHive(name); },
          [&registry](std::vector<platform::HiveMount>& out) { return registry.Mounts(out); }};
}

int RunRegTool(const std::vector<std::string>& args, const RegToolTarget& target, std::string& out,
               std::string& err) {
  try {
    return Run(args, target, out);
  } catch (const ToolError& e) {
    err += "ERROR: " + e.message + "\n";
    return 1;
  }
}

int RunRegTool(const std::vector<std::string>& args, const RegToolTarget& target, std::FILE* out,
               std::FILE* err) {
  std::string out_text;
  std::string err_text;
  const int status = RunRegTool(args, target, out_text, err_text);
  std::fwrite(out_text.data(), 1, out_text.size(), out);
  std::fwrite(err_text.data(), 1, err_text.size(), err);
  return status;
}

int RunRegTool(const std::vector<std::string>& args, platform::HostRegistry& registry,
               std::FILE* out, std::FILE* err) {
  return RunRegTool(args, HostRegToolTarget(registry, platform::ThreadFileSystem()), out, err);
}

}  // namespace pelvar::app
