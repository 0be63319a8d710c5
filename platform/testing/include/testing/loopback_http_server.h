// A small HTTP/1.1 server on 127.0.0.1 for tests of HTTP clients. It serves
// one connection at a time on its own thread, answers each request with what
// the test's handler returns and closes the connection after every answer.
// Besides plain answers it can stall (send nothing until the client gives up)
// or close the connection without a byte, so that timeouts and broken
// servers can be tested without a network.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace test_support {

struct HttpRequest {
  std::string method;  // "GET", "POST", ...
  std::string target;  // path and query as sent: "/UpdateCindral.php?version=1.0.0"
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of that name (case-insensitive), empty when absent.
  std::string Header(std::string_view name) const;
};

struct HttpReply {
  enum class Behaviour {
    kAnswer,  // send the status line, the headers and the body
    kStall,   // send nothing; the connection stays open until the client closes it or the server stops
    kClose,   // close the connection without sending anything
  };
  Behaviour behaviour = Behaviour::kAnswer;
  int status = 200;
  std::string reason = "OK";
  std::string content_type = "text/plain";
  std::vector<std::pair<std::string, std::string>> headers;  // extra headers ("Location", ...)
  std::string body;

  static HttpReply Text(std::string body, int status = 200, std::string reason = "OK");
  static HttpReply Redirect(std::string location);
  static HttpReply Stall();
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<HttpReply(const HttpRequest&)>;

  // Listens on an ephemeral port of 127.0.0.1 at once; aborts the test
  // program when no socket can be had (a test cannot go on without it).
  explicit LoopbackHttpServer(Handler handler);
  // Stops serving (a stalled connection is released) and joins the thread.
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by path ("/x?y=1").
  std::string Url(std::string_view path = "/") const;
  // "127.0.0.1:<port>", for callers that build the address themselves.
  std::string HostAndPort() const;

  // The requests received so far, in order.
  std::vector<HttpRequest> Requests() const;
  std::size_t RequestCount() const;

 private:
  void Serve();
  void ServeConnection(int fd);
  bool WaitReadable(int fd);  // false once the server stops

  Handler handler_;
  int listen_fd_ = -1;
  int wake_read_ = -1;
  int wake_write_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::vector<HttpRequest> requests_;
  std::thread thread_;
};

// A port of 127.0.0.1 that is bound but not listening, so that connecting to
// it is refused at once. Held for the object's lifetime so nobody else takes it.
class ClosedLoopbackPort {
 public:
  ClosedLoopbackPort();
  ~ClosedLoopbackPort();
  ClosedLoopbackPort(const ClosedLoopbackPort&) = delete;
  ClosedLoopbackPort& operator=(const ClosedLoopbackPort&) = delete;

  int port() const { return port_; }
  std::string Url(std::string_view path = "/") const;
  std::string HostAndPort() const;

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace test_support
