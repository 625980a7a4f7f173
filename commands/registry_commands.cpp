// The registry value commands. Six of them act like a key object: a missing
// key path is created, and a refused value write ends the run. regwritedword
// goes to the registry directly: a missing key is its failure. A root name
// that is not one of the five (compared exactly) is every command's failure
// and nothing is written. Every argument is unescaped before use and the log
// text is unescaped as a whole.
#include <optional>

#include "commands/builtin_commands.h"
#include "commands/hex_bytes.h"
#include "engine/ini_file.h"
#include "engine/integer_text.h"
#include "engine/script_context.h"
#include "engine/script_error.h"
#include "engine/text.h"
#include "platform/registry.h"
#include "platform/registry_text.h"

namespace pelvar::commands {

namespace {

using platform::KeyOpen;
using platform::Registry;
using platform::RegistryKey;
using platform::RegistryResult;
using platform::RegistryRoot;
using platform::RegistryStatus;
using platform::RegistryValue;

// The root a name stands for, compared exactly (no short forms).
std::optional<RegistryRoot> RootOfName(std::string_view name) {
  for (const RegistryRoot root :
       {RegistryRoot::kCurrentUser, RegistryRoot::kClassesRoot, RegistryRoot::kLocalMachine,
        RegistryRoot::kUsers, RegistryRoot::kCurrentConfig}) {
    if (name == platform::RootName(root)) return root;
  }
  return std::nullopt;
}

std::string DwordBytes(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
          static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
}

// The fields of a registry line, as written and unescaped.
struct RegistryLine {
  std::string f2, f3, f4, f5;          // as written
  std::string root, path, name, data;  // unescaped
};

RegistryLine ReadLine(CommandCall& call, bool has_data) {
  RegistryLine line;
  line.f2 = call.Field(2);
  line.f3 = call.Field(3);
  line.f4 = call.Field(4);
  if (has_data) line.f5 = call.Field(5);
  line.root = UnescapeField(line.f2);
  line.path = UnescapeField(line.f3);
  line.name = UnescapeField(line.f4);
  line.data = UnescapeField(line.f5);
  return line;
}

// The reason of an unknown root name.
std::string UnknownRootReason(const std::string& root) {
  return "unknown registry root \"" + root +
         "\": the roots are HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, "
         "HKEY_USERS and HKEY_CURRENT_CONFIG";
}

// The key a key-object command opens: the root named and the path without
// one leading "\"; nullopt (with the reason set) for an unknown root name or
// without a registry.
std::optional<RegistryKey> KeyObjectKey(CommandCall& call, const RegistryLine& line) {
  const std::optional<RegistryRoot> root = RootOfName(line.root);
  if (!root) {
    call.SetReason(UnknownRootReason(line.root));
    return std::nullopt;
  }
  if (call.context().services.registry == nullptr) {
    call.SetReason("no registry");
    return std::nullopt;
  }
  RegistryKey key{*root, line.path};
  if (!key.path.empty() && key.path.front() == '\\') key.path.erase(0, 1);
  return key;
}

// Log texts: "Successfully wrote " or "Failed to write " before the rest.
void LogWrite(CommandCall& call, bool ok, const std::string& rest) {
  call.Log(UnescapeField((ok ? "Successfully wrote " : "Failed to write ") + rest),
           ok ? LogKind::kSuccess : LogKind::kFailure);
}

// " registry ... key in: "root\path" Key:name" Value:"data""
std::string ValueLayout(const RegistryLine& l) {
  return "key in: \"" + l.f2 + "\\" + l.f3 + "\" Key:" + l.f4 + "\" Value:\"" + l.f5 + "\"";
}

// "REG ... key in: "root\path\name\data""
std::string PathLayout(const RegistryLine& l) {
  return "key in: \"" + l.f2 + "\\" + l.f3 + "\\" + l.f4 + "\\" + l.f5 + "\"";
}

// Writes a value through the key-object layer: true when written, false when
// the key could not be opened or the hive refuses the change; a refused
// value write raises "Failed to set data for '%s'".
bool WriteByKeyObject(CommandCall& call, const RegistryLine& line, uint32_t type,
                      std::string data) {
  Registry* registry = call.context().services.registry;
  const std::optional<RegistryKey> key = KeyObjectKey(call, line);
  if (registry == nullptr || !key) return false;
  const RegistryResult r =
      registry->SetValue(*key, KeyOpen::kCreate, RegistryValue{line.name, type, std::move(data)});
  if (r.status == RegistryStatus::kValueRefused) {
    throw ScriptError("Failed to set data for '" + line.name + "'");
  }
  if (!r.ok()) call.SetReason(r.message);
  return r.ok();
}

// Opens (creating) the key only, for a command whose data does not convert.
void OpenByKeyObject(CommandCall& call, const RegistryLine& line) {
  Registry* registry = call.context().services.registry;
  if (const std::optional<RegistryKey> key = KeyObjectKey(call, line); registry != nullptr && key) {
    (void)registry->CreateKey(*key);
  }
}

void RegWriteExpandString(CommandCall& call) {
  const RegistryLine l = ReadLine(call, true);
  const bool ok = WriteByKeyObject(call, l, platform::reg_type::kExpandString,
                                   platform::RegistryStringBytes(l.data));
  LogWrite(call, ok, "registry expanded string " + ValueLayout(l));
}

void RegWriteString(CommandCall& call) {
  const RegistryLine l = ReadLine(call, true);
  const bool ok =
      WriteByKeyObject(call, l, platform::reg_type::kString, platform::RegistryStringBytes(l.data));
  LogWrite(call, ok, "registry string " + ValueLayout(l));
}

void RegWriteInteger(CommandCall& call) {
  const RegistryLine l = ReadLine(call, true);
  bool ok = false;
  if (const auto n = ParseIntegerText(l.data)) {
    ok = WriteByKeyObject(call, l, platform::reg_type::kDword, DwordBytes(*n));
  } else {
    OpenByKeyObject(call, l);
    if (call.reason().empty()) call.SetReason("\"" + l.data + "\" is not an integer");
  }
  LogWrite(call, ok, "registry integer " + ValueLayout(l));
}

void RegWriteDword(CommandCall& call) {
  const RegistryLine l = ReadLine(call, true);
  bool ok = false;
  const auto root = RootOfName(l.root);
  const auto n = ParseIntegerText(l.data);
  Registry* registry = call.context().services.registry;
  if (root && n && registry != nullptr) {
    const RegistryResult r =
        registry->SetValue(RegistryKey{*root, l.path}, KeyOpen::kExisting,
                           RegistryValue{l.name, platform::reg_type::kDword, DwordBytes(*n)});
    ok = r.ok();
    if (!ok) call.SetReason(r.message);
  } else if (!root) {
    call.SetReason(UnknownRootReason(l.root));
  } else if (!n) {
    call.SetReason("\"" + l.data + "\" is not an integer");
  } else {
    call.SetReason("no registry");
  }
  LogWrite(call, ok,
           "REG DWORD key in: \"" + l.f2 + "\\" + l.f3 + "\\" + l.f4 + "\" Value:\"" + l.f5 + "\"");
}

void RegWriteBinary(CommandCall& call) {
  const RegistryLine l = ReadLine(call, true);
  bool ok = false;
  if (auto bytes = ParseHexBytes(l.data)) {
    ok = WriteByKeyObject(call, l, platform::reg_type::kBinary, std::move(*bytes));
  } else {
    OpenByKeyObject(call, l);
    if (call.reason().empty()) {
      call.SetReason("\"" + l.data + "\" is not hexadecimal bytes");
    }
  }
  LogWrite(call, ok, "REG binary " + PathLayout(l));
}

void RegWriteBool(CommandCall& call) {
  const RegistryLine l = ReadLine(call, true);
  const int32_t value = AsciiLowerCopy(l.data) == "true" ? 1 : 0;
  const bool ok = WriteByKeyObject(call, l, platform::reg_type::kDword, DwordBytes(value));
  LogWrite(call, ok, "REG boolean " + PathLayout(l));
}

void RegDeleteKey(CommandCall& call) {
  const RegistryLine l = ReadLine(call, false);
  bool ok = false;
  Registry* registry = call.context().services.registry;
  if (const std::optional<RegistryKey> key = KeyObjectKey(call, l); registry != nullptr && key) {
    const RegistryResult r = registry->DeleteKey(*key, KeyOpen::kCreate, l.name);
    ok = r.ok();
    if (!ok) call.SetReason(r.message);
  }
  const std::string rest = "registry key in: \"" + l.f2 + "\\" + l.f3 + " key:" + l.f4 + "\"";
  call.Log(UnescapeField((ok ? "Successfully deleted " : "Failed to delete ") + rest),
           ok ? LogKind::kSuccess : LogKind::kFailure);
}

}  // namespace

void RegisterRegistryCommands(CommandSet& set) {
  set.Set("regwriteexpandstring", RegWriteExpandString);
  set.Set("regwritestring", RegWriteString);
  set.Set("regwriteinteger", RegWriteInteger);
  set.Set("regwritedword", RegWriteDword);
  set.Set("regwritebinary", RegWriteBinary);
  set.Set("regwritebool", RegWriteBool);
  set.Set("regdeletekey", RegDeleteKey);
}

}  // namespace pelvar::commands
