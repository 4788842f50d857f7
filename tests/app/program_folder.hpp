#pragma once
// A program folder as a user has it (documentation, encrypted reference files, a small AI
// package tree, a simulator folder) with its own roaming data folder, and a way to run the built
// program or rtfeed in it as a separate process.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/run_support.hpp"

namespace apptest {

namespace fs = std::filesystem;

using testsupport::ProgramFolder;

// A child process with its standard error in a file.
class Child {
public:
    // Runs `program` with `arguments` in `folder`, the environment of this process plus `env` (a
    // name without "=" there takes that variable away); as another user when `user` is given (the
    // test runs as root).
    Child(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& folder,
          const std::vector<std::string>& env, std::optional<uid_t> user = std::nullopt)
        : m_stderr(folder / ("stderr-" + program.filename().string() + ".txt")) {
        std::vector<std::string> args{program.string()};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<std::string> environment;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const std::string key = entry.substr(0, entry.find('=') + 1);
            bool overridden = key.starts_with("QUORVEL_"); // each test says what it wants of those
            for (const auto& wanted : env)
                overridden = overridden || wanted.starts_with(key) || wanted + "=" == key;
            if (!overridden) environment.push_back(entry);
        }
        for (const auto& wanted : env)
            if (wanted.find('=') != std::string::npos) environment.push_back(wanted);
        // No run a test starts opens a folder on the desktop the test may run on.
        if (std::none_of(env.begin(), env.end(), [](const std::string& e) { return e.starts_with("QUORVEL_SHELL_OPEN"); }))
            environment.push_back("QUORVEL_SHELL_OPEN=true");
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const std::string dir = folder.string();
        const std::string err = m_stderr.string();
        m_pid = ::fork();
        if (m_pid == 0) {
            const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if (fd >= 0) ::dup2(fd, 2);
            if (::chdir(dir.c_str()) != 0) ::_exit(126);
            if (user && (::setgid(*user) != 0 || ::setuid(*user) != 0)) ::_exit(126);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
    }
    ~Child() {
        if (m_pid > 0 && !m_done) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void signal(int sig) const { ::kill(m_pid, sig); }
    // The exit code (as the shell sees it), or nothing when the limit passed (the child is killed).
    std::optional<int> wait(std::chrono::seconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int status = 0;
            const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
            if (r == m_pid) {
                m_done = true;
                if (WIFEXITED(status)) return WEXITSTATUS(status);
                return 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() > end) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, nullptr, 0);
                m_done = true;
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    bool running() {
        if (m_done) return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_done = true;
            return false;
        }
        return true;
    }
    fs::path stderrPath() const { return m_stderr; }
    pid_t pid() const { return m_pid; }

private:
    fs::path m_stderr;
    pid_t m_pid = -1;
    bool m_done = false;
};

} // namespace apptest
