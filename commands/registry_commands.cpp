// The registry value commands. Six of them act like a key object whose root
// defaults to HKEY_CURRENT_USER: an unknown root name leaves that default,
// a missing key path is created, and a refused value write ends the run.
// regwritedword goes to the registry directly: an unknown root or a missing
// key is its failure. Root names are compared exactly; every argument is
// unescaped before use and the log text is unescaped as a whole.
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

// The key a key-object command opens: the root named (HKEY_CURRENT_USER for
// any other name) and the path without one leading "\".
RegistryKey KeyObjectKey(const RegistryLine& line) {
  RegistryKey key{RootOfName(line.root).value_or(RegistryRoot::kCurrentUser), line.path};
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
  if (registry == nullptr) return false;
  const RegistryResult r = registry->SetValue(KeyObjectKey(line), KeyOpen::kCreate,
                                              RegistryValue{line.name, type, std::move(data)});
  if (r.status == RegistryStatus::kValueRefused) {
    throw ScriptError("Failed to set data for '" + line.name + "'");
  }
  return r.ok();
}

// Opens (creating) the key only, for a command whose data does not convert.
void OpenByKeyObject(CommandCall& call, const RegistryLine& line) {
  if (Registry* registry = call.context().services.registry) {
    (void)registry->CreateKey(KeyObjectKey(line));
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
  if (Registry* registry = call.context().services.registry) {
    ok = registry->DeleteKey(KeyObjectKey(l), KeyOpen::kCreate, l.name).ok();
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
