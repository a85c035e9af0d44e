#include "idl/ConfigRecords.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace farm {
namespace {

void PutInt32(std::string* out, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<char>((u >> shift) & 0xFF));
}

std::int32_t GetInt32(std::string_view bytes, std::size_t offset) {
  std::uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return static_cast<std::int32_t>(u);
}

void SetError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

bool WriteWhole(const std::filesystem::path& file, const std::string& bytes, std::string* error) {
  std::FILE* f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) {
    SetError(error, file.string() + ": " + std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    SetError(error, file.string() + ": write failed");
    return false;
  }
  return true;
}

// Reads at most `limit` bytes from the start of the file: a record never
// needs more, and an oversized file is not read whole.
bool ReadPrefix(const std::filesystem::path& file, std::size_t limit, std::string* bytes, std::string* error) {
  std::FILE* f = std::fopen(file.c_str(), "rb");
  if (f == nullptr) {
    SetError(error, file.string() + ": " + std::strerror(errno));
    return false;
  }
  bytes->resize(limit);
  const std::size_t n = std::fread(bytes->data(), 1, limit, f);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    SetError(error, file.string() + ": read failed");
    return false;
  }
  bytes->resize(n);
  return true;
}

}  // namespace

std::string EncodeBossRecord(std::string_view reference) {
  std::string out;
  out.reserve(4 + reference.size());
  PutInt32(&out, static_cast<std::int32_t>(reference.size()));
  out.append(reference);
  return out;
}

bool DecodeBossRecord(std::string_view bytes, std::string* reference) {
  if (bytes.size() < 4) return false;
  const std::int32_t length = GetInt32(bytes, 0);
  if (length < 0 || length >= kBossReferenceLimit) return false;
  if (bytes.size() - 4 < static_cast<std::size_t>(length)) return false;
  reference->assign(bytes.substr(4, static_cast<std::size_t>(length)));
  return true;
}

FarmerRecord FarmerRecordOf(std::int32_t band, const WorkUnit& rows, std::int32_t height) {
  return FarmerRecord{OutgoingFirstRow(band, rows), rows.last, height};
}

std::string EncodeFarmerRecord(const FarmerRecord& record) {
  std::string out;
  out.reserve(kFarmerRecordSize);
  PutInt32(&out, record.firstRow);
  PutInt32(&out, record.lastRow);
  PutInt32(&out, record.height);
  return out;
}

bool DecodeFarmerRecord(std::string_view bytes, FarmerRecord* record) {
  if (bytes.size() < kFarmerRecordSize) return false;
  record->firstRow = GetInt32(bytes, 0);
  record->lastRow = GetInt32(bytes, 4);
  record->height = GetInt32(bytes, 8);
  return true;
}

bool WriteBossIni(const std::filesystem::path& file, std::string_view reference, std::string* error) {
  if (reference.size() >= static_cast<std::size_t>(kBossReferenceLimit)) {
    SetError(error, "boss reference too long (" + std::to_string(reference.size()) + " bytes)");
    return false;
  }
  return WriteWhole(file, EncodeBossRecord(reference), error);
}

bool ReadBossIni(const std::filesystem::path& file, std::string* reference, std::string* error) {
  std::string bytes;
  if (!ReadPrefix(file, 4 + kBossReferenceLimit, &bytes, error)) return false;
  if (!DecodeBossRecord(bytes, reference)) {
    SetError(error, file.string() + ": no valid boss record");
    return false;
  }
  return true;
}

bool WriteFarmerIni(const std::filesystem::path& file, const FarmerRecord& record, std::string* error) {
  return WriteWhole(file, EncodeFarmerRecord(record), error);
}

bool ReadFarmerIni(const std::filesystem::path& file, FarmerRecord* record, std::string* error) {
  std::string bytes;
  if (!ReadPrefix(file, kFarmerRecordSize, &bytes, error)) return false;
  if (!DecodeFarmerRecord(bytes, record)) {
    SetError(error, file.string() + ": shorter than a band record");
    return false;
  }
  return true;
}

}  // namespace farm
