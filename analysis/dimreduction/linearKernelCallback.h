#pragma once

#include "HDpoint.h"

// The kernel the embedding library asks for between two points: their dot product
// over every coordinate of a, summed in single precision (no mask).
struct linearKernelCallback {
    float kernel(const Zelvo::HDpoint<float>& a, const Zelvo::HDpoint<float>& b) const
    {
        float sum = 0.0f;
        for (size_t i = 0; i < a.size(); ++i) sum += a[i] * b[i];
        return sum;
    }
};
