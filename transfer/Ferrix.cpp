// The four exported functions of libferrix.so over one process-wide sender.
#include "transfer/Ferrix.h"

#include <string>

#include "idl/ConfigRecords.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "transfer/RowSender.h"

namespace {

transfer::RowSender& Sender() {
  static auto* sender = new transfer::RowSender();  // never destroyed: the ORB may outlive static teardown
  return *sender;
}

}  // namespace

extern "C" {

bool Transformdata_init(void) {
  const platform::Status connected = Sender().Connect(transfer::OwnCommandLine(), platform::ExecutableFolder());
  if (connected) return true;
  platform::WriteMessageToStderr("ferrix: " + connected.reason());
  platform::MessageBox("TransFormInit error ", "TransFormInit error ");
  return false;
}

bool Transformdata(int32_t line, int32_t count, const int32_t* pixels) { return Sender().Send(line, count, pixels); }

bool Transformdata_getbegin(int32_t* firstRow, int32_t* lastRow, int32_t* height) {
  if (firstRow == nullptr || lastRow == nullptr || height == nullptr) return false;
  farm::FarmerRecord band;
  if (!farm::ReadFarmerIni(platform::ExecutableFolder() / farm::kFarmerIniName, &band, nullptr)) return false;
  *firstRow = band.firstRow;
  *lastRow = band.lastRow;
  *height = band.height;
  return true;
}

bool Transformdata_IsOK(void) { return Sender().IsOK(); }

}  // extern "C"
