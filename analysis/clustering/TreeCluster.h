#pragma once

// Agglomerative clustering of the rows (or columns) of a table of doubles into a binary
// merge tree. Plain global functions over raw heap arrays:
//
// - data: nrows row pointers, each to ncolumns doubles; mask: the same shape in int. A value
//   takes part in a comparison only where the masks of both operands are non-zero.
// - weight: one double per column (per row when transpose is non-zero).
// - transpose non-zero clusters the columns, compared over the rows.
// - A distance matrix is a ragged lower triangle with one row pointer per element: row 0 is
//   null, row i holds the i distances d(i, j), j < i.
//
// Ownership: every array returned here comes from malloc and belongs to the caller.
// - treecluster: one block of nelements - 1 nodes; release it with free(tree).
// - distancematrix: release rows 1..n-1 with free(matrix[i]), then free(matrix).
// - getrank: release with free(ranks).
// - makedatamask: release every row with free, then the two row-pointer arrays.

// One merge of the tree. A member is an element index i (0 and up) or the id -(k + 1) of the
// node at position k of the result. Nodes come in merge order; the last one is the root.
struct TreeClusterNode {
    int left;
    int right;
    double distance;
};

// Clusters nelements elements (rows, or columns with transpose) into nelements - 1 nodes.
// dist: 'e' (also any unknown letter), 'b', 'c', 'a', 'u', 'x', 's', 'k' — see the metrics.
// method: 's' single, 'm' maximum, 'a' average, 'c' centroid linkage.
// distmatrix: null, or a caller's matrix that 'm', 'a' and 'c' overwrite while merging.
// Returns null for fewer than two elements, no column to compare, a non-finite value, an
// unknown method or a failed allocation; the first three print an "Error" line.
TreeClusterNode* treecluster(int nrows, int ncolumns, double** data, int** mask, double* weight,
                             int transpose, char dist, char method, double** distmatrix);

// A new ragged distance matrix between the elements, or null (fewer than two elements, or a
// failed allocation).
double** distancematrix(int nrows, int ncolumns, double** data, int** mask, double* weight,
                        char dist, int transpose);

// Metrics: distance between element index1 of data1 and element index2 of data2 over n values.
// 'e': weighted mean of squared differences (no root).
double euclid(int n, double** data1, double** data2, int** mask1, int** mask2, double* weight,
              int index1, int index2, int transpose);
// 'b': weighted mean of absolute differences.
double cityblock(int n, double** data1, double** data2, int** mask1, int** mask2, double* weight,
                 int index1, int index2, int transpose);
// 'c': 1 - weighted Pearson correlation.
double correlation(int n, double** data1, double** data2, int** mask1, int** mask2,
                   double* weight, int index1, int index2, int transpose);
// 'a': 1 - |weighted Pearson correlation|.
double acorrelation(int n, double** data1, double** data2, int** mask1, int** mask2,
                    double* weight, int index1, int index2, int transpose);
// 'u': 1 - uncentred weighted correlation.
double ucorrelation(int n, double** data1, double** data2, int** mask1, int** mask2,
                    double* weight, int index1, int index2, int transpose);
// 'x': 1 - |uncentred weighted correlation|.
double uacorrelation(int n, double** data1, double** data2, int** mask1, int** mask2,
                     double* weight, int index1, int index2, int transpose);
// 's': 1 - Spearman rank correlation (weights ignored).
double spearman(int n, double** data1, double** data2, int** mask1, int** mask2, double* weight,
                int index1, int index2, int transpose);
// 'k': 1 - Kendall tau-b (weights ignored).
double kendall(int n, double** data1, double** data2, int** mask1, int** mask2, double* weight,
               int index1, int index2, int transpose);

// One of the metrics above, by its letter; euclid for any other letter.
using Metric = double (*)(int, double**, double**, int**, int**, double*, int, int, int);
Metric setmetric(char dist);

// Allocates an uninitialised nrows x ncolumns data table and mask table, row by row.
// Returns 1, or 0 with both outputs null when an allocation fails.
int makedatamask(int nrows, int ncolumns, double*** data, int*** mask);

// Ranks of the n values (0-based; a run of equal values shares the mean of its ranks), or null.
// Not reentrant: the comparator reads the values through a file-level pointer.
double* getrank(int n, double* data);

// qsort comparators. nodecompare: TreeClusterNode by ascending distance, equal distances by
// ascending left member. compare: int element indices by ascending value of the values being
// ranked by getrank.
int nodecompare(const void* a, const void* b);
int compare(const void* a, const void* b);
