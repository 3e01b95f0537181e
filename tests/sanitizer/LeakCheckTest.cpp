// LeakCheckTest: the leak checker as the sanitized tests run it. It must
// survive a dynamic TLS block placed where its runtime expects glibc 2.19's
// block header (tests/sanitizer/SanitizerDefaults.cpp says why that killed
// it), and it must still report a block that nothing points to.
#include <dlfcn.h>
#include <sanitizer/lsan_interface.h>

#include <cstdint>
#include <cstdlib>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

using SlotFunction = char** (*)();

// The runtime takes a block 16 bytes past a page boundary to follow a
// 16-byte {size, start} header.
constexpr uintptr_t kPageSize = 4096;
constexpr uintptr_t kMisreadOffset = 16;
constexpr int kMaxBlocksPerThread = 4096; // past a whole page of 8-byte blocks
constexpr int kMaxThreads = 64;

SlotFunction OpenDynamicTlsModule() {
    void* module = dlopen(VESPERON_DYNAMIC_TLS_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return nullptr;
    return reinterpret_cast<SlotFunction>(dlsym(module, "DynamicTlsSlot"));
}

// A thread whose dynamic TLS block of the module is allocated on start and
// which lives until the object goes. Before its first access it takes blocks
// of the same size until the allocator's stride says the next one starts at
// the misread offset, so the TLS block most likely lands there.
class TlsThread {
public:
    explicit TlsThread(SlotFunction slot) {
        std::future<void> release = mRelease.get_future();
        mThread = std::thread([this, slot, release = std::move(release)]() {
            mBlock.set_value(reinterpret_cast<uintptr_t>(PlaceAndTouch(slot)));
            release.wait();
        });
        mAddress = mBlock.get_future().get();
    }
    ~TlsThread() {
        mRelease.set_value();
        mThread.join();
    }
    bool AtMisreadOffset() const { return mAddress % kPageSize == kMisreadOffset; }

private:
    static char** PlaceAndTouch(SlotFunction slot) {
        std::vector<void*> taken;
        uintptr_t last = 0;
        for (int i = 0; i < kMaxBlocksPerThread; ++i) {
            void* block = malloc(sizeof(char*));
            taken.push_back(block);
            const uintptr_t at = reinterpret_cast<uintptr_t>(block);
            const uintptr_t stride = last ? at - last : 0;
            last = at;
            if (stride != 0 && (at + stride) % kPageSize == kMisreadOffset)
                break;
        }
        char** tls = slot();
        for (void* block : taken)
            free(block);
        return tls;
    }

    std::promise<uintptr_t> mBlock;
    std::promise<void> mRelease;
    std::thread mThread;
    uintptr_t mAddress = 0;
};

// A live thread whose module TLS block sits at the misread offset, or null.
std::unique_ptr<TlsThread> StartMisplacedTlsThread(SlotFunction slot) {
    for (int i = 0; i < kMaxThreads; ++i) {
        auto thread = std::make_unique<TlsThread>(slot);
        if (thread->AtMisreadOffset())
            return thread;
    }
    return nullptr;
}

// 77 bytes whose only pointer dies with the thread that took them.
void PlantLeak() {
    std::thread([] {
        void* volatile block = malloc(77);
        (void)block;
    }).join();
}

bool DidNotExitCleanly(int status) {
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(LeakCheckTest, SurvivesADynamicTlsBlockWhereTheRuntimeExpectsAnOldHeader) {
    SlotFunction slot = OpenDynamicTlsModule();
    ASSERT_NE(slot, nullptr) << dlerror();
    std::unique_ptr<TlsThread> misplaced = StartMisplacedTlsThread(slot);
    ASSERT_NE(misplaced, nullptr) << "no TLS block could be placed 16 bytes past a page boundary";
    EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "a clean process has no leak to report";
}

TEST(LeakCheckTest, StillReportsABlockNothingPointsTo) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            SlotFunction slot = OpenDynamicTlsModule();
            std::unique_ptr<TlsThread> misplaced = slot ? StartMisplacedTlsThread(slot) : nullptr;
            if (!misplaced)
                std::_Exit(0); // reported as a failure: the scene was not set
            PlantLeak();
            __lsan_do_leak_check();
            std::_Exit(0);
        },
        DidNotExitCleanly, "LeakSanitizer: detected memory leaks(.|\n)*77 byte");
}

} // namespace
