#include "platform/win32/shell.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <fmt/format.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/wait.h>

extern char** environ;

namespace {

constexpr std::intptr_t kShellDone = 42;

struct ShellState {
    std::mutex lock;
    std::vector<platform::win32::ShellRequest> requests;
    std::vector<platform::win32::MessageBoxRecord> boxes;
    std::intptr_t forcedResult = 0;
    std::function<void(const std::string&, const std::string&)> shower;
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

// The program that opens a folder on this desktop: the one QUORVEL_SHELL_OPEN names (tests put a
// stand-in there), else xdg-open when it is on PATH, else none.
std::string opener() {
    const char* configured = std::getenv("QUORVEL_SHELL_OPEN");
    if (configured != nullptr && *configured != '\0') return configured;
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "";
    while (!folders.empty()) {
        const auto colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
        if (folder.empty()) continue;
        const std::string candidate = std::string(folder) + "/xdg-open";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::atomic<std::int64_t>& answerMilliseconds() {
    static std::atomic<std::int64_t> time{platform::win32::kOpenerAnswerTime.count()};
    return time;
}

// Runs `program file` with nothing to read or write, and judges its exit status. An opener that
// is still running after the answer time keeps the folder shown itself (a file manager started in
// the foreground): that counts as opened, and the program is waited for in the background.
std::string runOpener(const std::string& program, const std::string& file) {
    posix_spawn_file_actions_t files;
    if (posix_spawn_file_actions_init(&files) != 0) return "it could not be started";
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    // The program gets the signals as a program started from the desktop would: none blocked
    // (this process takes its close signals on a thread of its own), a broken pipe not ignored.
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&files);
        return "it could not be started";
    }
    sigset_t none;
    sigemptyset(&none);
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &brokenPipe);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::string programArg = program;
    std::string fileArg = file;
    char* argv[] = {programArg.data(), fileArg.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, program.c_str(), &files, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) return fmt::format("{} could not be started ({})", program, std::strerror(spawned));

    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(answerMilliseconds().load());
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
            if (WIFEXITED(status)) return fmt::format("{} ended with exit status {}", program, WEXITSTATUS(status));
            return fmt::format("{} was ended by signal {}", program, WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        }
        if (done < 0 && errno != EINTR) return fmt::format("{} could not be waited for", program);
        if (std::chrono::steady_clock::now() >= end) {
            std::thread([pid] {
                while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
                }
            }).detach();
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

struct Opened {
    std::intptr_t result;
    std::string failure;
};

Opened openResult(const std::string& operation, const std::string& file, std::intptr_t forced) {
    if (forced != 0) return {forced, forced > 32 ? std::string() : "the shell was told to refuse"};
    if (!operation.empty() && operation != "open") return {SE_ERR_NOASSOC, "only \"open\" is known"};
    if (!fileIsThere(file)) return {SE_ERR_FNF, "nothing is there"};
    const std::string program = opener();
    if (program.empty()) return {SE_ERR_NOASSOC, "nothing here opens a folder (xdg-open is not on PATH)"};
    std::string failure = runOpener(program, file);
    return {failure.empty() ? kShellDone : SE_ERR_NOASSOC, std::move(failure)};
}

} // namespace

HINSTANCE ShellExecuteW(HWND window, const char* operation, const char* file, const char* parameters,
                        const char* directory, int showCommand) {
    platform::win32::ShellRequest request{window,          text(operation), text(file), text(parameters),
                                          text(directory), showCommand,     0, {}};
    std::intptr_t forced = 0;
    {
        auto& s = state();
        std::lock_guard guard(s.lock);
        forced = s.forcedResult;
    }
    Opened opened = openResult(request.operation, request.file, forced);
    request.result = opened.result;
    request.failure = std::move(opened.failure);
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
    std::function<void(const std::string&, const std::string&)> shower;
    {
        auto& s = state();
        std::lock_guard guard(s.lock);
        s.boxes.push_back(box);
        shower = s.shower;
    }
    if (shower) shower(box.text, box.caption);
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

void setMessageBoxShower(std::function<void(const std::string& text, const std::string& caption)> shower) {
    auto& s = state();
    std::lock_guard guard(s.lock);
    s.shower = std::move(shower);
}

void setOpenerAnswerTime(std::chrono::milliseconds time) {
    answerMilliseconds().store(time.count());
}

std::string lastShellFailure() {
    auto& s = state();
    std::lock_guard guard(s.lock);
    return s.requests.empty() ? std::string() : s.requests.back().failure;
}

void resetShell() {
    auto& s = state();
    std::lock_guard guard(s.lock);
    s.requests.clear();
    s.boxes.clear();
    s.forcedResult = 0;
    answerMilliseconds().store(kOpenerAnswerTime.count());
}

} // namespace platform::win32
