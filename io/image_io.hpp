// Images to and from their containers: decoding binaries and files into image! values and
// encoding images, on the codecs of image_codecs.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::image_io {

// Results go to a cell the caller keeps where the collector sees it (an argument slot, say).

// The image decoded from the bytes at the binary's index; none when they begin with no known
// signature; access/bad-media when they do not decode.
void load_binary(const cell& binary, cell& result);
// The image decoded from the file into `result`; access/cannot-open with the file when it cannot
// be read or decoded.
void load_file(const cell& file, cell& result);
// A binary! from memory, a file! from disk; any other value raises script/invalid-arg.
void decode(const cell& data, cell& result);
// The whole image in the container (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF) as a new binary. A 0x0
// image and any encoder failure raise access/bad-media; one zero side gives an empty binary.
void encode(const cell& image, cell& result, int32_t format);

}  // namespace tav::image_io
