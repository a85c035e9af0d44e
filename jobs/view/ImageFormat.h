#pragma once
#include <optional>
#include <string>

namespace jobs {

// The file formats a picture can be saved in.
enum class ImageFormat { Jpeg, Png, Bmp, Tga };

// The format named by the extension of the file name in `path`: ".jpg",
// ".png", ".bmp" or ".tga", compared without regard to letter case (so
// "a.PNG" is PNG). Only the last component of the path is looked at.
//
// Any other name has no format and yields std::nullopt; callers refuse to
// save it rather than guess (no extension, ".jpeg", ".gif", a name that is
// only an extension such as ".png", a trailing dot).
std::optional<ImageFormat> FormatForPath(const std::string& path);

}  // namespace jobs
