#include "TreeCluster.h"

#include "Log.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

namespace {

// Calls visit(x, y, w) for every position where both masks take part.
template <class Visit>
inline void forEachPresent(int n, double** data1, double** data2, int** mask1, int** mask2,
                           double* weight, int index1, int index2, int transpose, Visit visit)
{
    if (transpose == 0) {
        const double* x = data1[index1];
        const double* y = data2[index2];
        const int* m1 = mask1[index1];
        const int* m2 = mask2[index2];
        for (int i = 0; i < n; i++)
            if (m1[i] && m2[i]) visit(x[i], y[i], weight[i]);
    } else {
        for (int i = 0; i < n; i++)
            if (mask1[i][index1] && mask2[i][index2])
                visit(data1[i][index1], data2[i][index2], weight[i]);
    }
}

// Like forEachPresent, without touching the weights (the rank metrics ignore them and may be
// given none).
template <class Visit>
inline void forEachPresentPair(int n, double** data1, double** data2, int** mask1, int** mask2,
                               int index1, int index2, int transpose, Visit visit)
{
    for (int i = 0; i < n; i++) {
        if (transpose == 0) {
            if (mask1[index1][i] && mask2[index2][i]) visit(data1[index1][i], data2[index2][i]);
        } else {
            if (mask1[i][index1] && mask2[i][index2]) visit(data1[i][index1], data2[i][index2]);
        }
    }
}

double pearson(int n, double** data1, double** data2, int** mask1, int** mask2, double* weight,
               int index1, int index2, int transpose, bool absolute)
{
    double sw = 0.0, sx = 0.0, sy = 0.0, sxx = 0.0, syy = 0.0, sxy = 0.0;
    forEachPresent(n, data1, data2, mask1, mask2, weight, index1, index2, transpose,
                   [&](double x, double y, double w) {
                       sw += w;
                       sx += w * x;
                       sy += w * y;
                       sxx += w * x * x;
                       syy += w * y * y;
                       sxy += w * x * y;
                   });
    if (sw == 0.0) return 0.0;
    const double varx = sxx - sx * sx / sw;
    if (varx <= 0.0) return 1.0;
    const double vary = syy - sy * sy / sw;
    if (vary <= 0.0) return 1.0;
    const double r = (sxy - sx * sy / sw) / std::sqrt(varx * vary);
    return 1.0 - (absolute ? std::fabs(r) : r);
}

double uncentred(int n, double** data1, double** data2, int** mask1, int** mask2, double* weight,
                 int index1, int index2, int transpose, bool absolute)
{
    double sxx = 0.0, syy = 0.0, sxy = 0.0;
    bool any = false;
    forEachPresent(n, data1, data2, mask1, mask2, weight, index1, index2, transpose,
                   [&](double x, double y, double w) {
                       sxx += w * x * x;
                       syy += w * y * y;
                       sxy += w * x * y;
                       any = true;
                   });
    if (!any) return 0.0;
    if (sxx == 0.0 || syy == 0.0) return 1.0;
    const double r = sxy / std::sqrt(sxx * syy);
    return 1.0 - (absolute ? std::fabs(r) : r);
}

// Runs body with the metric as a compile-time constant so the hot loops inline it.
template <Metric F>
struct MetricOf {
    static double call(int n, double** data, int** mask, double* weight, int i, int j, int transpose)
    {
        return F(n, data, data, mask, mask, weight, i, j, transpose);
    }
};

template <class Body>
void withMetric(char dist, Body body)
{
    switch (dist) {
    case 'b': body(MetricOf<&cityblock>()); break;
    case 'c': body(MetricOf<&correlation>()); break;
    case 'a': body(MetricOf<&acorrelation>()); break;
    case 'u': body(MetricOf<&ucorrelation>()); break;
    case 'x': body(MetricOf<&uacorrelation>()); break;
    case 's': body(MetricOf<&spearman>()); break;
    case 'k': body(MetricOf<&kendall>()); break;
    default: body(MetricOf<&euclid>()); break;
    }
}

// The distance matrix the merging methods work on when the caller gives none: one block
// for the whole triangle, with the usual ragged row pointers into it.
double** makeTriangle(int n)
{
    double** matrix = static_cast<double**>(std::malloc(n * sizeof(double*)));
    if (!matrix) return nullptr;
    const size_t cells = static_cast<size_t>(n) * static_cast<size_t>(n - 1) / 2;
    double* block = static_cast<double*>(std::malloc(cells * sizeof(double)));
    if (!block) {
        std::free(matrix);
        return nullptr;
    }
    matrix[0] = nullptr;
    size_t offset = 0;
    for (int i = 1; i < n; i++) {
        matrix[i] = block + offset;
        offset += static_cast<size_t>(i);
    }
    return matrix;
}

void freeTriangle(double** matrix)
{
    std::free(matrix[1]);
    std::free(matrix);
}

void fillDistances(double** matrix, int nelements, int ndata, double** data, int** mask,
                   double* weight, char dist, int transpose)
{
    withMetric(dist, [&](auto metric) {
        using M = decltype(metric);
        for (int i = 1; i < nelements; i++) {
            double* row = matrix[i];
            for (int j = 0; j < i; j++) row[j] = M::call(ndata, data, mask, weight, i, j, transpose);
        }
    });
}

void freedatamask(int nrows, double** data, int** mask)
{
    for (int i = 0; i < nrows; i++) {
        std::free(data[i]);
        std::free(mask[i]);
    }
    std::free(data);
    std::free(mask);
}

// First strict minimum of every matrix row (row i >= 1 spans columns 0..i-1). Scanning the
// rows in order and keeping the first row with the smallest minimum gives the same pair as a
// scan of the whole triangle in row order, so only rows touched by a merge need a rescan.
class RowMinima {
public:
    explicit RowMinima(int n)
        : m_value(static_cast<double*>(std::malloc(n * sizeof(double)))),
          m_column(static_cast<int*>(std::malloc(n * sizeof(int))))
    {
    }
    ~RowMinima()
    {
        std::free(m_value);
        std::free(m_column);
    }
    RowMinima(const RowMinima&) = delete;
    RowMinima& operator=(const RowMinima&) = delete;

    bool valid() const { return m_value && m_column; }

    void scan(double** matrix, int i)
    {
        const double* row = matrix[i];
        double best = row[0];
        int column = 0;
        for (int j = 1; j < i; j++) {
            if (row[j] < best) {
                best = row[j];
                column = j;
            }
        }
        m_value[i] = best;
        m_column[i] = column;
    }

    // Entry (i, j) of the matrix has a new value; every other entry of row i is as cached.
    void changed(double** matrix, int i, int j)
    {
        const double value = matrix[i][j];
        if (j == m_column[i]) {
            if (value <= m_value[i])
                m_value[i] = value;
            else
                scan(matrix, i);
        } else if (value < m_value[i] || (value == m_value[i] && j < m_column[i])) {
            m_value[i] = value;
            m_column[i] = j;
        }
    }

    // The first closest pair (is > js) among the n active elements.
    double closest(int n, int* is, int* js) const
    {
        int row = 1;
        double best = m_value[1];
        for (int i = 2; i < n; i++) {
            if (m_value[i] < best) {
                best = m_value[i];
                row = i;
            }
        }
        *is = row;
        *js = m_column[row];
        return best;
    }

private:
    double* m_value;
    int* m_column;
};

// Maximum ('m'), average ('a') and centroid ('c') linkage. The matrix is overwritten.
// For 'c', cdata/cmask hold each element's own copy, merged in place and freed as merged.
TreeClusterNode* agglomerate(int nelements, double** matrix, char method, int ndata,
                             double** cdata, int** cmask, double* weight, char dist)
{
    TreeClusterNode* result =
        static_cast<TreeClusterNode*>(std::malloc((nelements - 1) * sizeof(TreeClusterNode)));
    int* clusterid = static_cast<int*>(std::malloc(nelements * sizeof(int)));
    int* number = static_cast<int*>(std::malloc(nelements * sizeof(int)));
    RowMinima minima(nelements);
    if (!result || !clusterid || !number || !minima.valid()) {
        std::free(result);
        std::free(clusterid);
        std::free(number);
        return nullptr;
    }
    const Metric metric = setmetric(dist);

    for (int j = 0; j < nelements; j++) {
        clusterid[j] = j;
        number[j] = 1;
    }
    for (int i = 1; i < nelements; i++) minima.scan(matrix, i);

    for (int n = nelements; n > 1; n--) {
        const int k = nelements - n;
        int is = 1, js = 0;
        result[k].distance = minima.closest(n, &is, &js);
        if (method == 'c') {
            result[k].left = clusterid[js];
            result[k].right = clusterid[is];
        } else {
            result[k].left = clusterid[is];
            result[k].right = clusterid[js];
        }

        if (method == 'm') {
            for (int j = 0; j < js; j++)
                if (matrix[is][j] > matrix[js][j]) matrix[js][j] = matrix[is][j];
            for (int j = js + 1; j < is; j++)
                if (matrix[is][j] > matrix[j][js]) matrix[j][js] = matrix[is][j];
            for (int j = is + 1; j < n; j++)
                if (matrix[j][is] > matrix[j][js]) matrix[j][js] = matrix[j][is];
        } else if (method == 'a') {
            const double sizeis = number[is];
            const double sizejs = number[js];
            const double sum = sizeis + sizejs;
            for (int j = 0; j < js; j++)
                matrix[js][j] = (matrix[is][j] * sizeis + matrix[js][j] * sizejs) / sum;
            for (int j = js + 1; j < is; j++)
                matrix[j][js] = (matrix[is][j] * sizeis + matrix[j][js] * sizejs) / sum;
            for (int j = is + 1; j < n; j++)
                matrix[j][js] = (matrix[j][is] * sizeis + matrix[j][js] * sizejs) / sum;
            number[js] += number[is];
        } else {
            // Centroid: the masks count members, so this is the size-weighted mean.
            double* vjs = cdata[js];
            int* mjs = cmask[js];
            const double* vis = cdata[is];
            const int* mis = cmask[is];
            for (int c = 0; c < ndata; c++) {
                vjs[c] = vjs[c] * mjs[c] + vis[c] * mis[c];
                mjs[c] += mis[c];
                if (mjs[c]) vjs[c] /= mjs[c];
            }
            std::free(cdata[is]);
            std::free(cmask[is]);
            cdata[is] = cdata[n - 1];
            cmask[is] = cmask[n - 1];
        }

        // The last active element takes the place of is.
        if (is != n - 1) {
            for (int j = 0; j < is; j++) matrix[is][j] = matrix[n - 1][j];
            for (int j = is + 1; j < n - 1; j++) matrix[j][is] = matrix[n - 1][j];
        }
        clusterid[is] = clusterid[n - 1];
        number[is] = number[n - 1];
        clusterid[js] = -k - 1;

        const int active = n - 1;
        if (method == 'c') {
            for (int j = 0; j < js; j++)
                matrix[js][j] = metric(ndata, cdata, cdata, cmask, cmask, weight, js, j, 0);
            for (int j = js + 1; j < active; j++)
                matrix[j][js] = metric(ndata, cdata, cdata, cmask, cmask, weight, js, j, 0);
        }

        if (active < 2) break;
        if (js >= 1) minima.scan(matrix, js);
        if (is < active) minima.scan(matrix, is);
        for (int l = js + 1; l < active; l++)
            if (l != is) minima.changed(matrix, l, js);
        for (int l = is + 1; l < active; l++) minima.changed(matrix, l, is);
    }

    std::free(clusterid);
    std::free(number);
    return result;
}

// Single linkage through the pointer representation: no matrix, O(n^2) distances.
TreeClusterNode* singlelinkage(int nelements, int ndata, double** data, int** mask,
                               double* weight, double** distmatrix, char dist, int transpose)
{
    const int nnodes = nelements - 1;
    int* pointer = static_cast<int*>(std::malloc(nnodes * sizeof(int)));
    double* temp = static_cast<double*>(std::malloc(nnodes * sizeof(double)));
    int* index = static_cast<int*>(std::malloc(nelements * sizeof(int)));
    TreeClusterNode* result =
        static_cast<TreeClusterNode*>(std::malloc(nelements * sizeof(TreeClusterNode)));
    if (!pointer || !temp || !index || !result) {
        std::free(pointer);
        std::free(temp);
        std::free(index);
        std::free(result);
        return nullptr;
    }

    for (int i = 0; i < nnodes; i++) pointer[i] = i;

    withMetric(dist, [&](auto metric) {
        using M = decltype(metric);
        for (int i = 0; i < nelements; i++) {
            result[i].distance = DBL_MAX;
            if (distmatrix) {
                for (int j = 0; j < i; j++) temp[j] = distmatrix[i][j];
            } else {
                for (int j = 0; j < i; j++) temp[j] = M::call(ndata, data, mask, weight, i, j, transpose);
            }
            for (int j = 0; j < i; j++) {
                const int k = pointer[j];
                if (result[j].distance >= temp[j]) {
                    if (result[j].distance < temp[k]) temp[k] = result[j].distance;
                    result[j].distance = temp[j];
                    pointer[j] = i;
                } else if (temp[j] < temp[k]) {
                    temp[k] = temp[j];
                }
            }
            for (int j = 0; j < i; j++)
                if (result[j].distance >= result[pointer[j]].distance) pointer[j] = i;
        }
    });

    // Equal heights are ordered by element index, so the tree does not depend on qsort.
    for (int i = 0; i < nnodes; i++) result[i].left = i;
    std::qsort(result, nnodes, sizeof(TreeClusterNode), nodecompare);

    for (int i = 0; i < nelements; i++) index[i] = i;
    for (int r = 0; r < nnodes; r++) {
        const int j = result[r].left;
        const int k = pointer[j];
        result[r].left = index[j];
        result[r].right = index[k];
        index[k] = -r - 1;
    }
    std::free(pointer);
    std::free(temp);
    std::free(index);

    void* shrunk = std::realloc(result, nnodes * sizeof(TreeClusterNode));
    return shrunk ? static_cast<TreeClusterNode*>(shrunk) : result;
}

TreeClusterNode* centroidlinkage(int nelements, int ndata, double** data, int** mask,
                                 double* weight, double** matrix, char dist, int transpose)
{
    double** cdata = nullptr;
    int** cmask = nullptr;
    if (!makedatamask(nelements, ndata, &cdata, &cmask)) return nullptr;
    // A value outside the mask stays out of every merged centroid, whatever it holds.
    for (int i = 0; i < nelements; i++) {
        for (int c = 0; c < ndata; c++) {
            const int present = transpose ? mask[c][i] : mask[i][c];
            const double value = transpose ? data[c][i] : data[i][c];
            cmask[i][c] = present;
            cdata[i][c] = present ? value : 0.0;
        }
    }
    TreeClusterNode* result = agglomerate(nelements, matrix, 'c', ndata, cdata, cmask, weight, dist);
    // Merging frees every row but the one left at position 0; on failure all are still there.
    freedatamask(result ? 1 : nelements, cdata, cmask);
    return result;
}

}  // namespace

Metric setmetric(char dist)
{
    switch (dist) {
    case 'b': return &cityblock;
    case 'c': return &correlation;
    case 'a': return &acorrelation;
    case 'u': return &ucorrelation;
    case 'x': return &uacorrelation;
    case 's': return &spearman;
    case 'k': return &kendall;
    default: return &euclid;
    }
}

double euclid(int n, double** data1, double** data2, int** mask1, int** mask2, double* weight,
              int index1, int index2, int transpose)
{
    double result = 0.0;
    double tweight = 0.0;
    forEachPresent(n, data1, data2, mask1, mask2, weight, index1, index2, transpose,
                   [&](double x, double y, double w) {
                       const double term = x - y;
                       result += w * term * term;
                       tweight += w;
                   });
    if (tweight == 0.0) return 0.0;
    return result / tweight;
}

double cityblock(int n, double** data1, double** data2, int** mask1, int** mask2, double* weight,
                 int index1, int index2, int transpose)
{
    double result = 0.0;
    double tweight = 0.0;
    forEachPresent(n, data1, data2, mask1, mask2, weight, index1, index2, transpose,
                   [&](double x, double y, double w) {
                       result += w * std::fabs(x - y);
                       tweight += w;
                   });
    if (tweight == 0.0) return 0.0;
    return result / tweight;
}

double correlation(int n, double** data1, double** data2, int** mask1, int** mask2,
                   double* weight, int index1, int index2, int transpose)
{
    return pearson(n, data1, data2, mask1, mask2, weight, index1, index2, transpose, false);
}

double acorrelation(int n, double** data1, double** data2, int** mask1, int** mask2,
                    double* weight, int index1, int index2, int transpose)
{
    return pearson(n, data1, data2, mask1, mask2, weight, index1, index2, transpose, true);
}

double ucorrelation(int n, double** data1, double** data2, int** mask1, int** mask2,
                    double* weight, int index1, int index2, int transpose)
{
    return uncentred(n, data1, data2, mask1, mask2, weight, index1, index2, transpose, false);
}

double uacorrelation(int n, double** data1, double** data2, int** mask1, int** mask2,
                     double* weight, int index1, int index2, int transpose)
{
    return uncentred(n, data1, data2, mask1, mask2, weight, index1, index2, transpose, true);
}

double spearman(int n, double** data1, double** data2, int** mask1, int** mask2, double*,
                int index1, int index2, int transpose)
{
    double* x = static_cast<double*>(std::malloc((n > 0 ? n : 1) * sizeof(double)));
    double* y = static_cast<double*>(std::malloc((n > 0 ? n : 1) * sizeof(double)));
    if (!x || !y) {
        std::free(x);
        std::free(y);
        return 0.0;
    }
    int m = 0;
    forEachPresentPair(n, data1, data2, mask1, mask2, index1, index2, transpose,
                       [&](double a, double b) {
                           x[m] = a;
                           y[m] = b;
                           m++;
                       });
    if (m == 0) {
        std::free(x);
        std::free(y);
        return 0.0;
    }
    double* rank1 = getrank(m, x);
    double* rank2 = rank1 ? getrank(m, y) : nullptr;
    std::free(x);
    std::free(y);
    if (!rank1 || !rank2) {
        std::free(rank1);
        std::free(rank2);
        return 0.0;
    }
    double sxy = 0.0, sxx = 0.0, syy = 0.0;
    for (int i = 0; i < m; i++) {
        sxy += rank1[i] * rank2[i];
        sxx += rank1[i] * rank1[i];
        syy += rank2[i] * rank2[i];
    }
    std::free(rank1);
    std::free(rank2);
    const double avgrank = 0.5 * (m - 1);
    const double varx = sxx / m - avgrank * avgrank;
    const double vary = syy / m - avgrank * avgrank;
    if (varx <= 0.0 || vary <= 0.0) return 1.0;
    return 1.0 - (sxy / m - avgrank * avgrank) / std::sqrt(varx * vary);
}

double kendall(int n, double** data1, double** data2, int** mask1, int** mask2, double*,
               int index1, int index2, int transpose)
{
    auto present = [&](int i) {
        return transpose == 0 ? (mask1[index1][i] && mask2[index2][i])
                              : (mask1[i][index1] && mask2[i][index2]);
    };
    auto xval = [&](int i) { return transpose == 0 ? data1[index1][i] : data1[i][index1]; };
    auto yval = [&](int i) { return transpose == 0 ? data2[index2][i] : data2[i][index2]; };

    double concordant = 0.0, discordant = 0.0, tiedx = 0.0, tiedy = 0.0;
    bool anyPair = false;
    for (int i = 0; i < n; i++) {
        if (!present(i)) continue;
        for (int j = 0; j < i; j++) {
            if (!present(j)) continue;
            anyPair = true;
            const double x1 = xval(i), x2 = xval(j), y1 = yval(i), y2 = yval(j);
            const int sx = (x1 > x2) - (x1 < x2);
            const int sy = (y1 > y2) - (y1 < y2);
            if (sx != 0 && sy != 0) {
                if (sx == sy)
                    concordant += 1.0;
                else
                    discordant += 1.0;
            } else if (sx == 0 && sy != 0) {
                tiedx += 1.0;
            } else if (sy == 0 && sx != 0) {
                tiedy += 1.0;
            }
        }
    }
    if (!anyPair) return 0.0;
    const double denomx = concordant + discordant + tiedx;
    const double denomy = concordant + discordant + tiedy;
    if (denomx == 0.0 || denomy == 0.0) return 1.0;
    return 1.0 - (concordant - discordant) / std::sqrt(denomx * denomy);
}

double** distancematrix(int nrows, int ncolumns, double** data, int** mask, double* weight,
                        char dist, int transpose)
{
    const int n = transpose ? ncolumns : nrows;
    const int ndata = transpose ? nrows : ncolumns;
    if (n < 2) return nullptr;

    double** matrix = static_cast<double**>(std::malloc(n * sizeof(double*)));
    if (!matrix) return nullptr;
    matrix[0] = nullptr;
    for (int i = 1; i < n; i++) {
        matrix[i] = static_cast<double*>(std::malloc(i * sizeof(double)));
        if (!matrix[i]) {
            for (int j = 1; j < i; j++) std::free(matrix[j]);
            std::free(matrix);
            return nullptr;
        }
    }
    fillDistances(matrix, n, ndata, data, mask, weight, dist, transpose);
    return matrix;
}

int makedatamask(int nrows, int ncolumns, double*** pdata, int*** pmask)
{
    *pdata = nullptr;
    *pmask = nullptr;
    const size_t rows = nrows > 0 ? static_cast<size_t>(nrows) : 1;
    const size_t columns = ncolumns > 0 ? static_cast<size_t>(ncolumns) : 1;
    double** data = static_cast<double**>(std::calloc(rows, sizeof(double*)));
    int** mask = static_cast<int**>(std::calloc(rows, sizeof(int*)));
    if (!data || !mask) {
        std::free(data);
        std::free(mask);
        return 0;
    }
    for (int i = 0; i < nrows; i++) {
        data[i] = static_cast<double*>(std::malloc(columns * sizeof(double)));
        mask[i] = static_cast<int*>(std::malloc(columns * sizeof(int)));
        if (!data[i] || !mask[i]) {
            freedatamask(i + 1, data, mask);
            return 0;
        }
    }
    *pdata = data;
    *pmask = mask;
    return 1;
}

namespace {
const double* sortdata = nullptr;  // the values getrank is ranking, read by compare
}

int compare(const void* a, const void* b)
{
    const double x = sortdata[*static_cast<const int*>(a)];
    const double y = sortdata[*static_cast<const int*>(b)];
    if (x < y) return -1;
    if (x > y) return 1;
    return 0;
}

int nodecompare(const void* a, const void* b)
{
    const TreeClusterNode* node1 = static_cast<const TreeClusterNode*>(a);
    const TreeClusterNode* node2 = static_cast<const TreeClusterNode*>(b);
    if (node1->distance < node2->distance) return -1;
    if (node1->distance > node2->distance) return 1;
    if (node1->left < node2->left) return -1;
    if (node1->left > node2->left) return 1;
    return 0;
}

double* getrank(int n, double* data)
{
    const size_t count = n > 0 ? static_cast<size_t>(n) : 1;
    double* rank = static_cast<double*>(std::malloc(count * sizeof(double)));
    int* index = static_cast<int*>(std::malloc(count * sizeof(int)));
    if (!rank || !index) {
        std::free(rank);
        std::free(index);
        return nullptr;
    }
    for (int i = 0; i < n; i++) index[i] = i;
    sortdata = data;
    if (n > 0) std::qsort(index, static_cast<size_t>(n), sizeof(int), compare);
    sortdata = nullptr;

    int start = 0;
    while (start < n) {
        int end = start + 1;
        while (end < n && data[index[end]] == data[index[start]]) end++;
        const double value = start + 0.5 * (end - start - 1);
        for (int p = start; p < end; p++) rank[index[p]] = value;
        start = end;
    }
    std::free(index);
    return rank;
}

TreeClusterNode* treecluster(int nrows, int ncolumns, double** data, int** mask, double* weight,
                             int transpose, char dist, char method, double** distmatrix)
{
    const int nelements = transpose ? ncolumns : nrows;
    const int ndata = transpose ? nrows : ncolumns;

    if (nelements < 2) {
        Zelvo::Log::Printf("Error: tree clustering needs at least two elements, got %d\n", nelements);
        return nullptr;
    }
    if (method != 's' && method != 'm' && method != 'a' && method != 'c') return nullptr;

    // Every value that takes part must be finite, or the merge order is meaningless.
    const bool needData = !distmatrix || method == 'c';
    if (needData) {
        if (ndata < 1) {
            Zelvo::Log::Puts("Error: tree clustering has no column to compare");
            return nullptr;
        }
        if (!data || !mask || !weight) {
            Zelvo::Log::Puts("Error: tree clustering was given no data");
            return nullptr;
        }
        for (int c = 0; c < ndata; c++) {
            if (!std::isfinite(weight[c])) {
                Zelvo::Log::Printf("Error: tree clustering got a non-finite weight at %d\n", c);
                return nullptr;
            }
        }
        for (int r = 0; r < nrows; r++) {
            for (int c = 0; c < ncolumns; c++) {
                if (mask[r][c] && !std::isfinite(data[r][c])) {
                    Zelvo::Log::Printf("Error: tree clustering got a non-finite value at row %d, column %d\n", r, c);
                    return nullptr;
                }
            }
        }
    }
    if (distmatrix) {
        for (int i = 1; i < nelements; i++) {
            for (int j = 0; j < i; j++) {
                if (!std::isfinite(distmatrix[i][j])) {
                    Zelvo::Log::Printf("Error: tree clustering got a non-finite distance d(%d, %d)\n", i, j);
                    return nullptr;
                }
            }
        }
    }

    if (method == 's')
        return singlelinkage(nelements, ndata, data, mask, weight, distmatrix, dist, transpose);

    double** matrix = distmatrix;
    if (!matrix) {
        matrix = makeTriangle(nelements);
        if (!matrix) return nullptr;
        fillDistances(matrix, nelements, ndata, data, mask, weight, dist, transpose);
    }
    TreeClusterNode* result =
        method == 'c' ? centroidlinkage(nelements, ndata, data, mask, weight, matrix, dist, transpose)
                      : agglomerate(nelements, matrix, method, 0, nullptr, nullptr, nullptr, dist);
    if (!distmatrix) freeTriangle(matrix);
    return result;
}
