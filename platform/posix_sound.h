// Sounds on Linux: in a desktop session the desktop's event sound (played by
// canberra-gtk-play when installed), otherwise the terminal bell when the
// bell's descriptor is a terminal; silent when neither is available.
#pragma once

#include "platform/process_launcher.h"
#include "platform/sound.h"

namespace pelvar::platform {

class PosixSound : public Sound {
 public:
  // `bell_fd`: the terminal to ring (-1: none). `launcher` starts the sound
  // player; null plays no desktop sound. Both are borrowed.
  PosixSound(int bell_fd, ProcessLauncher* launcher);

  void Play(SoundKind kind) override;

 private:
  int bell_fd_;
  ProcessLauncher* launcher_;
};

}  // namespace pelvar::platform
