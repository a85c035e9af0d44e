#pragma once
#include <filesystem>

namespace platform {

// Folder of the shared object (or executable) that contains `address`,
// found with dladdr. Pass the address of a function of the calling module.
// Empty path when the loader cannot tell.
std::filesystem::path ModuleFolder(const void* address);

// The file of that shared object (or executable), as ModuleFolder finds it.
std::filesystem::path ModuleFile(const void* address);

// Folder of the running executable (/proc/self/exe).
std::filesystem::path ExecutableFolder();

// The temporary folder: $TMPDIR when set and non-empty, else /tmp.
std::filesystem::path TempFolder();

}  // namespace platform
