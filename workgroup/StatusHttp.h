#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "platform/Status.h"
#include "workgroup/StatusBoard.h"

namespace httplib {
class Server;
}

namespace workgroup {

// Where the status page listens. Plain data.
struct HttpAddress {
  std::string host;
  int port = 0;
};

// "PORT" (then on loopback, 127.0.0.1), "ADDR:PORT" or "[ADDR]:PORT"; a
// port of 1..65535. Any address is taken as given (0.0.0.0 serves every
// interface).
platform::StatusOr<HttpAddress> ParseHttpAddress(std::string_view text);

// The status page over plain HTTP: `/` the page (StatusPage) and
// `/status.json` the board's last snapshot; every other path or method gets
// an error status. Read-only: nothing a request sends changes the farm.
// Requests read the snapshot only, on the server's own small thread pool.
//
// Start and Stop from one thread; the requests run on the server's threads.
class StatusHttp {
 public:
  explicit StatusHttp(std::shared_ptr<StatusBoard> board);
  ~StatusHttp();
  StatusHttp(const StatusHttp&) = delete;
  StatusHttp& operator=(const StatusHttp&) = delete;

  // Binds the address (failing with a reason when it cannot) and serves
  // on a thread of its own until Stop.
  platform::Status Start(const HttpAddress& address);
  void Stop();

 private:
  const std::shared_ptr<StatusBoard> board_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
};

}  // namespace workgroup
