// The allocation counter must see every way the game and SDL reach the heap,
// or a "0 allocations" figure would mean nothing.
#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "bench/alloc_count.h"

namespace {

void* volatile gKeep;  // stops the compiler from dropping an allocation

std::uint64_t allocationsBy(void (*work)()) {
    const std::uint64_t before = bench::allocationsSoFar();
    work();
    return bench::allocationsSoFar() - before;
}

TEST(AllocationCount, CountsTheCAllocator) {
    EXPECT_EQ(allocationsBy([] {
                  gKeep = std::malloc(24);
                  gKeep = std::realloc(gKeep, 4096);
                  std::free(gKeep);
                  gKeep = std::calloc(3, 8);
                  std::free(gKeep);
              }),
              3u);
    EXPECT_EQ(allocationsBy([] {
                  void* block = nullptr;
                  ASSERT_EQ(posix_memalign(&block, 64, 100), 0);
                  gKeep = block;
                  std::free(block);
                  gKeep = std::aligned_alloc(64, 128);
                  std::free(gKeep);
              }),
              2u);
}

TEST(AllocationCount, CountsOperatorNew) {
    EXPECT_EQ(allocationsBy([] {
                  auto block = std::make_unique<int[]>(100);
                  gKeep = block.get();
              }),
              1u);
    EXPECT_GE(allocationsBy([] {
                  const std::string text(200, 'x');
                  gKeep = const_cast<char*>(text.data());
              }),
              1u);
}

TEST(AllocationCount, CountsSdlsAllocations) {
    EXPECT_EQ(allocationsBy([] {
                  gKeep = SDL_malloc(32);
                  SDL_free(gKeep);
              }),
              1u);
    EXPECT_GE(allocationsBy([] {
                  SDL_Surface* surface =
                      SDL_CreateRGBSurfaceWithFormat(0, 16, 16, 32, SDL_PIXELFORMAT_ARGB8888);
                  gKeep = surface;
                  SDL_FreeSurface(surface);
              }),
              2u);  // the surface record and its pixels
}

TEST(AllocationCount, FreeingAndOtherThreadsDoNotCount) {
    gKeep = std::malloc(16);
    void* block = gKeep;
    const std::uint64_t before = bench::allocationsSoFar();
    std::free(block);
    EXPECT_EQ(bench::allocationsSoFar(), before);

    std::atomic<bool> go{false};
    std::uint64_t workerCount = 0;
    std::thread worker([&go, &workerCount] {
        while (!go) {
        }
        const std::uint64_t mine = bench::allocationsSoFar();
        gKeep = std::malloc(16);
        std::free(gKeep);
        workerCount = bench::allocationsSoFar() - mine;
    });
    const std::uint64_t afterStart = bench::allocationsSoFar();
    go = true;
    worker.join();
    EXPECT_EQ(workerCount, 1u);
    EXPECT_EQ(bench::allocationsSoFar(), afterStart) << "the worker's malloc was not ours";
}

}  // namespace
