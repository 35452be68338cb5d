#include "app/window_size.h"

#include <algorithm>

#include "game/state.h"

std::optional<SDL_Rect> shrunkClientArea(const SDL_Rect& usable, const FrameRoom& frame) {
    if (usable.w <= 0 || usable.h <= 0) {
        return std::nullopt;
    }
    const int roomWidth = usable.w - frame.left - frame.right;
    const int roomHeight = usable.h - frame.top - frame.bottom;
    if (roomWidth >= kWindowWidth && roomHeight >= kWindowHeight) {
        return std::nullopt;
    }
    const int side = std::max(1, std::min(roomWidth, roomHeight));
    return SDL_Rect{usable.x + frame.left + (roomWidth - side) / 2,
                    usable.y + frame.top + (roomHeight - side) / 2, side, side};
}
