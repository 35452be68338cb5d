// The game's pictures, each drawn from scratch into a canvas.
#pragma once

#include "raster.h"

#include <string>

namespace assetgen {

Canvas makeBackground();
Canvas makeBird();
Canvas makePipeBody();
Canvas makePipeHead();
Canvas makeScoreSheet();

// Draws every image and saves it under `imagesDir`; false on the first failure.
bool writeImages(const std::string& imagesDir);

}  // namespace assetgen
