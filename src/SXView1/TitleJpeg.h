// The 640 x 480 title picture, compiled into the program as baseline JPEG bytes: the data
// generator writes their source into the build folder, linked as tv_titlejpeg.
#pragma once

#include <cstddef>

namespace titlepicture {

extern const unsigned char kTitleJpeg[];
extern const std::size_t kTitleJpegSize;

}  // namespace titlepicture
