// The size and place of the game window on a screen too small for it.
#pragma once

#include <SDL_rect.h>

#include <optional>

// The room that the desktop's frame takes around a window's client area: a
// title bar above and a border on the other sides, generous enough for the
// common desktops at their usual settings. The usable area that the system
// reports holds whole windows, frames and all; the size the game asks for is
// that of the client area alone.
struct FrameRoom {
    int left;
    int top;
    int right;
    int bottom;
};
constexpr FrameRoom kFrameRoom{8, 40, 8, 8};

// Nothing when the usable area holds the 800 x 800 window and its frame, or
// when the area is unknown (empty): the window then opens as designed.
// Otherwise the client area of the largest square window that fits with its
// frame, centred in the usable area; the game's 800 x 800 picture is then
// scaled into it.
std::optional<SDL_Rect> shrunkClientArea(const SDL_Rect& usable,
                                         const FrameRoom& frame = kFrameRoom);
