#include "testing/loopback_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace test_support {
namespace {

constexpr std::size_t kMaxHead = 64 * 1024;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "loopback HTTP server: %s: %s\n", what, std::strerror(errno));
  std::abort();
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return std::string(s);
}

// Binds a TCP socket to 127.0.0.1 on an ephemeral port; returns the port.
int BindLoopback(int fd) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) Fail("bind");
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) Fail("getsockname");
  return ntohs(address.sin_port);
}

bool SendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // the client went away
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Parses the request head (request line and headers, without the blank line).
bool ParseHead(std::string_view head, HttpRequest* request) {
  const auto line_end = head.find("\r\n");
  const std::string_view line = head.substr(0, line_end);
  const auto first = line.find(' ');
  const auto second = line.find(' ', first == std::string_view::npos ? first : first + 1);
  if (first == std::string_view::npos || second == std::string_view::npos) return false;
  request->method = std::string(line.substr(0, first));
  request->target = std::string(line.substr(first + 1, second - first - 1));
  std::string_view rest = line_end == std::string_view::npos ? std::string_view{} : head.substr(line_end + 2);
  while (!rest.empty()) {
    const auto end = rest.find("\r\n");
    const std::string_view header = rest.substr(0, end);
    const auto colon = header.find(':');
    if (colon != std::string_view::npos)
      request->headers.emplace_back(Trim(header.substr(0, colon)), Trim(header.substr(colon + 1)));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 2);
  }
  return true;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (EqualNoCase(key, name)) return value;
  return {};
}

HttpReply HttpReply::Text(std::string body, int status, std::string reason) {
  HttpReply reply;
  reply.status = status;
  reply.reason = std::move(reason);
  reply.body = std::move(body);
  return reply;
}

HttpReply HttpReply::Redirect(std::string location) {
  HttpReply reply;
  reply.status = 302;
  reply.reason = "Found";
  reply.headers.emplace_back("Location", std::move(location));
  return reply;
}

HttpReply HttpReply::Stall() {
  HttpReply reply;
  reply.behaviour = Behaviour::kStall;
  return reply;
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler) : handler_(std::move(handler)) {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) Fail("socket");
  port_ = BindLoopback(listen_fd_);
  if (listen(listen_fd_, 16) != 0) Fail("listen");
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) Fail("pipe");
  wake_read_ = pipe_fds[0];
  wake_write_ = pipe_fds[1];
  thread_ = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  const char byte = 1;
  while (write(wake_write_, &byte, 1) < 0 && errno == EINTR) {
  }
  thread_.join();
  close(listen_fd_);
  close(wake_read_);
  close(wake_write_);
}

std::string LoopbackHttpServer::Url(std::string_view path) const {
  return "http://" + HostAndPort() + std::string(path);
}

std::string LoopbackHttpServer::HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<HttpRequest> LoopbackHttpServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t LoopbackHttpServer::RequestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

bool LoopbackHttpServer::WaitReadable(int fd) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake_read_, POLLIN, 0}};
  for (;;) {
    const int n = poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (fds[1].revents) return false;  // stopping
    if (fds[0].revents) return true;
  }
}

void LoopbackHttpServer::Serve() {
  while (WaitReadable(listen_fd_)) {
    const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ServeConnection(fd);
    close(fd);
  }
}

void LoopbackHttpServer::ServeConnection(int fd) {
  std::string data;
  std::size_t head_end = std::string::npos;
  char buffer[16 * 1024];
  while ((head_end = data.find("\r\n\r\n")) == std::string::npos) {
    if (data.size() > kMaxHead || !WaitReadable(fd)) return;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  HttpRequest request;
  if (!ParseHead(std::string_view(data).substr(0, head_end), &request)) return;
  const std::string length_text = request.Header("Content-Length");
  const std::size_t length = length_text.empty() ? 0 : std::strtoull(length_text.c_str(), nullptr, 10);
  request.body = data.substr(head_end + 4);
  while (request.body.size() < length) {
    if (!WaitReadable(fd)) return;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    request.body.append(buffer, static_cast<std::size_t>(n));
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  const HttpReply reply = handler_(request);
  switch (reply.behaviour) {
    case HttpReply::Behaviour::kClose:
      return;
    case HttpReply::Behaviour::kStall:
      // Wait until the client closes the connection (or sends more) or the
      // server stops.
      while (WaitReadable(fd)) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
      }
      return;
    case HttpReply::Behaviour::kAnswer:
      break;
  }
  std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
  if (!reply.content_type.empty()) head += "Content-Type: " + reply.content_type + "\r\n";
  for (const auto& [key, value] : reply.headers) head += key + ": " + value + "\r\n";
  head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
  if (!SendAll(fd, head)) return;
  if (request.method != "HEAD") SendAll(fd, reply.body);
}

ClosedLoopbackPort::ClosedLoopbackPort() {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) Fail("socket");
  port_ = BindLoopback(fd_);
}

ClosedLoopbackPort::~ClosedLoopbackPort() { close(fd_); }

std::string ClosedLoopbackPort::Url(std::string_view path) const {
  return "http://" + HostAndPort() + std::string(path);
}

std::string ClosedLoopbackPort::HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }

}  // namespace test_support
