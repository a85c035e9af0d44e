#include "registry/RegistryServer.h"

#include <ace/INET_Addr.h>
#include <ace/Time_Value.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "idl/RegistryDatagram.h"
#include "platform/MessageBox.h"

namespace registry {
namespace {

// How often the loop looks at the stop request while no request arrives.
const ACE_Time_Value kPollInterval(0, 200 * 1000);

std::string HostName(const ACE_INET_Addr& from) {
  char name[MAXHOSTNAMELEN + 1] = {};
  if (from.get_host_name(name, sizeof(name)) == 0 && name[0] != '\0') return name;
  const char* addr = from.get_host_addr();
  return addr ? addr : "";
}

}  // namespace

RegistryServer::~RegistryServer() { requests_.close(); }

bool RegistryServer::Open(std::uint16_t port) {
  ACE_INET_Addr local(port, static_cast<ACE_UINT32>(INADDR_ANY));
  // No address reuse: a second registry on the same port must fail here.
  return requests_.open(local, AF_INET, 0, 0) != -1;
}

int RegistryServer::svc() {
  service_.LoadStore();
  ACE_SOCK_Dgram answers;
  if (answers.open(ACE_INET_Addr(static_cast<u_short>(0), static_cast<ACE_UINT32>(INADDR_ANY)), AF_INET) != -1) {
    Serve(answers);
    answers.close();
  }
  requests_.close();
  service_.DeleteStore();
  return 0;
}

void RegistryServer::Serve(ACE_SOCK_Dgram& answers) {
  // One byte more than the largest request, so an oversize datagram shows
  // up as such instead of being cut to a valid size.
  char buffer[farm::kMaxRequestBytes + 1];
  while (!service_.stopped() && !stopRequested_) {
    ACE_INET_Addr from;
    ACE_Time_Value timeout = kPollInterval;
    ssize_t n = requests_.recv(buffer, sizeof(buffer), from, 0, &timeout);
    if (n < 0) {
      if (errno == ETIME || errno == EINTR || errno == EAGAIN) continue;
      break;
    }
    auto answer = service_.Handle(
        std::string_view(buffer, static_cast<size_t>(n)), HostName(from),
        from.get_type() == AF_INET ? std::optional<std::uint32_t>(from.get_ip_address()) : std::nullopt);
    if (!answer) continue;
    std::string datagram = *answer;
    datagram.push_back('\0');
    if (answers.send(datagram.data(), datagram.size(), from) != static_cast<ssize_t>(datagram.size())) {
      // The asker will time out and ask again; the operator learns why.
      platform::MessageBox("cannot send the answer to " + HostName(from) + ": " + std::strerror(errno),
                           "Error Reports");
    }
  }
}

}  // namespace registry
