#pragma once
#include <boost/format.hpp>
#include <locale>
#include <string>

namespace scene {

// Formats `pattern` with boost-style directives. Every pattern of the scene
// maker is a constant of this library and is paired with exactly its
// arguments; a mismatch still yields text rather than an exception, so a slip
// can never escape into the host. Numbers are always written in the classic
// locale: a host's global locale (a decimal comma, digit grouping) would make
// the scene unreadable to the renderer.
template <class... Args>
std::string Format(const char* pattern, const Args&... args) {
  boost::format f(pattern, std::locale::classic());
  f.exceptions(boost::io::no_error_bits);
  (f % ... % args);
  return f.str();
}

}  // namespace scene
