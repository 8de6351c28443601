// The program's pictures, drawn in code at start-up: no binary files to keep in step.
#pragma once

#include <QImage>

namespace kestrelio {

// Bitmap by resource id: 133 idle (320x240), 135 own placeholder (220x240), 153 paused
// (220x240), 148/149/1000 contact states (12x12), 150/151/152 history (13x13), 132 the
// soft-key image strip (12 images of 16x16 side by side). Null image for another id.
QImage DrawBitmap(int bitmap_id);
// One 16x16 image of strip 132; null for an index outside 0..11.
QImage SoftKeyImage(int image_index);
inline constexpr int kSoftKeyImageCount = 12;
// Icon 101, the program's icon, at `size` x `size` pixels.
QImage DrawAppIcon(int size);

}  // namespace kestrelio
