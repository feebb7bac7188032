// Starting Xvfb and openbox for a test and stopping them after.
#include "desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr auto StartTimeout = std::chrono::seconds(10);

pid_t Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
            posix_spawn_file_actions_t* actions) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& variable : environment)
    envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], actions, nullptr, argv.data(), envp.data()) != 0) {
    throw std::runtime_error("cannot start " + arguments[0]);
  }
  return pid;
}

// This process's environment with `changes` ("NAME=value") in place of their namesakes.
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& changes) {
  std::vector<std::string> result;
  for (char** variable = environ; *variable; ++variable) {
    const std::string entry(*variable);
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& change : changes) replaced |= change.rfind(name + "=", 0) == 0;
    if (!replaced) result.push_back(entry);
  }
  result.insert(result.end(), changes.begin(), changes.end());
  return result;
}

std::string Log(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void End(pid_t& pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace

Desktop::Desktop() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "vantrel-desktop-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
  const std::string log = folder_ + "/xvfb.log";

  // The server picks a free display itself and writes its number to descriptor 3, so
  // servers started at the same time by other tests never collide.
  int pipe[2];
  if (::pipe(pipe) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, pipe[0]);
  posix_spawn_file_actions_adddup2(&actions, pipe[1], 3);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  try {
    server_ = Spawn({VANTREL_XVFB, "-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen",
                     "0", "1024x768x24"},
                    EnvironmentWith({}), &actions);
  } catch (...) {
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[0]);
    ::close(pipe[1]);
    throw;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipe[1]);

  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + StartTimeout;
  while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd ready{pipe[0], POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    char buffer[16];
    const ssize_t count = ::read(pipe[0], buffer, sizeof buffer);
    if (count <= 0) break;
    number.append(buffer, static_cast<std::size_t>(count));
  }
  ::close(pipe[0]);
  if (number.find('\n') == std::string::npos) {
    End(server_);
    throw std::runtime_error("Xvfb did not start: " + Log(log));
  }
  display_ = ":" + number.substr(0, number.find('\n'));
}

Desktop::~Desktop() {
  End(manager_);
  End(server_);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void Desktop::StartManager() {
  if (manager_ > 0) return;
  const std::filesystem::path ready = std::filesystem::path(folder_) / "ready";
  const std::string log = folder_ + "/openbox.log";
  std::filesystem::remove(ready);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // Openbox runs the startup command once it manages the screen. Its own configuration
  // folder keeps the user's settings out: the packaged defaults (and theme) hold.
  try {
    manager_ =
        Spawn({VANTREL_OPENBOX, "--sm-disable", "--startup", "touch " + ready.string()},
              EnvironmentWith({"DISPLAY=" + display_, "XDG_CONFIG_HOME=" + folder_}), &actions);
  } catch (...) {
    posix_spawn_file_actions_destroy(&actions);
    throw;
  }
  posix_spawn_file_actions_destroy(&actions);

  const auto deadline = std::chrono::steady_clock::now() + StartTimeout;
  while (!std::filesystem::exists(ready)) {
    int status = 0;
    if (::waitpid(manager_, &status, WNOHANG) == manager_) {
      manager_ = -1;
      throw std::runtime_error("openbox ended at start: " + Log(log));
    }
    if (std::chrono::steady_clock::now() > deadline) {
      End(manager_);
      throw std::runtime_error("openbox did not start: " + Log(log));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void Desktop::StopManager() { End(manager_); }
