// The benchmarks' headless graphics: a hidden window on SDL's offscreen (or any) driver with the
// shared graphics object and the texture program, made once per process.
#pragma once

#include <SDL.h>

#include "KuGraphics.h"

inline bool headlessGraphicsUp() {
    static int state = 0;  // 0 not tried, 1 up, -1 unavailable
    if (state) return state > 0;
    state = -1;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
    KuGraphics::PrepareWindowAttributes();
    SDL_Window* window = SDL_CreateWindow("bench", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, 64, 64,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window || !KuGraphics::Initialize("opengl", 0, window, kKuGraphicsSynchronousSurface)) return false;
    textureShaderProgram = new KuShader(1);
    state = 1;
    return true;
}
