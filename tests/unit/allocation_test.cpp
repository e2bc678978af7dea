// The module allocates nothing: across a full load, describe and poll cycle,
// on every path, not one heap allocation happens. This program replaces
// malloc and friends (glibc lets a program do so) to count them; it cannot
// run under AddressSanitizer, which owns malloc itself.
#include <atomic>
#include <cstddef>

#include "module_fixture.h"

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *pointer, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *pointer);
}

namespace {
std::atomic<bool> g_counting{false};
std::atomic<int> g_allocations{0};

void Count() {
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void *malloc(size_t size) {
    Count();
    return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
    Count();
    return __libc_calloc(count, size);
}
void *realloc(void *pointer, size_t size) {
    Count();
    return __libc_realloc(pointer, size);
}
void *memalign(size_t alignment, size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
void *aligned_alloc(size_t alignment, size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void **pointer, size_t alignment, size_t size) {
    Count();
    *pointer = __libc_memalign(alignment, size);
    return *pointer == nullptr ? 12 /* ENOMEM */ : 0;
}
void free(void *pointer) { __libc_free(pointer); }
}

namespace {

// Load, count, describe and poll as a host does, then unload.
int AllocationsInAHostCycle() {
    Fake().calls.reserve(1 << 16);  // the fake's call log must not allocate either
    g_allocations = 0;
    g_counting = true;
    DllMain(nullptr, DIETHERM_PROCESS_ATTACH, nullptr);
    const int32_t sources = GetSourcesNum();
    for (int32_t index = 0; index < sources; ++index) {
        alignas(4) unsigned char record[256] = {};
        reinterpret_cast<SourceDesc *>(record)->version = SOURCE_DESC_VERSION_WITH_GROUP;
        GetSourceDesc(index, reinterpret_cast<SourceDesc *>(record));
        GetSourceDesc(index, nullptr);
    }
    for (int poll = 0; poll < 10; ++poll) {
        for (int32_t index = -1; index <= sources; ++index) GetSourceData(index);
    }
    DllMain(nullptr, 2, nullptr);
    DllMain(nullptr, 0, nullptr);
    g_counting = false;
    return g_allocations;
}

TEST(AllocationCounter, SeesAnAllocation) {
    g_allocations = 0;
    g_counting = true;
    void *volatile block = malloc(16);
    g_counting = false;
    free(block);
    EXPECT_EQ(g_allocations, 1);
}

TEST_F(ModuleTest, HostCycleAllocatesNothingWithTheSensor) {
    Fake().ScriptIntelWithSensor();
    Fake().SetMsrEverywhere(hw::kTjMaxSelect, {true, hw::kTjMax85Bit});
    Fake().SetMsr(hw::kThermStatus, 0, {true, ValidStatus(30)});
    Fake().SetMsr(hw::kThermStatus, 1, {true, 30});  // not valid
    Fake().SetMsr(hw::kThermStatus, 2, {false, 0});  // read fails
    EXPECT_EQ(AllocationsInAHostCycle(), 0);
    EXPECT_EQ(GetSourceData(0), 55.0f) << "the cycle really read";
}

TEST_F(ModuleTest, HostCycleAllocatesNothingWithoutTheSensor) {
    Fake().ScriptCpu("AuthenticAMD", 0x10, 0x1);
    EXPECT_EQ(AllocationsInAHostCycle(), 0);
}

TEST_F(ModuleTest, HostCycleAllocatesNothingWithoutCpuid) {
    Fake().cpuid_missing = true;
    EXPECT_EQ(AllocationsInAHostCycle(), 0);
}

}  // namespace
