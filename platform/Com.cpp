#include "platform/Com.h"

#include <cstdio>

namespace platform::com {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseGuid(std::string_view text, GUID* out) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters.
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  std::uint8_t bytes[16];
  int n = 0;
  for (std::size_t i = 1; i < 37;) {
    if (i == 9 || i == 14 || i == 19 || i == 24) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    const int hi = HexDigit(text[i]);
    const int lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes[n++] = static_cast<std::uint8_t>(hi * 16 + lo);
    i += 2;
  }
  GUID g;
  g.data1 =
      (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
  g.data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.data4[i] = bytes[8 + i];
  *out = g;
  return true;
}

std::string ToString(const GUID& g) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.data1, g.data2, g.data3,
                g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
  return text;
}

GUID MakeGuid(std::string_view text) {
  GUID g;
  ParseGuid(text, &g);
  return g;
}

std::string DescribeResult(HRESULT hr) {
  const char* what = nullptr;
  switch (hr) {
    case S_OK: what = "S_OK"; break;
    case S_FALSE: what = "S_FALSE"; break;
    case kE_NOTIMPL: what = "not implemented"; break;
    case kE_NOINTERFACE: what = "no such interface"; break;
    case kE_POINTER: what = "null pointer"; break;
    case kE_FAIL: what = "unspecified failure"; break;
    case kE_OUTOFMEMORY: what = "out of memory"; break;
    case kE_INVALIDARG: what = "invalid argument"; break;
    case kE_ACCESSDENIED: what = "access denied"; break;
    case kCLASS_E_NOAGGREGATION: what = "class cannot be aggregated"; break;
    case kCLASS_E_CLASSNOTAVAILABLE: what = "class not available from this library"; break;
    case kREGDB_E_CLASSNOTREG: what = "class not registered"; break;
    case kE_MOD_NOT_FOUND: what = "library not found or not loadable"; break;
    case kE_PROC_NOT_FOUND: what = "entry point not found"; break;
    case kE_REGISTRY_CORRUPT: what = "class registry file damaged"; break;
    case kE_REGISTRY_IO: what = "class registry file cannot be read or written"; break;
    default: break;
  }
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return what != nullptr ? std::string(code) + " (" + what + ")" : std::string(code);
}

const IID IID_IUnknown = MakeGuid("{00000000-0000-0000-C000-000000000046}");
const IID IID_IClassFactory = MakeGuid("{00000001-0000-0000-C000-000000000046}");

}  // namespace platform::com
