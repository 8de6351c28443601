// The layout at a window scale: the phone layout is worked out for the client size
// divided by the scale and every rectangle is then stretched back to the real client
// size, so controls and pictures grow with the window instead of staying phone-sized.
#pragma once

#include "ui/layout.h"

namespace kestrelio {

// `logical` is a layout computed for (client_width / scale, client_height / scale);
// returns it in the real client's pixels. Edges on the logical client's right or bottom
// border land on the real border. Scale 1 returns `logical` unchanged.
Layout ScaleLayout(const Layout& logical, int scale, int client_width, int client_height);

}  // namespace kestrelio
