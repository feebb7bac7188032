// A private X desktop for window tests that need a real, reparenting window manager: a
// virtual X server on a display of its own, with openbox managing it.
#pragma once

#include <sys/types.h>

#include <string>

class Desktop {
 public:
  // Starts the X server; throws std::runtime_error when it does not come up.
  Desktop();
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // ":N", for DISPLAY.
  const std::string& Display() const { return display_; }

  // Starts the window manager and returns once it manages the screen; throws
  // std::runtime_error when it does not. Does nothing while it runs.
  void StartManager();
  // Ends the window manager; the windows it managed stay, undecorated.
  void StopManager();

 private:
  std::string folder_;
  std::string display_;
  pid_t server_ = -1;
  pid_t manager_ = -1;
};
