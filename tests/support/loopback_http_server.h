// A small HTTP/1.1 server for tests and benchmarks: it listens on a loopback
// port that the system chooses and answers each GET from a handler, one
// connection at a time, on a thread of its own. Files are sent with
// sendfile so that large transfers are not limited by the server.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

namespace pelvar::testing {

struct HttpReply {
  int status = 200;
  std::string location;      // a Location header when not empty
  std::string body;          // sent when `file` is empty
  std::string file;          // host path of a file to send instead
  long long cut_after = -1;  // close after this many body bytes (the full length is announced)
  bool stall = false;        // send the headers (announcing the body), then nothing until stopped
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<HttpReply(const std::string& path)>;

  explicit LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {
    ::signal(SIGPIPE, SIG_IGN);  // a client that hangs up must not end the process
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        ::listen(listen_fd_, 16) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      throw std::runtime_error("cannot listen on a loopback port");
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }

  ~LoopbackHttpServer() {
    stopping_ = true;
    thread_.join();
    ::close(listen_fd_);
  }

  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int requests() const { return requests_; }

 private:
  // Waits until `fd` is ready for `events` or the server stops.
  bool WaitFor(int fd, short events) const {
    while (!stopping_) {
      pollfd p{fd, events, 0};
      if (::poll(&p, 1, 20) > 0) return true;
    }
    return false;
  }

  void Serve() {
    while (WaitFor(listen_fd_, POLLIN)) {
      const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      Answer(fd);
      ::close(fd);
    }
  }

  bool SendAll(int fd, const char* data, size_t size) const {
    while (size > 0) {
      if (!WaitFor(fd, POLLOUT)) return false;
      const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

  void Answer(int fd) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      if (!WaitFor(fd, POLLIN)) return;
      const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) return;
      request.append(buf, static_cast<size_t>(n));
      if (request.compare(0, 4, "GET ", 0, request.size()) != 0) return;  // not HTTP (TLS...)
    }
    ++requests_;
    const size_t start = request.find(' ') + 1;
    const std::string path = request.substr(start, request.find(' ', start) - start);
    const HttpReply reply = handler_(path);

    int file_fd = -1;
    long long length = static_cast<long long>(reply.body.size());
    if (!reply.file.empty()) {
      file_fd = ::open(reply.file.c_str(), O_RDONLY | O_CLOEXEC);
      struct stat st;
      if (file_fd < 0 || ::fstat(file_fd, &st) != 0) return;
      length = st.st_size;
    }
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) +
                       "\r\nContent-Length: " + std::to_string(length) +
                       "\r\nConnection: close\r\n";
    if (!reply.location.empty()) head += "Location: " + reply.location + "\r\n";
    head += "\r\n";
    const long long to_send = reply.cut_after >= 0 ? std::min(reply.cut_after, length) : length;
    if (SendAll(fd, head.data(), head.size()) && !reply.stall) {
      if (file_fd >= 0) {
        off_t offset = 0;
        while (offset < to_send && WaitFor(fd, POLLOUT)) {
          if (::sendfile(fd, file_fd, &offset, static_cast<size_t>(to_send - offset)) <= 0) break;
        }
      } else {
        SendAll(fd, reply.body.data(), static_cast<size_t>(to_send));
      }
    }
    if (reply.stall) WaitFor(-1, 0);  // returns when the server stops
    if (file_fd >= 0) ::close(file_fd);
  }

  static const char* Reason(int status) {
    switch (status) {
      case 200:
        return "OK";
      case 301:
        return "Moved Permanently";
      case 302:
        return "Found";
      case 404:
        return "Not Found";
      default:
        return "Status";
    }
  }

  Handler handler_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// A loopback port on which nothing listens (a connection is refused).
inline int ClosedLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace pelvar::testing
