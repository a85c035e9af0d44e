#pragma once
#include <filesystem>
#include <string>
#include <vector>

// Zip archives for the node's tests, written with minizip the way a boss
// writes its packages (deflate, backslash names, folder entries without data).
namespace nodetest {

// Test helper: the test's thread only.
struct ZipEntry {
  std::string name;  // "Render\\Tessel.pov"; a name ending in a separator is a folder
  std::string data;
  int year = 2024, month = 5, day = 17, hour = 12, minute = 34, second = 56;  // local time
};

// False when the archive could not be written.
bool WriteZip(const std::filesystem::path& file, const std::vector<ZipEntry>& entries);

}  // namespace nodetest
