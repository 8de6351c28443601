// Size and place of the main window on a desktop: the window is the phone's size
// (client area plus soft-key bar) times a whole number, and the scale the layout uses
// follows the window's size. Pure integer arithmetic, no Qt.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ui/layout.h"

namespace kestrelio {

// The client area of the phone, in pixels at scale 1.
inline constexpr int kPhoneClientWidth = 240;
inline constexpr int kPhoneClientHeight = 320;

// A window or screen area in screen pixels: the same x, y, width, height as a control's.
using ScreenRect = ControlRect;

// The scale the window opens at: the largest whole multiple of the phone window
// (`phone_width` x `phone_height`, soft-key bar included) whose height is at most two
// thirds of the available screen height and whose width fits the screen; at least 1.
int OpeningScale(int phone_width, int phone_height, const ScreenRect& available);

// The scale a window of this outer size lays out at: how many whole phone windows fit
// across and down; at least 1.
int ScaleForWindow(int window_width, int window_height, int phone_width, int phone_height);

// The remembered placement as stored: "x,y,width,height" in decimal.
std::string FormatPlacement(const ScreenRect& placement);
// Nothing for text that is not four integers with a positive width and height below
// 100000 (the value comes from a file a person may have edited).
std::optional<ScreenRect> ParsePlacement(std::string_view text);

// True when `placement` lies wholly on one of `screens` and is at least the phone
// window's size: a remembered place on a screen that has gone is not used.
bool PlacementFits(const ScreenRect& placement, std::span<const ScreenRect> screens, int min_width,
                   int min_height);

}  // namespace kestrelio
