// Render nodes and the model-view matrix stack.
//
// Sections: >>matrices  >>matrix stack  >>node  >>drawing
#include "KuRenderNode.h"

#include <cmath>
#include <vector>

#include "KuBaseScene.h"
#include "KuEventManager.h"
#include "KuGraphics.h"
#include "KuLog.h"

// >>matrices

KuMatrix KuMatrixTranslation(float x, float y) {
    KuMatrix m = KuMatrixIdentity();
    m.m[12] = x;
    m.m[13] = y;
    return m;
}

KuMatrix KuMatrixScale(float sx, float sy) {
    KuMatrix m = KuMatrixIdentity();
    m.m[0] = sx;
    m.m[5] = sy;
    return m;
}

float KuFastSin(float radians) {
    const float pi = 3.1415927f;
    const float inversePi = 1.0f / pi;
    float t = radians * inversePi;
    float k = std::round(t);  // halves away from zero
    float x = t - k;
    float y = (4.0f - 4.0f * std::fabs(x)) * x;
    float s = (y * std::fabs(y) - y) * 0.225f + y;
    if (static_cast<long long>(k) & 1) s = -s;
    return s;
}

KuMatrix KuMatrixRotation(float degrees) {
    const float pi = 3.1415927f;
    float theta = degrees * (-pi / 180.0f);
    float c = std::cos(theta);
    float s = KuFastSin(theta);
    KuMatrix m{};
    m.m[0] = c;
    m.m[1] = s;
    m.m[4] = -s;
    m.m[5] = c;
    m.m[10] = 1;
    m.m[15] = 1;
    return m;
}

// >>matrix stack

namespace {
// Tops saved by pushes past the last entry, restored by their pops.
std::vector<KuMatrix>& overflowTops() {
    static std::vector<KuMatrix> tops;
    return tops;
}
}  // namespace

void KuMatrixStackReset() {
    matrixStackDepth = 0;
    matrixStack[0] = KuMatrixIdentity();
    overflowTops().clear();
}

void KuMatrixPush() {
    if (matrixStackDepth < 0 || matrixStackDepth >= kKuMatrixStackSize) matrixStackDepth = 0;
    if (matrixStackDepth == kKuMatrixStackSize - 1) {
        overflowTops().push_back(matrixStack[matrixStackDepth]);
        return;
    }
    matrixStack[matrixStackDepth + 1] = matrixStack[matrixStackDepth];
    matrixStackDepth++;
}

void KuMatrixPop() {
    if (!overflowTops().empty()) {
        matrixStack[kKuMatrixStackSize - 1] = overflowTops().back();
        overflowTops().pop_back();
        return;
    }
    if (matrixStackDepth > 0) matrixStackDepth--;
}

void KuMatrixApply(const KuMatrix& m) {
    Matrix3DMultiply(matrixStack[matrixStackDepth], m, matrixStack[matrixStackDepth]);
}

const KuMatrix& KuMatrixTop() {
    return matrixStack[matrixStackDepth];
}

int KuMatrixStackOverflowDepth() {
    return static_cast<int>(overflowTops().size());
}

namespace {

void applyTranslation(KuPoint p) {
    KuMatrixApply(KuMatrixTranslation(p.x, p.y));
}

void applyScale(float sx, float sy) {
    KuMatrixApply(KuMatrixScale(sx, sy));
}

void applyRotation(float degrees) {
    KuMatrixApply(KuMatrixRotation(degrees));
}

// Calls f on every child in list order. The next link is read before the call, so a child that
// takes itself out of the list while drawing does not cut the walk.
template <typename F>
void eachChild(KuList<KuRenderNode*>* renders, F f) {
    if (!renders) return;
    KuListIterator<KuRenderNode*> it = renders->begin();
    while (it) {
        KuListIterator<KuRenderNode*> next = it->next;
        if (next) {
            // The child's drawing hides the misses of the next child and of the link after it.
            __builtin_prefetch(next->next);
            __builtin_prefetch(next->object);
        }
        f(it->object);
        it = next;
    }
}

}  // namespace

// >>node

KuRenderNode::KuRenderNode(int32_t typeWord) : KuObject(typeWord | kKuTypeRenderNodeFlag) {}

KuRenderNode::~KuRenderNode() {
    removeAllRenders();
    KuRelease(renders);
    renders = nullptr;
    KuRelease(drawable);
    drawable = nullptr;
}

KuRenderNode* KuRenderNode::renderNode() {
    return KuAutorelease(new KuRenderNode);
}

bool KuRenderNode::addRenderObject(KuObject* object) {
    if (!(object->typeCode & kKuTypeRenderNodeFlag)) {
        KuWarning("Non-KuRenderObject %s added to KurenderNode.", object->typeStr());
        return false;
    }
    if (!renders) renders = new KuList<KuRenderNode*>;
    renders->addObject(static_cast<KuRenderNode*>(object));
    return true;
}

void KuRenderNode::removeAllRenders() {
    if (!renders) return;
    if (eventManager)
        eachChild(renders, [](KuRenderNode* child) { eventManager->removeAllMotorsUsingObject(child); });
    renders->removeAllObjects();
}

void KuRenderNode::removeMotors() {
    if (eventManager) eventManager->removeAllMotorsUsingObject(this);
}

KuPoint KuRenderNode::absolutePosition() {
    KuPoint p = position();
    if (_parent) {
        KuPoint q = _parent->absolutePosition();
        p.x += q.x;
        p.y += q.y;
    }
    return p;
}

void KuRenderNode::alpha(float a) {
    _color.alpha = a;
    eachChild(renders, [a](KuRenderNode* child) { child->alpha(a); });
}

void KuRenderNode::colorAllRenders(KuColor c) {
    _color = c;
    eachChild(renders, [c](KuRenderNode* child) { child->color(c); });
}

void KuRenderNode::flipVertically(bool f) {
    _flipVertically = f;
    eachChild(renders, [f](KuRenderNode* child) { child->flipVertically(f); });
}

void KuRenderNode::flipHorizontally(bool f) {
    _flipHorizontally = f;
    eachChild(renders, [f](KuRenderNode* child) { child->flipHorizontally(f); });
}

KuRect KuRenderNode::imageRect() {
    KuRect bounds{{0, 0}, {0, 0}};
    eachChild(renders, [&bounds](KuRenderNode* child) {
        KuRect r = child->imageRect();
        KuPoint p = child->position();
        bounds.first.x = std::fmin(bounds.first.x, r.first.x + p.x);
        bounds.first.y = std::fmin(bounds.first.y, r.first.y + p.y);
        bounds.second.x = std::fmax(bounds.second.x, r.second.x + p.x);
        bounds.second.y = std::fmax(bounds.second.y, r.second.y + p.y);
    });
    return bounds;
}

// >>drawing

void KuRenderNode::render() {
    if (_hidden) return;
    bool isScene = this == static_cast<KuRenderNode*>(currentScene);
    if (!isScene) {
        KuMatrixPush();
        applyTranslation(_position);
        if (_xScale != 1 || _yScale != 1) applyScale(_xScale, _yScale);
        if (_rotation != 0) applyRotation(_rotation);
    }
    eachChild(renders, [](KuRenderNode* child) { KuRenderDispatch(child); });
    if (isScene) {
        if (eventManager) eventManager->render();
        return;
    }
    KuMatrixPop();
}

void KuRenderNode::renderAt(KuPoint p) {
    if (_hidden) return;
    KuMatrixPush();
    applyTranslation(p);
    applyScale(_xScale, _yScale);
    applyRotation(_rotation);
    eachChild(renders, [](KuRenderNode* child) { child->render(); });
    KuMatrixPop();
}

void KuRenderNode::renderPass(int pass) {
    if (_hidden) return;
    bool isScene = this == static_cast<KuRenderNode*>(currentScene);
    if (!isScene) {
        KuMatrixPush();
        applyTranslation(_position);
    }
    if (pass == 2) eachChild(renders, [](KuRenderNode* child) { child->render(); });
    if (isScene) {
        if (eventManager) eventManager->renderPass(pass);
        return;
    }
    KuMatrixPop();
}

void KuRenderNode::renderChildren() {
    if (_hidden) return;
    eachChild(renders, [](KuRenderNode* child) { child->render(); });
}

void KuRenderNode::preRender() {
    KuMatrixPush();
    applyTranslation(_position);
    if (_xScale != 1 || _yScale != 1) applyScale(_xScale, _yScale);
    if (_rotation != 0) applyRotation(_rotation);
}

void KuRenderNode::postRender() {
    eachChild(renders, [](KuRenderNode* child) { child->render(); });
    KuMatrixPop();
}

void KuRenderNode::postRenderNoRenderList() {
    KuMatrixPop();
}

void KuUpdateDispatch(KuRenderNode* node, float dt) {
    if (node) node->update(dt);
}

void KuRenderDispatch(KuRenderNode* node) {
    if (node) node->render();
}
