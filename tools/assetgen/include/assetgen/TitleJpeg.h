// The 640 x 480 title picture, compiled into the program as baseline JPEG bytes
// (written by tools/assetgen into the build folder and linked as tv_titlejpeg).
#pragma once

#include <cstddef>

namespace titlepicture {

extern const unsigned char kTitleJpeg[];
extern const std::size_t kTitleJpegSize;

}  // namespace titlepicture
