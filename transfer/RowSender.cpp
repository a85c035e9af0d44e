#include "transfer/RowSender.h"

#include <fstream>
#include <iterator>

#include "idl/ConfigRecords.h"
#include "idl/OrbInit.h"

namespace transfer {

platform::Status RowSender::Connect(const std::vector<std::string>& orbArgs, const std::filesystem::path& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  boss_ = Lumora::RenderBoss::_nil();
  try {
    std::vector<std::string> args = orbArgs;
    if (args.empty()) args.push_back("ferrix");
    farm::StartedOrb started = farm::StartOrb(std::move(args), farm::OrbRole::kClientOnly);
    orb_ = started.orb._retn();
    root_ = started.rootPoa._retn();
    manager_ = started.manager._retn();

    std::string reference;
    std::string error;
    if (!farm::ReadBossIni(folder / farm::kBossIniName, &reference, &error)) return platform::Status::Error(error);
    CORBA::Object_var bossObj = orb_->string_to_object(reference.c_str());
    Lumora::RenderBoss_var boss = Lumora::RenderBoss::_narrow(bossObj);
    if (CORBA::is_nil(boss)) return platform::Status::Error("boss.ini names no boss");
    // Held before the check: a boss that misses this one call still gets
    // every row the engine renders.
    boss_ = Lumora::RenderBoss::_duplicate(boss.in());
    try {
      CORBA::String_var id = boss->ID();  // only to see that it answers
    } catch (const CORBA::Exception& e) {
      return platform::Status::Error("boss not reachable: " + farm::Describe(e));
    }
    return platform::Status::Ok();
  } catch (const CORBA::Exception& e) {
    return platform::Status::Error("boss not reachable: " + farm::Describe(e));
  }
}

bool RowSender::Send(std::int32_t line, std::int32_t count, const std::int32_t* pixels) {
  if (count < 0 || (count > 0 && pixels == nullptr)) return false;
  Lumora::RenderBoss_var boss;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    boss = Lumora::RenderBoss::_duplicate(boss_.in());
  }
  if (CORBA::is_nil(boss)) return false;
  try {
    const auto n = static_cast<CORBA::ULong>(count);
    // Borrows the caller's pixels for the call (release = false).
    const Lumora::ColorLine colors(n, n, const_cast<CORBA::Long*>(reinterpret_cast<const CORBA::Long*>(pixels)), false);
    boss->Push(line, colors);
    return true;
  } catch (const CORBA::Exception&) {
    return false;
  }
}

std::vector<std::string> OwnCommandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  std::string current;
  for (char c : all) {
    if (c == '\0') {
      args.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) args.push_back(std::move(current));
  return args;
}

}  // namespace transfer
