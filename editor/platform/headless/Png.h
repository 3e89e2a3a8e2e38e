// A PNG writer of the project's own: 8-bit RGB, no filtering, the image data
// in zlib stored (uncompressed) blocks. Enough for screenshots of the editor
// without depending on a compression library.
#pragma once

#include "editor/Artwork.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ui::png {

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);
std::uint32_t adler32(const std::uint8_t* data, std::size_t size);

// A zlib stream holding `data` in stored blocks of at most 65535 bytes.
std::vector<std::uint8_t> zlibStored(const std::vector<std::uint8_t>& data);

// The whole PNG file for the image's colours (the mask is not written).
std::vector<std::uint8_t> encode(const Image& image);

// False when the file cannot be written.
bool write(const std::string& path, const Image& image);

} // namespace ui::png
