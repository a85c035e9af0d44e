#include "registry/RegistrationKey.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace registry {
namespace {

constexpr std::uint32_t kTagInternetIop = 0;
constexpr std::uint32_t kTagSslSecTrans = 20;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::vector<std::uint8_t>> DecodeHex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> out(hex.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    int hi = HexValue(hex[2 * i]), lo = HexValue(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return out;
}

// Bounded reader of one CDR encapsulation: alignment counts from its first
// octet (the byte-order flag), and every read is checked against its end.
class CdrReader {
 public:
  CdrReader(const std::uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Start() {
    std::uint8_t order;
    if (!Octet(&order) || order > 1) return false;
    little_ = order == 1;
    return true;
  }
  bool Octet(std::uint8_t* v) {
    if (pos_ >= size_) return false;
    *v = data_[pos_++];
    return true;
  }
  bool ULong(std::uint32_t* v) { return Unsigned(4, v); }
  bool UShort(std::uint32_t* v) { return Unsigned(2, v); }
  // A sequence<octet> (or string) body: count then raw octets.
  bool Octets(std::string* out) {
    std::uint32_t n;
    if (!ULong(&n) || n > size_ - pos_) return false;
    out->assign(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return true;
  }
  bool String(std::string* out) {
    if (!Octets(out) || out->empty() || out->back() != '\0') return false;
    out->pop_back();
    return true;
  }

 private:
  bool Unsigned(size_t width, std::uint32_t* v) {
    pos_ = (pos_ + width - 1) / width * width;
    if (pos_ > size_ || size_ - pos_ < width) return false;
    std::uint32_t r = 0;
    for (size_t i = 0; i < width; ++i) {
      std::uint32_t b = data_[pos_ + (little_ ? width - 1 - i : i)];
      r = (r << 8) | b;
    }
    pos_ += width;
    *v = r;
    return true;
  }

  const std::uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool little_ = false;
};

// The port of an SSL component (target_supports, target_requires, port), 0
// when the component is malformed.
std::uint32_t SslPort(const std::string& data) {
  CdrReader in(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  std::uint32_t supports, required, port;
  if (!in.Start() || !in.UShort(&supports) || !in.UShort(&required) || !in.UShort(&port)) return 0;
  return port;
}

// A server that listens only on SSL publishes port 0 in the profile and its
// real port in a TAG_SSL_SEC_TRANS component (IIOP 1.1 and later).
// Leaves *port alone when there is no such component.
bool SslPortFromComponents(CdrReader& in, std::uint32_t* port) {
  std::uint32_t count;
  if (!in.ULong(&count)) return false;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint32_t tag;
    std::string data;
    if (!in.ULong(&tag) || !in.Octets(&data)) return false;
    if (tag == kTagSslSecTrans) {
      *port = SslPort(data);
      return true;
    }
  }
  return false;
}

std::optional<IiopEndpoint> DecodeIiopProfile(const std::string& body) {
  CdrReader in(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
  std::uint8_t major, minor;
  IiopEndpoint ep;
  std::uint32_t port;
  if (!in.Start() || !in.Octet(&major) || !in.Octet(&minor) || major != 1) return std::nullopt;
  if (!in.String(&ep.host) || !in.UShort(&port) || !in.Octets(&ep.objectKey)) return std::nullopt;
  if (port == 0 && minor >= 1) SslPortFromComponents(in, &port);
  ep.port = port;
  return ep;
}

std::string Fnv1aHex(std::string_view text) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char buf[17];
  std::snprintf(buf, sizeof(buf), "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

}  // namespace

std::optional<IiopEndpoint> FirstIiopEndpoint(std::string_view ior) {
  if (ior.size() < 4 || (ior.substr(0, 4) != "IOR:" && ior.substr(0, 4) != "ior:")) return std::nullopt;
  auto bytes = DecodeHex(ior.substr(4));
  if (!bytes) return std::nullopt;
  CdrReader in(bytes->data(), bytes->size());
  std::string typeId;
  std::uint32_t profiles;
  if (!in.Start() || !in.String(&typeId) || !in.ULong(&profiles)) return std::nullopt;
  for (std::uint32_t i = 0; i < profiles; ++i) {
    std::uint32_t tag;
    std::string body;
    if (!in.ULong(&tag) || !in.Octets(&body)) return std::nullopt;
    if (tag == kTagInternetIop) return DecodeIiopProfile(body);
  }
  return std::nullopt;
}

std::string RegistrationKey(std::string_view ior) {
  auto ep = FirstIiopEndpoint(ior);
  if (!ep) return "IOR#" + Fnv1aHex(ior);
  static const char kDigits[] = "0123456789abcdef";
  std::string key = ep->host + ":" + std::to_string(ep->port) + "/";
  // A ";" would split the request field; hosts never hold one, but the
  // text comes from the wire.
  for (char& c : key) {
    if (c == ';' || c == '\0') c = '_';
  }
  for (unsigned char c : ep->objectKey) {
    key.push_back(kDigits[c >> 4]);
    key.push_back(kDigits[c & 15]);
  }
  return key;
}

}  // namespace registry
