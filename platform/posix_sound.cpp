#include "platform/posix_sound.h"

#include <unistd.h>

#include <cstdlib>

namespace pelvar::platform {

namespace {

// The freedesktop sound-theme name of each kind.
const char* ThemeSound(SoundKind kind) {
  switch (kind) {
    case SoundKind::kWarning:
      return "dialog-warning";
    case SoundKind::kError:
      return "dialog-error";
    case SoundKind::kAsterisk:
      return "dialog-information";
    case SoundKind::kConfirmation:
      return "dialog-question";
    case SoundKind::kOk:
    case SoundKind::kSimple:
      break;
  }
  return "bell";
}

bool InDesktopSession() {
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

PosixSound::PosixSound(int bell_fd, ProcessLauncher* launcher)
    : bell_fd_(bell_fd), launcher_(launcher) {}

void PosixSound::Play(SoundKind kind) {
  if (launcher_ != nullptr && InDesktopSession()) {
    ProcessRequest request;
    request.file = "canberra-gtk-play";
    request.parameters = std::string("-i ") + ThemeSound(kind);
    request.show = ShowMode::kHidden;
    if (launcher_->Run(request, /*wait=*/false).started) return;
  }
  if (bell_fd_ >= 0) {
    [[maybe_unused]] const ssize_t n = ::write(bell_fd_, "\a", 1);
  }
}

}  // namespace pelvar::platform
