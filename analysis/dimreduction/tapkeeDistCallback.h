#pragma once

#include "HDpoint.h"
#include "distanceFunctor.h"

// The distance the embedding library asks for between two points: the engine's
// distance functor (its type over its mask). Holds its own copy of the functor.
struct tapkeeDistCallback {
    explicit tapkeeDistCallback(const Zelvo::distanceFunctor& distanceFunction) : functor(distanceFunction) {}
    float distance(const Zelvo::HDpoint<float>& a, const Zelvo::HDpoint<float>& b) { return functor(a, b); }

    Zelvo::distanceFunctor functor;
};
