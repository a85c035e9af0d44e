#pragma once
#include <cstdint>
#include <filesystem>
#include <string>

namespace engine {

// The row transfer library (libferrix.so) as the engine uses it: loaded
// once, its four functions looked up by name. Without a library every call
// answers false and rows go nowhere. One thread at a time.
class RowTransfer {
 public:
  // False, with a reason, when the library cannot be loaded or lacks one
  // of the four functions.
  bool Load(const std::filesystem::path& library, std::string* error);
  bool loaded() const { return send_ != nullptr; }

  bool Init() { return init_ != nullptr && init_(); }
  bool GetBegin(std::int32_t* first, std::int32_t* last, std::int32_t* height) {
    return getbegin_ != nullptr && getbegin_(first, last, height);
  }
  bool Send(std::int32_t row, std::int32_t count, const std::int32_t* colorref) {
    return send_ != nullptr && send_(row, count, colorref);
  }

 private:
  bool (*init_)() = nullptr;
  bool (*send_)(std::int32_t, std::int32_t, const std::int32_t*) = nullptr;
  bool (*getbegin_)(std::int32_t*, std::int32_t*, std::int32_t*) = nullptr;
};

}  // namespace engine
