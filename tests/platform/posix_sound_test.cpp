#include "platform/posix_sound.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace pelvar::platform {
namespace {

class FakeLauncher : public ProcessLauncher {
 public:
  ProcessOutcome Run(const ProcessRequest& request, bool wait) override {
    requests.push_back(request);
    waited.push_back(wait);
    ProcessOutcome o;
    o.started = starts;
    return o;
  }
  bool starts = true;
  std::vector<ProcessRequest> requests;
  std::vector<bool> waited;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class PosixSoundTest : public ::testing::Test {
 protected:
  PosixSoundTest() { EXPECT_EQ(::pipe2(fds_, O_NONBLOCK), 0); }
  ~PosixSoundTest() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  // What reached the bell's descriptor since the last call.
  std::string Rung() {
    std::string out;
    char buf[16];
    ssize_t n;
    while ((n = ::read(fds_[0], buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    return out;
  }

  int fds_[2] = {-1, -1};
  FakeLauncher launcher_;
  ScopedEnv wayland_{"WAYLAND_DISPLAY", nullptr};
};

TEST_F(PosixSoundTest, TerminalBellWithoutADesktop) {
  ScopedEnv display("DISPLAY", nullptr);
  PosixSound sound(fds_[1], &launcher_);
  sound.Play(SoundKind::kWarning);
  sound.Play(SoundKind::kSimple);
  EXPECT_EQ(Rung(), "\a\a");
  EXPECT_TRUE(launcher_.requests.empty());
}

TEST_F(PosixSoundTest, DesktopSoundThenBellWhenNoPlayerStarts) {
  ScopedEnv display("DISPLAY", ":0");
  PosixSound sound(fds_[1], &launcher_);
  sound.Play(SoundKind::kError);
  ASSERT_EQ(launcher_.requests.size(), 1u);
  EXPECT_EQ(launcher_.requests[0].file, "canberra-gtk-play");
  EXPECT_EQ(launcher_.requests[0].parameters, "-i dialog-error");
  EXPECT_EQ(launcher_.requests[0].show, ShowMode::kHidden);
  EXPECT_FALSE(launcher_.waited[0]);
  launcher_.starts = false;
  sound.Play(SoundKind::kConfirmation);
  EXPECT_EQ(launcher_.requests[1].parameters, "-i dialog-question");
  EXPECT_EQ(Rung(), "\a");
}

}  // namespace
}  // namespace pelvar::platform
