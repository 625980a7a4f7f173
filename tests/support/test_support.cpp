#include "support/test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "commands/builtin_commands.h"
#include "platform/system_folders.h"

namespace pelvar::testing {

namespace fs = std::filesystem;

TempDir::TempDir() : TempDir(platform::HostTempDir()) {}

TempDir::TempDir(const std::string& parent) {
  std::string templ = parent;
  if (templ.empty() || templ.back() != '/') templ += '/';
  templ += "pelvar-test-XXXXXX";
  if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission on anything a test made read-only.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (!it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::Path(const std::string& relative) const {
  return path_ + "/" + relative;
}

std::string TempDir::Write(const std::string& relative, const std::string& content) const {
  const std::string p = Path(relative);
  WriteFileText(p, content);
  return p;
}

std::string TempDir::Read(const std::string& relative) const {
  return ReadFileText(Path(relative));
}

bool TempDir::Exists(const std::string& relative) const {
  std::error_code ec;
  return fs::exists(fs::symlink_status(Path(relative), ec));
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string FixturePath(const std::string& relative) {
#ifdef PELVAR_TEST_DATA
  const std::string path = std::string(PELVAR_TEST_DATA) + "/" + relative;
#else
  const std::string path = relative;
#endif
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    throw std::runtime_error("missing test fixture \"" + path + "\" (fixtures live in tests/data)");
  }
  return path;
}

std::string ReadFixture(const std::string& relative) {
  return ReadFileText(FixturePath(relative));
}

void WriteFileText(const std::string& path, const std::string& content) {
  const fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::string ReadBackStream(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, stream)) > 0) out.append(buf, n);
  return out;
}

std::vector<std::string> RecordingView::Texts() const {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(std::to_string(KindNumber(l.kind)) + "|" + l.text);
  return out;
}

ScriptHarness::ScriptHarness(const CommandSet* set)
    : commands(set != nullptr ? set : &commands::BuiltinCommands()) {
  services.folders = &folders;
}

void ScriptHarness::Run(const std::string& script_text, RunPaths paths) {
  script_path = dir.Write("test.script", script_text);
  ScriptContext context = CreateScriptContext(paths, view, *commands, services);
  RunScript(context, script_path, "process");
}

void ScriptHarness::RunLine(const std::string& line, RunPaths paths) {
  Run("[process]\r\n" + line + "\r\n", std::move(paths));
}

}  // namespace pelvar::testing
