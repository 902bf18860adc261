// Render nodes: the base of everything drawn (position, scale, rotation, colour, children), the
// global model-view matrix stack they draw with, and the node matrices. The base node draws
// nothing of its own; subclasses draw between preRender() and postRender().
#pragma once

#include <cstdint>

#include "KuArray.h"
#include "KuGraphics.h"
#include "KuObject.h"
#include "KuTypes.h"

// >>matrix stack
// The stack itself (matrixStack, matrixStackDepth, projectionMatrix) and the matrix type live in the
// graphics facade, whose projection helpers read them; these are the node matrices and the stack
// operations drawing uses.

KuMatrix KuMatrixTranslation(float x, float y);  // T(x, y)
KuMatrix KuMatrixScale(float sx, float sy);      // S(sx, sy)
KuMatrix KuMatrixRotation(float degrees);        // R(r), its sine from KuFastSin
// The engine's quick sine: a parabola through the half period, refined once.
float KuFastSin(float radians);

// Depth 0, entry 0 the identity; called at the start of every frame before the scene renders.
void KuMatrixStackReset();
// Raises the depth and copies the previous top into the new top. At the last entry the depth stays
// and the top is saved aside instead, so the matching pop restores it and deeper trees still draw
// every sibling with its parent's transform.
void KuMatrixPush();
void KuMatrixPop();                     // never below entry 0
void KuMatrixApply(const KuMatrix& m);  // top = top x m
const KuMatrix& KuMatrixTop();
int KuMatrixStackOverflowDepth();  // pushes currently saved aside past the last entry

// >>render node

class KuRenderNode : public KuObject {
public:
    KuPoint _position{0, 0};
    float _xScale = 1, _yScale = 1;
    float _rotation = 0;  // degrees
    KuColor _color{1, 1, 1, 1};
    bool _hidden = false;
    bool _flipHorizontally = false, _flipVertically = false;
    KuList<KuRenderNode*>* renders = nullptr;  // owned, created on first add; retains its children
    KuRenderNode* _parent = nullptr;           // weak
    KuGraphicsDrawable* drawable = nullptr;    // owned (one reference)
    KuObject* referenceObject = nullptr;       // weak; for the owner's use
    int32_t sortKey = 0;                       // ordering key for owners; the engine does not read it

    // Owned (count 1). typeWord keeps the render-node flag; subclasses pass their kind code.
    explicit KuRenderNode(int32_t typeWord = kKuTypeRenderNodeFlag);
    ~KuRenderNode() override;
    const char* typeStr() const override { return "KuRenderNode"; }

    static KuRenderNode* renderNode();  // autoreleased

    virtual void reloadTexture() {}
    virtual void unloadTexture() {}
    virtual void update(float) {}
    virtual void render();
    virtual void renderAt(KuPoint p);       // p replaces the position; scale and rotation always applied
    virtual void renderPass(int pass);      // translation only; children only in pass 2
    virtual void renderChildren();          // children with no transform of its own
    virtual void preRender();               // push and apply the node's transform
    virtual void postRender();              // children, then pop
    virtual void postRenderNoRenderList();  // pop only
    virtual void parent(KuRenderNode* p) { _parent = p; }
    virtual void position(KuPoint p) { _position = p; }
    virtual void rotation(float r) { _rotation = r; }
    virtual void scale(float s) { _xScale = _yScale = s; }
    virtual void scale(float x, float y) {
        _xScale = x;
        _yScale = y;
    }
    virtual void scale(KuPoint p) { scale(p.x, p.y); }
    virtual void color(KuColor c) { _color = c; }  // children keep their colour
    virtual void hidden(bool h) { _hidden = h; }
    virtual void center(bool) {}
    virtual void center(bool, bool) {}
    virtual void alpha(float a);  // this node's and, through their own alpha(), every descendant's
    virtual void colorAllRenders(KuColor c);  // this node and its direct children only
    virtual void shaderProgram(KuShader*) {}
    virtual KuRenderNode* parent() { return _parent; }
    virtual KuPoint position() { return _position; }
    virtual KuPoint absolutePosition();  // position plus the parents' absolute position
    virtual float rotation() { return _rotation; }
    virtual float scale() { return _xScale; }
    virtual float xScale() { return _xScale; }
    virtual float yScale() { return _yScale; }
    virtual float alpha() { return _color.alpha; }
    virtual KuColor color() { return _color; }
    virtual bool hidden() { return _hidden; }
    virtual bool centered() { return false; }
    virtual void filterLinear(bool) {}
    virtual void align(int) {}
    virtual bool flipVertically() { return _flipVertically; }
    virtual bool flipHorizontally() { return _flipHorizontally; }
    virtual void flipVertically(bool f);    // also every child's
    virtual void flipHorizontally(bool f);  // also every child's
    // Bounds of the children in this node's space, always holding (0, 0); (0, 0)-(0, 0) without
    // children.
    virtual KuRect imageRect();
    virtual KuPoint imageSize() { return KuPoint{0, 0}; }
    virtual KuPoint sourceSize() { return KuPoint{0, 0}; }

    // Appends node at the tail of the children and retains it; returns node (null for null). An
    // object without the render-node flag is not added (warning) and comes back unchanged.
    template <typename T>
    T addRender(T node) {
        if (!node) return node;
        addRenderObject(node);
        return node;
    }
    // Removes each child's motors from the event manager, then releases every child.
    void removeAllRenders();
    void removeMotors();  // every motor of the event manager that animates this node
    int renderCount() const { return renders ? renders->count() : 0; }

private:
    bool addRenderObject(KuObject* object);
};

void KuUpdateDispatch(KuRenderNode* node, float dt);  // node->update(dt); null ignored
void KuRenderDispatch(KuRenderNode* node);            // node->render(); null ignored
