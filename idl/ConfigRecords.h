#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "idl/WorkUnit.h"

// The two binary records through which a render node hands its current job
// to the engine it starts: boss.ini (how to reach the boss) and Farmer.ini
// (which rows to render). Integers are 32-bit signed little-endian; neither
// record has a header. Writers replace the whole file, so a shorter record
// leaves none of the old bytes behind.
namespace farm {

inline constexpr char kBossIniName[] = "boss.ini";
inline constexpr char kFarmerIniName[] = "Farmer.ini";

// Readers hold a boss reference in a buffer of this size including a
// terminating zero, so a reference of this length or more is refused.
inline constexpr std::int32_t kBossReferenceLimit = 2048;

// Farmer.ini: the band of the current job.
//
// Plain data; the readers and writers here touch only their arguments, so any thread.
struct FarmerRecord {
  std::int32_t firstRow = 0;
  std::int32_t lastRow = 0;
  std::int32_t height = 0;
};
inline constexpr std::size_t kFarmerRecordSize = 12;

// The record of band `band` asked for `rows` of a picture `height` rows
// high: band 1's first row is written as 0 (OutgoingFirstRow).
FarmerRecord FarmerRecordOf(std::int32_t band, const WorkUnit& rows, std::int32_t height);

// boss.ini is the length L of the reference text, then its L bytes (no
// terminating zero).
std::string EncodeBossRecord(std::string_view reference);
// False for fewer than 4 bytes, a length that is negative or not below
// kBossReferenceLimit, or fewer than L bytes after the length. Bytes past
// the record are ignored.
bool DecodeBossRecord(std::string_view bytes, std::string* reference);

// Farmer.ini is first row, last row, height.
std::string EncodeFarmerRecord(const FarmerRecord& record);
// False for fewer than kFarmerRecordSize bytes.
bool DecodeFarmerRecord(std::string_view bytes, FarmerRecord* record);

// File forms. Each answers false, with a reason in *error when error is not
// null, when the file cannot be written or read or holds no valid record;
// a reader then leaves its output untouched. A reference the readers would
// refuse is not written either.
bool WriteBossIni(const std::filesystem::path& file, std::string_view reference, std::string* error);
bool ReadBossIni(const std::filesystem::path& file, std::string* reference, std::string* error);
bool WriteFarmerIni(const std::filesystem::path& file, const FarmerRecord& record, std::string* error);
bool ReadFarmerIni(const std::filesystem::path& file, FarmerRecord* record, std::string* error);

}  // namespace farm
