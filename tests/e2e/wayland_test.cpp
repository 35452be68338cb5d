// The real game natively on Wayland, as players get it where there is no
// XWayland or who set SDL_VIDEODRIVER=wayland: a headless wlroots compositor
// of its own for each test (sway, which tiles, or cage, a kiosk), pictures
// through grim and keys through wtype.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"
#include "tests/e2e/stage.h"

namespace e2e {
namespace {

enum class Kind { kSway, kCage };

struct Screen {
    int width;
    int height;
};

// A compositor on a virtual screen, with no input devices but a keyboard that
// a wtype holds for the whole test: SDL 2.26 loses the keys of a keyboard
// that appears just for them. Sway refuses to run as root, so as root both
// run as the unprivileged user `nobody`, with a runtime directory of its own.
class Compositor {
public:
    Compositor(Kind kind, Screen screen, const std::string& swayRules = "") {
        const std::string run = dir_ / "run";
        std::filesystem::create_directory(run);
        std::vector<std::string> command;
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (nobody == nullptr) {
                return;
            }
            chmod(dir_.path().c_str(), 0711);
            chmod(run.c_str(), 0700);
            if (chown(run.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
                return;
            }
            command = {"setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
                       "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups"};
        }
        if (kind == Kind::kSway) {
            writeFile(run + "/config", "output HEADLESS-1 resolution " +
                                           std::to_string(screen.width) + "x" +
                                           std::to_string(screen.height) + "\n" + swayRules);
            command.insert(command.end(), {"sway", "--config", run + "/config"});
        } else {
            // Cage's headless screen is 1280 x 720, turned upright here as in
            // a portrait cabinet (-r): on a screen as it stands, cage hands a
            // window that covers it whole straight to the screen, and grim
            // sees only the frames cage drew before. It shows the windows of
            // every client, the game's too, while its own one runs; that one
            // goes with cage.
            command.insert(command.end(), {"cage", "-r", "--", "setpriv", "--pdeathsig", "KILL",
                                           "sleep", "1000000"});
        }
        process_.emplace(command, run,
                         std::vector<EnvChange>{{"XDG_RUNTIME_DIR", run},
                                                {"HOME", run},
                                                {"WLR_BACKENDS", "headless"},
                                                {"WLR_RENDERER", "pixman"},
                                                {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                                {"WAYLAND_DISPLAY", std::nullopt},
                                                {"DISPLAY", std::nullopt}},
                         dir_ / "compositor.log");
        const double deadline = now() + 10 * slowdown();
        while (socket_.empty() && now() < deadline && !process_->awaitExit(0.05)) {
            socket_ = fileStartingWith("wayland-");
        }
        if (!socket_.empty()) {
            keyboard_.emplace(std::vector<std::string>{"wtype", "-s", "1000000", "x"}, "/",
                              clientEnvironment(), dir_ / "keyboard.log");
        }
    }

    // Why none runs, or empty when one does.
    std::string failure() const {
        return socket_.empty()
                   ? "no Wayland compositor started: " + readFile(dir_ / "compositor.log")
                   : "";
    }

    std::vector<EnvChange> clientEnvironment() const {
        return {{"XDG_RUNTIME_DIR", dir_ / "run"}, {"WAYLAND_DISPLAY", socket_}};
    }

    // The whole screen, as grim takes it.
    Shot shoot() const {
        const std::string file = dir_ / "shot.ppm";
        Child({"grim", "-t", "ppm", file}, "/", clientEnvironment(), dir_ / "grim.log")
            .awaitExit(10 * slowdown());
        return readPpm(file);
    }

    void run(const std::vector<std::string>& command) const {
        Child(command, "/", clientEnvironment(), dir_ / "client.log").awaitExit(10 * slowdown());
    }

    // wtype's own arguments: -k KEY presses a key, -s MS waits.
    void type(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), "wtype");
        run(arguments);
    }

    // What sway does when the player closes the focused window.
    void closeWindow() const {
        run({"swaymsg", "-s", dir_ / ("run/" + fileStartingWith("sway-ipc.")), "kill"});
    }

private:
    // The compositor's socket or file in its runtime directory whose name
    // starts so; its lock files left out.
    std::string fileStartingWith(const std::string& prefix) const {
        std::error_code none;
        for (const auto& entry : std::filesystem::directory_iterator(dir_ / "run", none)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0 && entry.path().extension() != ".lock") {
                return name;
            }
        }
        return "";
    }

    static Shot readPpm(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::string magic;
        int maxValue = 0;
        Shot shot;
        in >> magic >> shot.width >> shot.height >> maxValue;
        in.get();
        if (magic != "P6" || maxValue != 255) {
            return Shot{{}, 0, 0};
        }
        std::string bytes(static_cast<std::size_t>(shot.width * shot.height * 3), '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {
            shot.pixels.push_back(
                static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]) << 16 |
                                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                           static_cast<unsigned char>(bytes[i + 2])));
        }
        return shot;
    }

    ScratchDir dir_;
    std::optional<Child> process_;
    std::optional<Child> keyboard_;
    std::string socket_;
};

// Where the game's staged sky is on the screen: the picture, whichever way
// the bird and the pipes cover it.
struct Picture {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

std::optional<Picture> pictureIn(const Shot& shot) {
    const Blob sky = findColour(shot, kSky);
    if (sky.count < 10000) {
        return std::nullopt;
    }
    return Picture{sky.minX, sky.minY, sky.maxX + 1 - sky.minX, sky.maxY + 1 - sky.minY};
}

class Wayland : public ::testing::Test {
protected:
    // The game on `compositor`, once it shows its picture; its last shot in shot_.
    void start(const Compositor& compositor) {
        if (!compositor.failure().empty()) {
            GTEST_SKIP() << compositor.failure();
        }
        stageMedia(dir_);
        std::vector<EnvChange> env = gameEnvironment(std::nullopt);
        env.push_back({"SDL_VIDEODRIVER", "wayland"});
        for (const EnvChange& change : compositor.clientEnvironment()) {
            env.push_back(change);
        }
        game_.emplace(gameCommand(), dir_.path(), env, dir_ / "stderr.txt");
        ASSERT_TRUE(
            awaitShot(compositor, 10, [](const Shot& shot) { return pictureIn(shot).has_value(); }))
            << "the game never showed; it said: " << readFile(dir_ / "stderr.txt");
    }

    template <typename Done>
    bool awaitShot(const Compositor& compositor, double seconds, Done done) {
        const double deadline = now() + seconds * slowdown();
        do {
            shot_ = compositor.shoot();
            if (done(shot_)) {
                return true;
            }
        } while (now() < deadline);
        return false;
    }

    ScratchDir dir_;
    std::optional<Child> game_;
    Shot shot_;
};

struct Desktop {
    const char* name;
    Kind kind;
    Screen screen;
    const char* swayRules;
    int side;  // of the picture on the screen
};

void PrintTo(const Desktop& desktop, std::ostream* out) {
    *out << desktop.name;
}

class Desktops : public Wayland, public ::testing::WithParamInterface<Desktop> {};

// Scaled the same both ways, whole and centred on the screen, with the bird
// in its column; where keys can be typed (sway), r starts a game over and
// space keeps its bird flying, and closing the window ends the game with 0.
TEST_P(Desktops, ShowTheWholePictureUniformlyScaledAndCentred) {
    const Desktop& desktop = GetParam();
    const Compositor compositor(desktop.kind, desktop.screen, desktop.swayRules);
    ASSERT_NO_FATAL_FAILURE(start(compositor));
    if (IsSkipped()) {
        return;
    }
    // The compositor may tile the window a few frames after it first shows:
    // the last picture is checked, that of the settled window or the wrong one.
    awaitShot(compositor, 10, [&](const Shot& shot) {
        const std::optional<Picture> seen = pictureIn(shot);
        return seen && std::abs(seen->width - desktop.side) <= 1 &&
               std::abs(seen->height - desktop.side) <= 1;
    });
    const Picture picture = *pictureIn(shot_);
    EXPECT_NEAR(picture.width, picture.height, 1) << "not scaled the same both ways";
    EXPECT_GE(picture.left, 0);
    EXPECT_GE(picture.top, 0);
    EXPECT_LE(picture.left + picture.width, desktop.screen.width) << "cut off at the right";
    EXPECT_LE(picture.top + picture.height, desktop.screen.height) << "cut off at the bottom";
    EXPECT_NEAR(picture.width, desktop.side, 1);
    EXPECT_NEAR(picture.left, (desktop.screen.width - desktop.side) / 2, 1) << "not centred";
    EXPECT_NEAR(picture.top, (desktop.screen.height - desktop.side) / 2, 1) << "not centred";
    if (desktop.kind == Kind::kCage) {
        return;  // cage takes no keys from wtype
    }
    // The bird in the game's own 800 x 800 pixels; far below once gone.
    const double scale = picture.width / 800.0;
    const auto bird = [&](const Shot& shot) { return findColour(shot, kBird); };
    const auto birdY = [&](const Shot& shot) {
        const Blob seen = bird(shot);
        return seen.count > 1500 * scale * scale ? (seen.centreY - picture.top) / scale : 10000.0;
    };
    ASSERT_TRUE(awaitShot(compositor, 10, [&](const Shot& s) { return birdY(s) > 750; }))
        << "the bird never fell out of the picture";
    // Left alone, a new game's bird falls out again within about a second;
    // space every 450 ms keeps it in level flight, and in sight.
    std::vector<std::string> keys = {"-k", "r"};
    for (int i = 0; i < 6; ++i) {
        keys.insert(keys.end(), {"-s", "450", "-k", "space"});
    }
    compositor.type(keys);
    shot_ = compositor.shoot();
    EXPECT_LT(birdY(shot_), 750) << "r and space did not keep a new game's bird flying";
    EXPECT_NEAR(bird(shot_).centreX, picture.left + (300 + 25) * scale, 3)
        << "the bird's column is x = 300, scaled";
    compositor.closeWindow();
    EXPECT_EQ(describeExit(game_->awaitExit(5 * slowdown())), "exit 0");
}

// A player who tiles every window (sway's for_window rule) fills the screen
// with the game's tile; without one the game floats at its own size.
constexpr const char* kTiled =
    "default_border none\ndefault_floating_border none\nfor_window [title=\"Zephrin\"] floating "
    "disable\n";

INSTANTIATE_TEST_SUITE_P(
    Wayland, Desktops,
    ::testing::Values(Desktop{"SwayTiled1920x1080", Kind::kSway, {1920, 1080}, kTiled, 1080},
                      Desktop{"SwayTiled1366x768", Kind::kSway, {1366, 768}, kTiled, 768},
                      Desktop{"SwayFloatsIt1920x1080", Kind::kSway, {1920, 1080}, "", 800},
                      Desktop{"CageUpright", Kind::kCage, {720, 1280}, "", 720}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace e2e

// CTest counts a run whose every test was skipped, where no compositor
// could start, as skipped: status 77.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    const ::testing::UnitTest& tests = *::testing::UnitTest::GetInstance();
    const bool allSkipped =
        tests.test_to_run_count() > 0 && tests.skipped_test_count() == tests.test_to_run_count();
    return failed == 0 && allSkipped ? 77 : failed;
}
