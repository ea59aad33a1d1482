#include "ColumnDistanceBlocks.h"

#include <algorithm>
#include <utility>

namespace Zelvo {

namespace {

using Index = Eigen::Index;

// The product that SquaredColumnDistances evaluates for a block, centred^T * centred.middleCols,
// called the way Eigen's own product calls it, with given blocking sizes.
using BlockProduct = Eigen::internal::general_matrix_matrix_product<Index, double, Eigen::RowMajor, false, double,
                                                                    Eigen::ColMajor, false, Eigen::ColMajor, 1>;
using ProductBlocking = Eigen::internal::gemm_blocking_space<Eigen::ColMajor, double, double, Eigen::Dynamic,
                                                             Eigen::Dynamic, Eigen::Dynamic>;

// Given blocking sizes and packing space (kc x mc and kc x nc values).
class FixedBlocking : public Eigen::internal::level3_blocking<double, double> {
public:
    FixedBlocking(Index mc, Index nc, Index kc, double* packedRows, double* packedColumns)
    {
        m_mc = mc;
        m_nc = nc;
        m_kc = kc;
        m_blockA = packedRows;
        m_blockB = packedColumns;
    }
};

// Rows per part where the whole product is one panel of rows: a multiple of the product's
// row step, so that every part starts a new group of rows just as the whole product does.
constexpr Index kPartRows = 4096;

}  // namespace

ColumnDistanceBlocks::ColumnDistanceBlocks(Eigen::MatrixXf data) : m_data(std::move(data))
{
    const Index n = m_data.cols();
    const Index d = m_data.rows();
    if (n == 0) return;
    m_full = m_plan(std::min<Index>(kBlockWidth, n));
    if (n > kBlockWidth && n % kBlockWidth) m_last = m_plan(n % kBlockWidth);
    for (const auto& [plan, width] : {std::make_pair(m_full, std::min<Index>(kBlockWidth, n)),
                                      std::make_pair(m_last, n % kBlockWidth)}) {
        const Index rows = plan.whole ? n : std::min(n, plan.rows);
        const size_t bytes = sizeof(double) * static_cast<size_t>((rows + d) * width + d * rows);
        m_partBytes = std::max(m_partBytes, bytes);
    }
}

ColumnDistanceBlocks::Plan ColumnDistanceBlocks::m_plan(Index width) const
{
    const Index n = m_data.cols();
    const Index d = m_data.rows();
    Plan plan;
    // A product of one column, or a small one, is no blocked product: made whole as it is.
    if (width <= 1 || n <= 1 || d + n + width < EIGEN_GEMM_TO_COEFFBASED_THRESHOLD) return plan;
    const ProductBlocking blocking(n, width, d, 1, true);
    const Index panelRows = std::min(n, blocking.mc());
    const Index step = Eigen::internal::gebp_traits<double, double>::mr;
    plan.whole = false;
    plan.rows = panelRows < n ? panelRows : std::max(step, kPartRows / step * step);
    plan.nc = blocking.nc();
    plan.kc = blocking.kc();
    return plan;
}

size_t ColumnDistanceBlocks::PassBytes() const
{
    return sizeof(double) * static_cast<size_t>(m_data.size() + m_data.cols());
}

bool ColumnDistanceBlocks::BeginPass(int workers)
{
    m_scratch.assign(static_cast<size_t>(std::max(workers, 1)), Scratch());
    // As SquaredColumnDistances: centred columns keep the Gram-matrix form accurate.
    m_centred = m_data.cast<double>().colwise() - m_data.cast<double>().rowwise().mean();
    m_norms = m_centred.colwise().squaredNorm().transpose();
    return true;
}

void ColumnDistanceBlocks::EndPass()
{
    m_centred.resize(0, 0);
    m_norms.resize(0);
    m_scratch.clear();
}

const ColumnDistanceBlocks::Plan& ColumnDistanceBlocks::m_planAt(int first) const
{
    const Index n = m_data.cols();
    return first + kBlockWidth <= n || first == 0 ? m_full : m_last;
}

int ColumnDistanceBlocks::PartCount(int first) const
{
    const Index n = m_data.cols();
    const Plan& plan = m_planAt(first);
    if (plan.whole) return 1;
    return static_cast<int>((n + plan.rows - 1) / plan.rows);
}

bool ColumnDistanceBlocks::FillPart(int first, int part, int worker, float* columns)
{
    const Index n = m_data.cols();
    const Index d = m_data.rows();
    const Index width = std::min<Index>(kBlockWidth, n - first);
    const Plan& plan = m_planAt(first);
    Index begin = 0, end = n;
    Scratch& scratch = m_scratch[static_cast<size_t>(worker)];
    Eigen::MatrixXd& products = scratch.products;
    if (plan.whole) {
        products.noalias() = m_centred.transpose() * m_centred.middleCols(first, width);
    } else {
        begin = part * plan.rows;
        end = std::min(n, begin + plan.rows);
        const Index rows = end - begin;
        const Index kc = std::min(plan.kc, d);
        if (scratch.packedRows.size() < kc * plan.rows) scratch.packedRows.resize(kc * plan.rows);
        if (scratch.packedColumns.size() < kc * plan.nc) scratch.packedColumns.resize(kc * plan.nc);
        FixedBlocking blocking(rows, plan.nc, plan.kc, scratch.packedRows.data(), scratch.packedColumns.data());
        products.setZero(rows, width);
        BlockProduct::run(rows, width, d, m_centred.data() + begin * d, d, m_centred.data() + first * d, d,
                          products.data(), 1, rows, 1.0, blocking);
    }
    for (Index c = 0; c < width; ++c) {
        const Index j = first + c;
        float* column = columns + c * n;
        for (Index i = begin; i < end; ++i)
            column[i] = static_cast<float>(std::max(m_norms[i] + m_norms[j] - 2.0 * products(i - begin, c), 0.0));
        if (j >= begin && j < end) column[j] = 0.0f;
    }
    return true;
}

}  // namespace Zelvo
