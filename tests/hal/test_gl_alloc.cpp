// Recording a frame allocates nothing once the buffers have grown to the frame's size. Counts every
// allocation of the process while recording (the sanitizer's hook, or a replaced operator new).
#include <atomic>
#include <cstdlib>
#include <new>

#include "HalTestSupport.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void countAllocation() {
    if (counting.load(std::memory_order_relaxed)) allocations++;
}
}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// Under the address sanitizer its allocator reports every allocation (malloc and operator new).
// Part of the sanitizer runtime's interface (the header is not installed with every compiler).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                                         void (*onFree)(const volatile void*));

namespace {
void onMalloc(const volatile void*, size_t) {
    countAllocation();
}
void onFree(const volatile void*) {}
void startCounting() {
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
    (void)installed;
}
}  // namespace
#else
namespace {
void* allocate(std::size_t size) {
    countAllocation();
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void startCounting() {}
}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
#endif

namespace {

class AllocationTest : public GLTest {};

TEST_F(AllocationTest, SteadyStateRecordingAllocatesNothing) {
    TextureTarget tt(device, 32, 32);
    RvTexture* texture = RvNewTexture(device, kRvAccessDynamic);
    {
        RvResourceLock lock(texture, kRvLockWrite);
        RvTextureSetSolidColor(texture, KuColor{1, 1, 1, 1});
    }
    RvShader* shader = newTexturedShader(device, kRvBlendAlpha);
    const int quads = 200;
    std::vector<RvMesh*> meshes;
    std::vector<RvMeshInstance*> instances;
    for (int i = 0; i < quads; i++) {
        float x = static_cast<float>(i % 32), y = static_cast<float>(i / 32);
        meshes.push_back(newQuadMesh(device, shader, x, y, x + 1, y + 1));
        instances.push_back(newInstance(meshes.back(), KuColor{1, 0.5f, 0.25f, 1}));
        RvShaderInstanceSetValue(RvMeshInstanceGetShaderInstance(instances.back()), "colorMap", texture);
    }
    int records = 0;
    auto record = [&] {
        ASSERT_TRUE(RvRendererBeginFrame(renderer, tt.target));
        RvRendererBeginPass(renderer, tt.target, kRvClearColor, KuColor{0, 0, 0, 1}, 0, 1);
        RvRendererSetCamera(renderer, tt.target);
        for (RvMeshInstance* instance : instances) {
            RvRenderInstanceUpdate(instance, renderer);
            RvRenderInstanceDraw(instance, renderer);
        }
        RvRendererEndPass(renderer);
        records = RvRendererGetRecordingBuffer(renderer)->recordCount();
        RvRendererEndFrame(renderer);
    };
    for (int warmUp = 0; warmUp < 3; warmUp++) {
        record();
        ASSERT_TRUE(RvRendererRenderFrame(renderer));
    }
    startCounting();
    allocations = 0;
    counting = true;
    record();
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_GT(records, quads) << "the counted frame holds every draw";
    ASSERT_TRUE(RvRendererRenderFrame(renderer));
    EXPECT_EQ(pixelAt(renderer, tt.texture, 3, 2), rgba(255, 128, 64, 255));
    EXPECT_EQ(pixelAt(renderer, tt.texture, 20, 20), rgba(0, 0, 0, 255));
    for (RvMeshInstance* instance : instances)
        KuRelease(instance);
    for (RvMesh* mesh : meshes)
        KuRelease(mesh);
    KuRelease(shader);
    KuRelease(texture);
}

}  // namespace
