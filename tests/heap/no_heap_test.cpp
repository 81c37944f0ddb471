// Once the panel is open the program allocates nothing: bring-up, ON, OFF, the self test and
// leaving work on the program-wide buffers alone. Every malloc and operator new is counted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "bus_link.h"
#include "instrument_messages.h"
#include "program_values.h"

extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);

namespace {
bool counting = false;
int allocations = 0;

void* counted(void* block) {
    if (counting) ++allocations;
    return block;
}
}  // namespace

extern "C" void* malloc(std::size_t size) { return counted(__libc_malloc(size)); }
extern "C" void* calloc(std::size_t n, std::size_t size) { return counted(__libc_calloc(n, size)); }
extern "C" void* realloc(void* block, std::size_t size) { return counted(__libc_realloc(block, size)); }
void* operator new(std::size_t size) {
    if (void* block = malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace {

void ignore_read_back(ReadBack, const char*, void*) {}

// Runs body with counting on and returns how many allocations it made.
template <typename Body>
int allocations_in(Body body) {
    allocations = 0;
    counting = true;
    body();
    counting = false;
    return allocations;
}

TEST(NoHeap, TheCounterSeesAnAllocation) {
    // volatile keeps the compiler from leaving out an allocation it can see is unused
    EXPECT_EQ(allocations_in([] {
                  void* volatile block = std::malloc(16);
                  std::free(block);
              }),
              1);
    EXPECT_EQ(allocations_in([] {
                  int* volatile number = new int(3);
                  delete number;
              }),
              1);
}

TEST(NoHeap, AWholeSessionAllocatesNothing) {
    int made = allocations_in([] {
        EXPECT_TRUE(bus_bring_up("4").ok);
        EXPECT_TRUE(output_on(Waveform::sin, "1000", "3", ignore_read_back, nullptr).ok);
        EXPECT_TRUE(output_off().ok);
        EXPECT_TRUE(output_on(Waveform::dc, "  1d3", "-0", ignore_read_back, nullptr).ok);
        EXPECT_EQ(self_test(), Verdict::ok);
        EXPECT_FALSE(output_on(Waveform::sin, "1e400", "3", ignore_read_back, nullptr).ok);
        bus_release();
    });
    EXPECT_EQ(made, 0);
}

}  // namespace
