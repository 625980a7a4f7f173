#include "platform/registry_tool_stand_ins.h"

#include "platform/windows_command_line.h"

namespace pelvar::platform {

namespace {

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The file name without its folder ("/" or "\" before it), lower-cased.
std::string BaseName(std::string_view file) {
  const size_t slash = file.find_last_of("/\\");
  return AsciiLower(slash == std::string_view::npos ? file : file.substr(slash + 1));
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

RegistryStandIn RegistryStandInFor(std::string_view file, std::string_view verb) {
  const std::string name = BaseName(file);
  if (name == "reg" || name == "reg.exe") return RegistryStandIn::kReg;
  if (name == "regedit" || name == "regedit.exe") return RegistryStandIn::kRegedit;
  // Opening a .reg file merges it; other verbs (edit, print) are the
  // document's programs'.
  const std::string action = AsciiLower(verb);
  if (EndsWith(name, ".reg") && name.size() > 4 &&
      (action.empty() || action == "open" || action == "merge")) {
    return RegistryStandIn::kRegDocument;
  }
  return RegistryStandIn::kNone;
}

std::vector<std::string> RegistryStandInArguments(RegistryStandIn stand_in, std::string_view file,
                                                  std::string_view parameters) {
  switch (stand_in) {
    case RegistryStandIn::kNone:
      return {};
    case RegistryStandIn::kReg:
      return SplitWindowsCommandLine(parameters);
    case RegistryStandIn::kRegDocument:
      return {"import", std::string(file)};
    case RegistryStandIn::kRegedit:
      break;
  }
  // regedit: /s asks for no confirmation (none is ever asked); /e and /a
  // export FILE KEY; anything else is the file to import.
  std::vector<std::string> words = SplitWindowsCommandLine(parameters);
  std::vector<std::string> rest;
  std::string export_option;
  for (const std::string& word : words) {
    const std::string option = AsciiLower(word);
    if (option == "/s" || option == "-s") continue;
    if (export_option.empty() && rest.empty() &&
        (option == "/e" || option == "-e" || option == "/a" || option == "-a")) {
      export_option = option.substr(1);
      continue;
    }
    rest.push_back(word);
  }
  if (!export_option.empty()) {
    // Without a key the whole registry would be written: the tool refuses.
    std::vector<std::string> args = {"export"};
    if (rest.size() == 2) {
      args = {"export", rest[1], rest[0], "/y"};
      if (export_option == "a") args.push_back("/a");
    } else {
      args.insert(args.end(), rest.begin(), rest.end());
    }
    return args;
  }
  std::vector<std::string> args = {"import"};
  args.insert(args.end(), rest.begin(), rest.end());
  return args;
}

ProcessOutcome RegistryStandInLauncher::Run(const ProcessRequest& request, bool wait) {
  const RegistryStandIn stand_in = RegistryStandInFor(request.file, request.verb);
  if (stand_in == RegistryStandIn::kNone || reg_tool_.empty()) return inner_.Run(request, wait);
  ProcessRequest tool;
  tool.file = reg_tool_;
  if (stand_in == RegistryStandIn::kReg) {
    tool.parameters = request.parameters;  // reg's arguments are the tool's
  } else {
    for (const std::string& arg :
         RegistryStandInArguments(stand_in, request.file, request.parameters)) {
      if (!tool.parameters.empty()) tool.parameters += ' ';
      tool.parameters += QuoteWindowsArgument(arg);
    }
  }
  tool.show = ShowMode::kNormal;
  tool.stop = request.stop;
  return inner_.Run(tool, wait);
}

}  // namespace pelvar::platform
