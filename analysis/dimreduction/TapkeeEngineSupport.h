#pragma once

#include "EmbeddingLibrary.h"
#include "HDpoint.h"
#include "HDpointSet.h"
#include "SquaredDistanceBlocks.h"
#include "distanceFunctor.h"

#include <Eigen/Core>

#include <memory>
#include <vector>

namespace Zelvo {

// The steps the callback engines (MDS, Isomap, Laplacian eigenmaps, kernel LLE) share:
// checking the point set, building the raw points, running the library and accepting
// its embedding. Every failure prints one "Error ..." line (or the library's own line)
// and returns false.
class TapkeeEngineSupport {
public:
    // Runs the library on the raw values of every dimension of the set; the selection
    // reaches the run only through the functor's mask. The kernel is handed over only
    // when withKernel is set. A run whose peak memory would not fit the memory the process
    // may use is refused before anything is made (MemoryBudget::Fits); what a run can size only
    // on the way (kernel LLE's M, the sparse factors) is checked the same way before it is made.
    // On success the output's embedding is n x targetDim and finite, and the "Output->" line has
    // been printed.
    static bool RunOnRawPoints(HDpointSet<float>* set, const distanceFunctor& functor, const char* engineName,
                               const tapkee::ParameterSet& parameters, bool withKernel, int targetDim,
                               tapkee::TapkeeOutput& output);

    // The squared functor distances between the set's raw points as they are now (a copy is
    // kept), made a block at a time when a measure asks: for a run whose library output left
    // them out.
    static std::unique_ptr<SquaredDistanceBlocks> DistanceBlocks(HDpointSet<float>* set,
                                                                 const distanceFunctor& functor);

    // False with an "Error ..." line when the embedding is empty (the library has already
    // said why, so nothing more is printed then), has the wrong shape or is not finite.
    static bool AcceptEmbedding(const Eigen::MatrixXf& embedding, int n, int targetDim, const char* engineName);

    // Turns the n x t embedding into t x n, so that its buffer holds x0, y0, x1, y1, ...
    static void ToPointMajor(Eigen::MatrixXf& embedding);

    static void ReportMemoryExhausted(const char* engineName);
    static void ReportRange(const char* label, float minX, float maxX, float minY, float maxY);

private:
    // Checks the set and the functor; n receives the point count.
    static bool m_prepareSet(HDpointSet<float>* set, const distanceFunctor& functor, const char* engineName,
                             int& n);
    // Regenerates the packed buffer, which the results' scaling reads later.
    static bool m_packSet(HDpointSet<float>* set, const char* engineName);
    static std::vector<HDpoint<float>> m_rawPoints(HDpointSet<float>* set, int n);
};

}  // namespace Zelvo
