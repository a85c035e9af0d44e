#include "workgroup/StatusHttp.h"

#include <httplib.h>

#include <charconv>
#include <mutex>

#include "workgroup/StatusPage.h"

namespace workgroup {

platform::StatusOr<HttpAddress> ParseHttpAddress(std::string_view text) {
  HttpAddress address{"127.0.0.1", 0};
  std::string_view port = text;
  if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
    std::string_view host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty()) return platform::Status::Error("--http " + std::string(text) + ": no address before the port");
    address.host = std::string(host);
    port = text.substr(colon + 1);
  }
  int number = 0;
  const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (ec != std::errc() || end != port.data() + port.size() || number < 1 || number > 65535) {
    return platform::Status::Error("--http " + std::string(text) +
                                   ": give a port of 1..65535 (PORT, ADDR:PORT or [ADDR]:PORT)");
  }
  address.port = number;
  return address;
}

StatusHttp::StatusHttp(std::shared_ptr<StatusBoard> board) : board_(std::move(board)) {}

StatusHttp::~StatusHttp() { Stop(); }

platform::Status StatusHttp::Start(const HttpAddress& address) {
  server_ = std::make_unique<httplib::Server>();
  // Pages are small and answered from memory: a few threads suffice, and a
  // flood of requests cannot take more of the machine.
  server_->new_task_queue = [] { return new httplib::ThreadPool(4); };
  server_->set_read_timeout(5, 0);
  server_->set_write_timeout(5, 0);
  const std::shared_ptr<StatusBoard> board = board_;
  // The page is drawn once per snapshot, not once per request.
  struct DrawnPage {
    std::mutex mutex;
    std::shared_ptr<const std::string> snapshot;
    std::shared_ptr<const std::string> page;
  };
  auto drawn = std::make_shared<DrawnPage>();
  server_->Get("/", [board, drawn](const httplib::Request&, httplib::Response& res) {
    const std::shared_ptr<const std::string> snapshot = board->Latest();
    std::shared_ptr<const std::string> page;
    {
      std::lock_guard<std::mutex> lock(drawn->mutex);
      if (drawn->snapshot != snapshot) {
        drawn->page = std::make_shared<const std::string>(StatusPage(*snapshot));
        drawn->snapshot = snapshot;
      }
      page = drawn->page;
    }
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Content-Security-Policy",
                   "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; connect-src 'self'");
    res.set_content(*page, "text/html; charset=utf-8");
  });
  server_->Get("/status.json", [board](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_content(*board->Latest(), "application/json");
  });
  if (!server_->bind_to_port(address.host, address.port)) {
    server_.reset();
    return platform::Status::Error("cannot listen for the status page on " + address.host + ":" +
                                   std::to_string(address.port));
  }
  thread_ = std::thread([server = server_.get()] { server->listen_after_bind(); });
  return platform::Status::Ok();
}

void StatusHttp::Stop() {
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
  server_.reset();
}

}  // namespace workgroup
