// Any sequence of FileCreate / WriteBuffer / CloseFile calls with any
// arguments, made straight on the servant: nothing may crash, and nothing
// may appear outside the receiver's folder.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "idl/FileReceiver.h"

namespace {
namespace fs = std::filesystem;

struct Folders {
  fs::path outer, inner;
};

const Folders& Dirs() {
  static const Folders dirs = [] {
    // Beside the run's other scratch files ($TMPDIR).
    std::string pattern = (std::filesystem::temp_directory_path() / "receiver-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    Folders d{pattern, fs::path(pattern) / "in"};
    fs::create_directories(d.inner / "sub");
    return d;
  }();
  return dirs;
}

// Everything in the outer folder besides the receiver's own folder.
bool OnlyInner() {
  for (const auto& e : fs::directory_iterator(Dirs().outer)) {
    if (e.path() != Dirs().inner) return false;
  }
  for (const auto& e : fs::directory_iterator(Dirs().inner / "sub")) {
    (void)e;
    return false;
  }
  return true;
}

std::string Name(FuzzedDataProvider& in) {
  static const char* const kNames[] = {"Render.zip", "..",   ".",      "",      "sub", "sub/x",
                                       "sub\\x",     "../x", "/tmp/x", "..\\x", "a b", "\xe4\xb8\xad.zip"};
  if (in.ConsumeBool()) return kNames[in.ConsumeIntegralInRange<size_t>(0, std::size(kNames) - 1)];
  return in.ConsumeRandomLengthString(300);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  auto* receiver = new FileReceiver(Dirs().inner);
  for (int i = 0; i < 12 && in.remaining_bytes() > 0; ++i) {
    try {
      switch (in.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: {
          const std::string name = Name(in);
          receiver->CreateFile(name.c_str(), in.ConsumeIntegral<CORBA::Long>());
          break;
        }
        case 1: {
          const std::string bytes = in.ConsumeRandomLengthString(200);
          Lumora::BinaryFile octets;
          octets.length(static_cast<CORBA::ULong>(bytes.size()));
          for (size_t k = 0; k < bytes.size(); ++k)
            octets[static_cast<CORBA::ULong>(k)] = static_cast<CORBA::Octet>(bytes[k]);
          // Mostly lengths near the data's, now and then any at all.
          const CORBA::Long length =
              in.ConsumeBool() ? in.ConsumeIntegral<CORBA::Long>()
                               : static_cast<CORBA::Long>(bytes.size()) - in.ConsumeIntegralInRange<int>(-2, 2);
          receiver->WriteBuffer(length, octets);
          break;
        }
        default: receiver->CloseFile();
      }
    } catch (const CORBA::SystemException&) {
      // refused calls raise; that is their answer
    }
  }
  receiver->_remove_ref();
  if (!OnlyInner()) std::abort();
  for (const auto& e : fs::directory_iterator(Dirs().inner)) {
    if (e.path().filename() != "sub") fs::remove(e.path());
  }
  return 0;
}
