#pragma once
// A small HTTP/1.1 file server on 127.0.0.1 (an ephemeral port) for download tests. It serves
// the files below a root folder, one connection at a time, and can be told to answer a path
// with an error status, a redirect, a body cut short, a body that stalls until the client gives
// up, an endless body of unannounced length, or the file's body one byte at a time. Every
// request path it saw is kept.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

class LoopbackHttpServer {
public:
    enum class Fault { None, Status, Truncate, Stall, Endless, Drip };
    struct Rule {
        Fault fault = Fault::None;
        int status = 0;          // for Status (404, 500, 301, ...)
        std::size_t keep = 0;    // for Truncate and Stall: body bytes sent before the fault
    };

    explicit LoopbackHttpServer(std::filesystem::path root) : root_(std::move(root)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 8);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~LoopbackHttpServer() {
        done_ = true;
        thread_.join();
        ::close(fd_);
    }
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // "http://127.0.0.1:<port>/"
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    void setRule(const std::string& path, Rule rule) {
        std::lock_guard lock(mutex_);
        rules_[path] = rule;
    }
    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void run() {
        while (!done_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) continue;
            serve(client);
            ::close(client);
        }
    }
    // False once the client has gone (or the server is ending).
    bool sendWhole(int client, const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size() && !done_) {
            pollfd c{client, POLLOUT, 0};
            if (::poll(&c, 1, 50) <= 0) continue;
            if (c.revents & (POLLERR | POLLHUP)) return false;
            const ssize_t n = ::send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return sent == bytes.size();
    }

    void send(int client, const std::string& bytes) { (void)::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    void serve(int client) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd c{client, POLLIN, 0};
            if (::poll(&c, 1, 2000) <= 0) return;
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            request.append(buffer, static_cast<std::size_t>(got));
        }
        std::istringstream line(request.substr(0, request.find("\r\n")));
        std::string method, path;
        line >> method >> path;
        Rule rule;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(path);
            if (auto it = rules_.find(path); it != rules_.end()) rule = it->second;
        }
        if (rule.fault == Fault::Status) {
            const std::string body = "<html>status " + std::to_string(rule.status) + "</html>";
            send(client, "HTTP/1.1 " + std::to_string(rule.status) + " Fault\r\nLocation: /elsewhere\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
            return;
        }
        if (rule.fault == Fault::Endless) {
            // No length, no end: bytes until the client hangs up.
            send(client, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            const std::string block(65536, 'x');
            while (!done_ && sendWhole(client, block)) {
            }
            return;
        }
        std::ifstream in(root_ / path.substr(1), std::ios::binary);
        if (!in || std::filesystem::is_directory(root_ / path.substr(1))) {
            send(client, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        const std::string body{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const std::string header = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                   "\r\nConnection: close\r\n\r\n";
        if (rule.fault == Fault::None) {
            send(client, header + body);
            return;
        }
        if (rule.fault == Fault::Drip) {
            send(client, header);
            for (std::size_t i = 0; i < body.size() && !done_; ++i) {
                if (!sendWhole(client, body.substr(i, 1))) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            return;
        }
        send(client, header + body.substr(0, std::min(rule.keep, body.size())));
        if (rule.fault == Fault::Stall) {
            // Holds the connection open, sending nothing, until the client hangs up.
            while (!done_) {
                pollfd c{client, POLLIN, 0};
                if (::poll(&c, 1, 50) > 0 && ::recv(client, buffer, sizeof buffer, 0) <= 0) break;
            }
        }
    }

    std::filesystem::path root_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> done_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Rule> rules_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

} // namespace testsupport
