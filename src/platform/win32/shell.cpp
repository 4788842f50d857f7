#include "platform/win32/shell.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

constexpr std::intptr_t kShellDone = 42;

struct ShellState {
    std::mutex lock;
    std::vector<platform::win32::ShellRequest> requests;
    std::vector<platform::win32::MessageBoxRecord> boxes;
    std::intptr_t forcedResult = 0;
};

ShellState& state() {
    static auto* s = new ShellState; // never destroyed: usable until the process ends
    return *s;
}

std::string text(const char* value) {
    return value == nullptr ? std::string() : std::string(value);
}

bool fileIsThere(const std::string& file) {
    if (file.find("://") != std::string::npos) return true;
    std::error_code ec;
    return !file.empty() && std::filesystem::exists(file, ec);
}

// Runs `program file` in the background through a short-lived shell, which is reaped at once;
// the program itself is adopted by init, so nothing here waits for it.
bool startDetached(const std::string& program, const std::string& file) {
    std::string sh = "sh";
    std::string dashC = "-c";
    std::string script = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";
    std::string programArg = program;
    std::string fileArg = file;
    char* argv[] = {sh.data(), dashC.data(), script.data(), programArg.data(), fileArg.data(), nullptr};
    // The program gets the signals as a program started from the desktop would: none blocked
    // (this process takes its close signals on a thread of its own), a broken pipe not ignored.
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return false;
    sigset_t none;
    sigemptyset(&none);
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &brokenPipe);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, "sh", nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::intptr_t openResult(const std::string& operation, const std::string& file, std::intptr_t forced) {
    if (forced != 0) return forced;
    if (!operation.empty() && operation != "open") return SE_ERR_NOASSOC;
    if (!fileIsThere(file)) return SE_ERR_FNF;
    const char* program = std::getenv("QUORVEL_SHELL_OPEN");
    if (program == nullptr || *program == '\0') return kShellDone;
    return startDetached(program, file) ? kShellDone : SE_ERR_NOASSOC;
}

} // namespace

HINSTANCE ShellExecuteW(HWND window, const char* operation, const char* file, const char* parameters,
                        const char* directory, int showCommand) {
    platform::win32::ShellRequest request{window,          text(operation), text(file), text(parameters),
                                          text(directory), showCommand,     0};
    std::intptr_t forced = 0;
    {
        auto& s = state();
        std::lock_guard guard(s.lock);
        forced = s.forcedResult;
    }
    request.result = openResult(request.operation, request.file, forced);
    const std::intptr_t result = request.result;
    {
        auto& s = state();
        std::lock_guard guard(s.lock);
        s.requests.push_back(std::move(request));
    }
    return reinterpret_cast<HINSTANCE>(result);
}

int MessageBoxW(HWND window, const char* textValue, const char* caption, UINT type) {
    platform::win32::MessageBoxRecord box{window, text(textValue), text(caption), type};
    std::fprintf(stderr, "[message box] %s: %s\n", box.caption.c_str(), box.text.c_str());
    auto& s = state();
    std::lock_guard guard(s.lock);
    s.boxes.push_back(std::move(box));
    return IDOK;
}

namespace platform::win32 {

std::vector<ShellRequest> shellRequests() {
    auto& s = state();
    std::lock_guard guard(s.lock);
    return s.requests;
}

std::vector<MessageBoxRecord> messageBoxes() {
    auto& s = state();
    std::lock_guard guard(s.lock);
    return s.boxes;
}

void setShellExecuteResult(std::intptr_t result) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    s.forcedResult = result;
}

void resetShell() {
    auto& s = state();
    std::lock_guard guard(s.lock);
    s.requests.clear();
    s.boxes.clear();
    s.forcedResult = 0;
}

} // namespace platform::win32
