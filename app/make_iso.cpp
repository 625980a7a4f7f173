#include "app/make_iso.h"

#include <algorithm>
#include <map>
#include <memory>
#include <utility>

#include "engine/text.h"
#include "platform/file_system.h"

namespace pelvar::app {

namespace {

constexpr const char* kWritingOperation = "Writing the ISO image";

// A refusal or failure: the reason, or empty for none.
using Problem = std::string;

// UTF-16 units of a UTF-8 text; false when it is not valid UTF-8.
bool Utf16Length(std::string_view text, size_t& units) {
  units = 0;
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    uint32_t point = 0;
    if (c < 0x80) {
      point = c;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      point = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      point = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      point = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and points past Unicode are not text.
    static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (point < kLeast[extra] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
      return false;
    }
    units += point >= 0x10000 ? 2 : 1;
    i += extra + 1;
  }
  return true;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string JoinScriptPath(const std::string& folder, std::string_view name) {
  if (!folder.empty() && IsPathSeparator(folder.back())) return folder + std::string(name);
  return folder + "\\" + std::string(name);
}

// The tree below `folder` (script path) into `out`, image paths below
// `image_folder`; the first name that cannot be kept is the problem.
Problem ScanTree(platform::FileSystem& files, const std::string& folder,
                 const std::string& image_folder, std::vector<TreeEntry>& out) {
  std::vector<platform::DirectoryEntry> entries;
  if (const std::error_code ec = files.List(folder, entries)) {
    return Quoted(folder) + ": " + platform::SystemMessage(ec);
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  for (const platform::DirectoryEntry& entry : entries) {
    const std::string path = JoinScriptPath(folder, entry.name);
    if (const std::string problem = JolietNameProblem(entry.name); !problem.empty()) {
      return Quoted(path) + ": " + problem;
    }
    if (entry.is_link) {
      return Quoted(path) + ": a symbolic link, which the image cannot hold";
    }
    const platform::FileStatus status = files.Status(path);
    TreeEntry item;
    item.path = image_folder + "/" + entry.name;
    if (status.is_folder()) {
      item.folder = true;
      out.push_back(item);
      if (Problem problem = ScanTree(files, path, item.path, out); !problem.empty()) {
        return problem;
      }
      continue;
    }
    if (!status.is_file()) {
      return Quoted(path) + ": neither a file nor a folder, which the image cannot hold";
    }
    item.size = status.size;
    out.push_back(std::move(item));
  }
  return {};
}

// The boot file at `relative` below the target (any letter case) as the
// image will name it; empty when the tree has no such file.
std::string FindBootFile(platform::FileSystem& files, const std::string& target,
                         const std::string& target_host, const char* relative) {
  const std::string path = JoinScriptPath(target, relative);
  if (!files.IsFile(path)) return {};
  const std::string host = files.Resolve(path);
  if (host.size() <= target_host.size() || host.compare(0, target_host.size(), target_host) != 0) {
    return {};
  }
  std::string image = host.substr(target_host.size());
  if (image.front() != '/') image.insert(image.begin(), '/');
  return image;
}

const char* PlatformName(platform::BootPlatform platform) {
  return platform == platform::BootPlatform::kEfi ? "UEFI" : "BIOS";
}

// The checks made before anything is written.
Problem CheckRequest(const MakeIsoRequest& request, platform::Services& services,
                     std::string& label) {
  if (services.files == nullptr || services.images == nullptr) {
    return "this run cannot make images";
  }
  platform::FileSystem& files = *services.files;
  if (request.iso_file.empty()) return "no ISO file is set (%isofile%)";
  if (request.target_dir.empty()) return "no target folder is set (%targetdir%)";
  if (!files.IsFolder(request.target_dir)) {
    return "the target folder " + Quoted(request.target_dir) + " does not exist";
  }
  if (IsPathSeparator(request.iso_file.back()) || files.IsFolder(request.iso_file)) {
    return "the ISO file " + Quoted(request.iso_file) + " names a folder";
  }
  const std::string iso_folder = FolderOfPath(request.iso_file);
  if (!iso_folder.empty() && !files.IsFolder(iso_folder)) {
    return "the ISO file's folder " + Quoted(iso_folder) + " does not exist";
  }
  if (services.images->Inside(files.Resolve(request.iso_file), files.Resolve(request.target_dir))) {
    return "the ISO file lies inside the target folder, so the image would hold itself";
  }
  label = request.label.empty() ? DefaultIsoLabel(request.iso_file) : request.label;
  if (const std::string problem = LabelProblem(label); !problem.empty()) {
    return "the label " + Quoted(label) + " " + problem;
  }
  return {};
}

}  // namespace

std::string DefaultIsoLabel(std::string_view iso_file) {
  std::string name = FileNameOfPath(iso_file);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  std::string label;
  for (char c : name) {
    if (label.size() == kMaxLabel) break;
    const char upper = AsciiUpper(c);
    const bool kept = (upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9');
    label += kept ? upper : '_';
  }
  return label.empty() ? std::string("PELVAR") : label;
}

std::string LabelProblem(std::string_view label) {
  if (label.empty()) return "is empty";
  if (label.size() > kMaxLabel) {
    return "has " + std::to_string(label.size()) + " characters; a label holds at most " +
           std::to_string(kMaxLabel);
  }
  for (char c : label) {
    if (c < 0x20 || c > 0x7E) return "holds a character other than printable ASCII";
  }
  return {};
}

std::string JolietNameProblem(std::string_view name) {
  size_t units = 0;
  if (!Utf16Length(name, units)) return "the name is not UTF-8 text, which Joliet names are";
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) {
      return "the name holds a control character, which Joliet names cannot hold";
    }
    if (std::string_view("*/:;?\\").find(c) != std::string_view::npos) {
      return std::string("the name holds \"") + c + "\", which Joliet names cannot hold";
    }
  }
  if (units > kMaxJolietName) {
    return "the name is " + std::to_string(units) + " characters long; Joliet names hold at most " +
           std::to_string(kMaxJolietName);
  }
  return {};
}

std::string BootEntriesText(const std::vector<platform::IsoBootEntry>& boot) {
  if (boot.empty()) return "no boot entry (a data image)";
  if (boot.size() == 2) return "BIOS and UEFI boot entries";
  return boot.front().platform == platform::BootPlatform::kEfi ? "an UEFI boot entry"
                                                               : "a BIOS boot entry";
}

std::string CompareImage(const std::vector<TreeEntry>& tree,
                         const std::vector<platform::IsoBootEntry>& boot, std::string_view label,
                         const platform::IsoContents& image) {
  if (image.label != label) {
    return "the image's label is " + Quoted(image.label) + ", not " + Quoted(label);
  }
  std::map<std::string_view, const platform::IsoEntry*> found;
  for (const platform::IsoEntry& entry : image.entries) {
    if (!found.emplace(entry.path, &entry).second) {
      return Quoted(entry.path) + " stands twice in the image";
    }
  }
  for (const TreeEntry& entry : tree) {
    const auto it = found.find(entry.path);
    if (it == found.end()) return Quoted(entry.path) + " is missing from the image";
    const platform::IsoEntry& got = *it->second;
    if (got.folder != entry.folder) {
      return Quoted(entry.path) + " is a " + (entry.folder ? "folder" : "file") +
             " in the target folder but not in the image";
    }
    if (!entry.folder && got.size != entry.size) {
      return Quoted(entry.path) + " has " + std::to_string(got.size) + " bytes in the image, " +
             std::to_string(entry.size) + " in the target folder";
    }
    found.erase(it);
  }
  if (!found.empty()) {
    return Quoted(found.begin()->first) + " is in the image but not in the target folder";
  }
  if (image.boot.size() != boot.size()) {
    return "the boot catalogue has " + std::to_string(image.boot.size()) + " entries, not " +
           std::to_string(boot.size());
  }
  for (size_t i = 0; i < boot.size(); ++i) {
    const platform::IsoBootEntry& want = boot[i];
    const platform::IsoBootRecord& got = image.boot[i];
    const std::string which = "boot entry " + std::to_string(i + 1) + " ";
    if (got.platform != want.platform) {
      return which + "is for " + PlatformName(got.platform) + ", not " +
             PlatformName(want.platform);
    }
    if (got.image_path != want.image_path) {
      return which + "starts " + Quoted(got.image_path) + ", not " + Quoted(want.image_path);
    }
    if (!got.no_emulation) return which + "emulates a disk";
    if (want.load_sectors != 0 && got.load_sectors != want.load_sectors) {
      return which + "loads " + std::to_string(got.load_sectors) + " sectors, not " +
             std::to_string(want.load_sectors);
    }
  }
  return {};
}

MakeIsoResult MakeIso(const MakeIsoRequest& request, platform::Services& services, RunView& view,
                      std::string* reason_out) {
  const std::string failed = "Failed to create ISO image: " + Quoted(request.iso_file);
  const auto fail = [&](const std::string& reason, MakeIsoResult result) {
    view.ShowOperationProgress(kWritingOperation, 0, 0, true);
    view.AddLogWithReason(failed, LogKind::kFailure, LogReveal::kSelect, LogReason{reason, {}, 0});
    if (reason_out != nullptr) *reason_out = reason;
    return result;
  };
  std::string label;
  if (Problem problem = CheckRequest(request, services, label); !problem.empty()) {
    return fail(problem, MakeIsoResult::kRefused);
  }
  platform::FileSystem& files = *services.files;
  platform::CommandScope scope(&files);
  const std::string target_host = files.Resolve(request.target_dir);

  std::vector<platform::IsoBootEntry> boot;
  if (std::string path = FindBootFile(files, request.target_dir, target_host, kBiosBootFile);
      !path.empty()) {
    boot.push_back({platform::BootPlatform::kBios, std::move(path), kBiosLoadSectors});
  }
  if (std::string path = FindBootFile(files, request.target_dir, target_host, kEfiBootFile);
      !path.empty()) {
    boot.push_back({platform::BootPlatform::kEfi, std::move(path), 0});
  }
  std::vector<TreeEntry> tree;
  if (Problem problem = ScanTree(files, request.target_dir, "", tree); !problem.empty()) {
    return fail(problem, MakeIsoResult::kRefused);
  }

  std::unique_ptr<platform::FileWriter> writer;
  if (const std::error_code ec =
          files.OpenReplace(request.iso_file, platform::Durability::kRewrite, writer)) {
    return fail(platform::SystemMessage(ec), MakeIsoResult::kRefused);
  }
  const std::string temp = writer->temp_host_path();
  if (temp.empty()) return fail("this run cannot make images", MakeIsoResult::kRefused);

  view.AddLog("Creating ISO image: " + Quoted(request.iso_file) + " from " +
                  Quoted(request.target_dir) + " with " + BootEntriesText(boot),
              LogKind::kInfo, LogReveal::kSelect);
  view.ShowOperationProgress(kWritingOperation, 0, 0, false);
  // The progress bar in percent of the files' bytes, about the image's size.
  uint64_t total = 1;
  for (const TreeEntry& entry : tree) total += entry.size;
  view.SetProgressMax(100);
  view.SetProgressPosition(0);
  platform::IsoWriteRequest write;
  write.tree = target_host;
  write.output = temp;
  write.label = label;
  write.boot = boot;
  write.progress = [&view, total](uint64_t bytes) {
    view.ShowOperationProgress(kWritingOperation, 0, bytes, false);
    view.SetProgressPosition(static_cast<int>(std::min<uint64_t>(100, bytes * 100 / total)));
  };
  write.stop = [&view] { return view.StopRequested(); };
  const platform::IsoOutcome written = services.images->Write(write);
  if (written.stopped) {
    writer.reset();  // the partial image goes
    return fail("stopped by the user; no image was left", MakeIsoResult::kStopped);
  }
  if (!written.done) return fail(written.reason, MakeIsoResult::kFailed);

  platform::IsoContents contents;
  const platform::IsoOutcome read = services.images->Read(temp, contents);
  if (!read.done) {
    return fail("the image could not be read back: " + read.reason, MakeIsoResult::kFailed);
  }
  if (const std::string problem = CompareImage(tree, boot, label, contents); !problem.empty()) {
    return fail("the image read back differs from the target folder: " + problem,
                MakeIsoResult::kFailed);
  }
  if (const std::error_code ec = writer->Commit()) {
    return fail(platform::SystemMessage(ec), MakeIsoResult::kFailed);
  }
  writer.reset();
  view.ShowOperationProgress(kWritingOperation, 0, 0, true);
  const uint64_t size = files.Status(request.iso_file).size;
  view.AddLog("Successfully created ISO image: " + Quoted(request.iso_file) + " (" +
                  std::to_string(size) + " bytes, " + BootEntriesText(boot) + ")",
              LogKind::kSuccess, LogReveal::kSelect);
  return MakeIsoResult::kMade;
}

}  // namespace pelvar::app
