// The picture list of Sync Images as the service answers 31/0: its manager.ini
// [Images] "List", every name ended by ';', up to the reply's first NUL.
// The names come from another computer and are joined to our Images folder,
// so only plain file names are kept.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace lark {

// The listed names in order: empty names, names that are no plain file name
// (separators, "." or "..", a drive prefix, control characters, longer than
// a chunk header holds) and repeats are left out, as is text after the last ';'
// (a name cut by the service's buffer).
std::vector<std::string> ParseImageList(CBytes text);
// The longest name a picture can be fetched under: NAME_MAX less ".part".
inline constexpr size_t kStorableImageName = 255 - 5;
// The names of `listed` that `imagesDir` does not hold, looked up without
// case as the map looks pictures up; names longer than kStorableImageName
// are left out.
std::vector<std::string> MissingImages(const std::vector<std::string>& listed,
                                       const std::string& imagesDir);

}  // namespace lark
