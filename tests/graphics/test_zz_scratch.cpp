#include <cstdlib>
#include "GraphicsTestSupport.h"
namespace {
class Scratch : public FacadeTest {};
TEST_F(Scratch, Variant) {
    const char* v = getenv("VSRC");
    const char* f = getenv("FSRC");
    KuGraphicsShader shader;
    shader.setShaderSource(v ? v : KuShaderSource::SolidColorVertex, f ? f : KuShaderSource::FillColorFragment);
    KuGraphicsTexture* target = newTargetTexture(8, 8);
    auto* d = new KuGraphicsDrawable;
    d->initWithShader(shader, kKuMeshTriangleStrip);
    if (getenv("VERTS")) { auto w = d->beginVertices(4); for (unsigned i=0;i<4;i++) w.setVertex(i, (i&1)?8:0, (i&2)?8:0); d->end(w);} else d->writeUnitSquare(false);
    d->setShaderColor("color", KuColor{1,0,0,1});
    if (getenv("NOUPDATE")) { ASSERT_TRUE(drawFrameInto(target, KuColor{0,0,0,1}, [&] { d->setShaderMatrix("modelViewProj", *KuProjectTopMatrix()); d->draw(); })); }
    else if (getenv("NODRAW")) { ASSERT_TRUE(drawFrameInto(target, KuColor{0,0,0,1}, [&] { d->setShaderMatrix("modelViewProj", *KuProjectTopMatrix()); d->update(); })); }
    else ASSERT_TRUE(drawFrameInto(target, KuColor{0,0,0,1}, [&] { drawProjected(d); }));
    KuRelease(d); KuRelease(target);
}
}
