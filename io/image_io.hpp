// Images to and from their containers: decoding binaries and files into image! values and
// encoding images, on the codecs of image_codecs.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::image_io {

// A new image pushed on the argument stack, decoded from the bytes at the binary's index; none
// when they begin with no known signature; access/bad-media when they do not decode.
cell* load_binary(const cell& binary);
// The image decoded from the file into `result`; access/cannot-open with the file when it cannot
// be read or decoded.
void load_file(const cell& file, cell& result);
// A binary! from memory, a file! from disk; any other value raises script/invalid-arg. Answers
// the pushed image (or none).
cell* decode(const cell& data);
// The whole image in the container (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF) as a new binary, in
// `where`'s cell or, with none, a pushed one. A 0x0 image and any encoder failure raise
// access/bad-media; one zero side gives an empty binary.
cell* encode(const cell& image, cell* where, int32_t format);

}  // namespace tav::image_io
