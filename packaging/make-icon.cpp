// Scales an image onto a transparent square, centred and keeping its aspect:
//   zephrin-make-icon <in.png> <size> <out.png>
//   zephrin-make-icon <in.png> <size> <out.png> <rrggbb> <percent>
//                     the same on a solid colour, the image across that share of
//                     the side: an icon that the system may cut to a circle
//   zephrin-make-icon <in.png> <out.ico> <size>...     one Windows icon, every size in it
// Nearest-neighbour scaling, so the same input always gives the same icon.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_image.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int fail(const char* what, const char* path) {
    std::fprintf(stderr, "zephrin-make-icon: %s %s: %s\n", what, path, SDL_GetError());
    return EXIT_FAILURE;
}

// What lies under the image: transparency, or a solid colour with the image
// across a share of the side.
struct Backdrop {
    bool solid = false;
    Uint32 rgb = 0;
    int percent = 100;
};

// The image scaled onto a size x size square of ARGB pixels; null on failure.
SDL_Surface* drawIcon(SDL_Surface* image, int size, const Backdrop& backdrop = {}) {
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, size, size, 32, SDL_PIXELFORMAT_ARGB8888);
    if (icon == nullptr) {
        return nullptr;
    }
    if (backdrop.solid) {
        SDL_SetSurfaceBlendMode(image, SDL_BLENDMODE_BLEND);
        SDL_FillRect(icon, nullptr, 0xFF000000 | backdrop.rgb);
    } else {
        // Copy the pixels with their alpha instead of blending onto the empty square.
        SDL_SetSurfaceBlendMode(image, SDL_BLENDMODE_NONE);
        SDL_FillRect(icon, nullptr, SDL_MapRGBA(icon->format, 0, 0, 0, 0));
    }

    const int side = size * backdrop.percent / 100;
    const int margin = (size - side) / 2;
    SDL_Rect target{margin, margin, side, side};
    if (image->w > image->h) {
        target.h = SDL_max(1, image->h * side / image->w);
        target.y = (size - target.h) / 2;
    } else if (image->h > image->w) {
        target.w = SDL_max(1, image->w * side / image->h);
        target.x = (size - target.w) / 2;
    }
    if (SDL_BlitScaled(image, nullptr, icon, &target) != 0) {
        SDL_FreeSurface(icon);
        return nullptr;
    }
    return icon;
}

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::uint32_t pixelAt(const SDL_Surface* icon, int x, int y) {
    std::uint32_t argb = 0;
    std::memcpy(&argb, static_cast<const Uint8*>(icon->pixels) + y * icon->pitch + x * 4, 4);
    return argb;
}

// An icon image as Windows reads it everywhere: a 32-bit bitmap, bottom row
// first, followed by the one-bit mask of its transparent pixels.
std::string bitmapEntry(const SDL_Surface* icon) {
    const int size = icon->w;
    const int maskRowBytes = (size + 31) / 32 * 4;
    std::string out;
    putLittleEndian(out, 40, 4);  // BITMAPINFOHEADER
    putLittleEndian(out, static_cast<std::uint32_t>(size), 4);
    putLittleEndian(out, static_cast<std::uint32_t>(2 * size), 4);  // colour and mask
    putLittleEndian(out, 1, 2);
    putLittleEndian(out, 32, 2);
    putLittleEndian(out, 0, 4);  // uncompressed
    putLittleEndian(out, static_cast<std::uint32_t>(size * size * 4 + maskRowBytes * size), 4);
    putLittleEndian(out, 0, 16);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            putLittleEndian(out, pixelAt(icon, x, y), 4);  // B, G, R, A in memory
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        std::string row(static_cast<std::size_t>(maskRowBytes), '\0');
        for (int x = 0; x < size; ++x) {
            if ((pixelAt(icon, x, y) >> 24) == 0) {
                row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
            }
        }
        out += row;
    }
    return out;
}

// The large icon as a PNG, the way Windows keeps 256-pixel icons small.
bool pngEntry(SDL_Surface* icon, std::string& out) {
    std::vector<char> buffer(static_cast<std::size_t>(icon->w * icon->h * 4 + 65536));
    SDL_RWops* memory = SDL_RWFromMem(buffer.data(), static_cast<int>(buffer.size()));
    if (memory == nullptr || IMG_SavePNG_RW(icon, memory, 0) != 0) {
        if (memory != nullptr) {
            SDL_RWclose(memory);
        }
        return false;
    }
    out.assign(buffer.data(), static_cast<std::size_t>(SDL_RWtell(memory)));
    SDL_RWclose(memory);
    return true;
}

int writeIco(SDL_Surface* image, const char* path, const std::vector<int>& sizes) {
    std::vector<std::string> entries;
    for (int size : sizes) {
        SDL_Surface* icon = drawIcon(image, size);
        if (icon == nullptr) {
            return fail("cannot scale to", path);
        }
        std::string entry;
        if (size >= 256) {
            if (!pngEntry(icon, entry)) {
                SDL_FreeSurface(icon);
                return fail("cannot encode", path);
            }
        } else {
            entry = bitmapEntry(icon);
        }
        SDL_FreeSurface(icon);
        entries.push_back(entry);
    }
    std::string ico;
    putLittleEndian(ico, 0, 2);
    putLittleEndian(ico, 1, 2);  // an icon, not a cursor
    putLittleEndian(ico, static_cast<std::uint32_t>(sizes.size()), 2);
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::uint32_t side = sizes[i] >= 256 ? 0 : static_cast<std::uint32_t>(sizes[i]);
        putLittleEndian(ico, side, 1);  // 0 stands for 256
        putLittleEndian(ico, side, 1);
        putLittleEndian(ico, 0, 2);  // no palette
        putLittleEndian(ico, 1, 2);  // planes
        putLittleEndian(ico, 32, 2);
        putLittleEndian(ico, static_cast<std::uint32_t>(entries[i].size()), 4);
        putLittleEndian(ico, offset, 4);
        offset += static_cast<std::uint32_t>(entries[i].size());
    }
    for (const std::string& entry : entries) {
        ico += entry;
    }
    std::FILE* out = std::fopen(path, "wb");
    if (out == nullptr || std::fwrite(ico.data(), 1, ico.size(), out) != ico.size() ||
        std::fclose(out) != 0) {
        SDL_SetError("%s", std::strerror(errno));
        return fail("cannot write", path);
    }
    return EXIT_SUCCESS;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: zephrin-make-icon <in.png> <size> <out.png> [<rrggbb> <percent>]\n"
                 "       zephrin-make-icon <in.png> <out.ico> <size>...\n");
    return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 4) {
        return usage();
    }
    const bool ico = endsWith(argv[2], ".ico");
    // Windows icons go up to 256 pixels; web app icons to 512.
    const int largest = ico ? 256 : 512;
    std::vector<int> sizes;
    for (int i = ico ? 3 : 2; i < (ico ? argc : 3); ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > largest) {
            return usage();
        }
        sizes.push_back(size);
    }
    Backdrop backdrop;
    if (!ico && argc == 6) {
        backdrop.solid = true;
        backdrop.rgb = static_cast<Uint32>(std::strtoul(argv[4], nullptr, 16)) & 0xFFFFFF;
        backdrop.percent = std::atoi(argv[5]);
        if (backdrop.percent <= 0 || backdrop.percent > 100) {
            return usage();
        }
    } else if (!ico && argc != 4) {
        return usage();
    }
    SDL_Surface* loaded = IMG_Load(argv[1]);
    if (loaded == nullptr) {
        return fail("cannot load", argv[1]);
    }
    SDL_Surface* image = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    if (image == nullptr) {
        return fail("cannot convert", argv[1]);
    }
    int status = EXIT_SUCCESS;
    if (ico) {
        status = writeIco(image, argv[2], sizes);
    } else {
        SDL_Surface* icon = drawIcon(image, sizes[0], backdrop);
        if (icon == nullptr) {
            status = fail("cannot scale", argv[1]);
        } else if (IMG_SavePNG(icon, argv[3]) != 0) {
            status = fail("cannot write", argv[3]);
        }
        SDL_FreeSurface(icon);
    }
    SDL_FreeSurface(image);
    SDL_FreeSurface(loaded);
    return status;
}
