// Zephrin's asset generator: draws every picture and synthesises every sound
// the game loads. The output depends on nothing but this code, so running it
// twice gives byte-identical files.
//
// Usage: zephrin_assetgen <output-root> <music-wav>
//   writes <output-root>/Images/*.png and <output-root>/Sounds/Ding.wav, and
//   the uncompressed music loop to <music-wav> for the MP3 encoder.

#include "audio.h"
#include "images.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output-root> <music-wav>\n", argv[0]);
        return 2;
    }
    const std::string root = argv[1];
    const std::string musicWav = argv[2];

    std::error_code error;
    for (const char* dir : {"/Images", "/Sounds"}) {
        std::filesystem::create_directories(root + dir, error);
        if (error) {
            std::fprintf(stderr, "assetgen: cannot create %s%s: %s\n", root.c_str(), dir,
                         error.message().c_str());
            return 1;
        }
    }

    if (!assetgen::writeImages(root + "/Images")) {
        return 1;
    }

    const std::string dingPath = root + "/Sounds/Ding.wav";
    if (!assetgen::writeWav(dingPath, assetgen::makeDing())) {
        std::fprintf(stderr, "assetgen: cannot write %s\n", dingPath.c_str());
        return 1;
    }
    std::printf("wrote %s\n", dingPath.c_str());

    if (!assetgen::writeWav(musicWav, assetgen::makeMusic())) {
        std::fprintf(stderr, "assetgen: cannot write %s\n", musicWav.c_str());
        return 1;
    }
    std::printf("wrote %s\n", musicWav.c_str());
    return 0;
}
