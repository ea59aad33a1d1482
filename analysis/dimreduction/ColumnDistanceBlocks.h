#pragma once

#include "SquaredDistanceBlocks.h"

#include <Eigen/Core>

#include <vector>

namespace Zelvo {

// The squared Euclidean distances between the columns of a d x n data matrix (a PCA run's
// distance matrix), a block of columns at a time, with exactly the values that
// tapkee::SquaredColumnDistances gives for the whole matrix: the same centred Gram-matrix
// form, and the same matrix products, which are split into parts of rows only where the
// product itself moves from one panel of rows to the next, so that every value is summed
// as in the whole product.
class ColumnDistanceBlocks : public SquaredDistanceBlocks {
public:
    explicit ColumnDistanceBlocks(Eigen::MatrixXf data);

    int PointCount() const override { return static_cast<int>(m_data.cols()); }
    int BlockWidth() const override { return kBlockWidth; }
    size_t PassBytes() const override;
    size_t PartBytes() const override { return m_partBytes; }
    bool BeginPass(int workers) override;
    void EndPass() override;
    int PartCount(int first) const override;
    bool FillPart(int first, int part, int worker, float* columns) override;

    // The columns per block of SquaredColumnDistances.
    static constexpr int kBlockWidth = 256;

private:
    // How the product of one block of columns is split into parts of rows.
    struct Plan {
        bool whole = true;    // one part: a product of another kind than the blocked one
        Eigen::Index rows = 0;  // rows per part
        Eigen::Index nc = 0, kc = 0;  // the blocked product's own column and depth blocking
    };
    Plan m_plan(Eigen::Index width) const;
    // The plan of the block that starts at column first.
    const Plan& m_planAt(int first) const;

    Eigen::MatrixXf m_data;
    Plan m_full;  // blocks of kBlockWidth columns
    Plan m_last;  // the narrower last block, when there is one
    size_t m_partBytes = 0;
    // During a pass: the centred data, its column norms, and per thread the products of one
    // part and the product's packing space, reused from part to part.
    struct Scratch {
        Eigen::MatrixXd products;
        Eigen::VectorXd packedRows, packedColumns;
    };
    Eigen::MatrixXd m_centred;
    Eigen::VectorXd m_norms;
    std::vector<Scratch> m_scratch;
};

}  // namespace Zelvo
