#pragma once
// An X display of a test's own: Xvfb on a display number the server chooses for itself among the
// free ones (-displayfd), so that no other test or session can take it, reporting every client
// that connects (its log is in the test's folder). It ends with SIGTERM and is waited for, so
// that it removes its lock and socket; what a server that could not do so leaves behind is
// removed, only where its lock file names this server. A window manager may be started on it.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace testsupport {

class PrivateDisplay {
public:
    explicit PrivateDisplay(const std::filesystem::path& folder) : m_log(folder / "xvfb.txt") {
        int numberPipe[2];
        if (::pipe(numberPipe) != 0) return;
        const std::string log = m_log.string();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(numberPipe[0]);
            ::dup2(numberPipe[1], 1);
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) ::dup2(fd, 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "1", "-audit", "2", "-nolisten", "tcp", "-screen", "0",
                     "1600x1000x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        m_serverPid = m_pid;
        ::close(numberPipe[1]);
        std::string number;
        char c = 0;
        while (::read(numberPipe[0], &c, 1) == 1 && c != '\n')
            number.push_back(c);
        ::close(numberPipe[0]);
        if (!number.empty()) {
            m_number = number;
            m_name = ":" + number;
        }
    }
    ~PrivateDisplay() { end(); }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // ":n", or empty when the server did not start.
    const std::string& name() const { return m_name; }
    std::size_t clientsConnected() const {
        std::ifstream in(m_log);
        std::size_t n = 0;
        for (std::string line; std::getline(in, line);)
            n += line.find("connected from local host") != std::string::npos ? 1 : 0;
        return n;
    }

    // The server stops answering (as a frozen remote session does) and answers again.
    void freeze() const {
        if (m_pid > 0) ::kill(m_pid, SIGSTOP);
    }
    void thaw() const {
        if (m_pid > 0) ::kill(m_pid, SIGCONT);
    }

    // A window manager on this display (a program on PATH, as "twm"): false when it could not be
    // started. It ends before the server does.
    bool startWindowManager(const std::string& program) {
        if (m_name.empty()) return false;
        const std::string display = "DISPLAY=" + m_name;
        const std::string log = (m_log.parent_path() / (program + ".txt")).string();
        m_manager = ::fork();
        if (m_manager == 0) {
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
            ::putenv(const_cast<char*>(display.c_str()));
            ::execlp(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (m_manager < 0) return false;
        // It has taken the display once it is one of the server's clients.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (clientsConnected() < 1) {
            int status = 0;
            if (::waitpid(m_manager, &status, WNOHANG) == m_manager || std::chrono::steady_clock::now() > end) {
                m_manager = -1;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // The server goes, as when a remote session ends: its clients lose their connection.
    void end() {
        endProcess(m_manager);
        if (m_pid <= 0) return;
        endProcess(m_pid);
        removeLeftovers();
    }

private:
    static void endProcess(pid_t& pid) {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        ::kill(pid, SIGCONT); // a frozen one must run to end
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }

    // The lock file and the socket of this server's display, when they are still there and the
    // lock names this server (another server may have taken the number since).
    void removeLeftovers() const {
        if (m_number.empty()) return;
        const std::filesystem::path lock = "/tmp/.X" + m_number + "-lock";
        std::ifstream in(lock);
        long owner = 0;
        if (!(in >> owner) || owner != static_cast<long>(m_serverPid)) return;
        in.close();
        std::error_code ec;
        std::filesystem::remove("/tmp/.X11-unix/X" + m_number, ec);
        std::filesystem::remove(lock, ec);
    }

    std::filesystem::path m_log;
    pid_t m_pid = -1;
    pid_t m_serverPid = -1;
    pid_t m_manager = -1;
    std::string m_number;
    std::string m_name;
};

} // namespace testsupport
