#include "tracking/blobs/AssignmentSolver.h"

#include <limits>

namespace {

// rows <= cols; a[1..n][1..m] in the classic 1-based formulation.
std::vector<int> solveWide(const std::vector<std::vector<double>> &a, int n, int m)
{
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> u(size_t(n) + 1, 0.0), v(size_t(m) + 1, 0.0);
    std::vector<int> p(size_t(m) + 1, 0), way(size_t(m) + 1, 0);
    for (int i = 1; i <= n; ++i) {
        p[0] = i;
        int j0 = 0;
        std::vector<double> minv(size_t(m) + 1, inf);
        std::vector<char> used(size_t(m) + 1, 0);
        do {
            used[size_t(j0)] = 1;
            const int i0 = p[size_t(j0)];
            double delta = inf;
            int j1 = 0;
            for (int j = 1; j <= m; ++j) {
                if (used[size_t(j)])
                    continue;
                const double cur = a[size_t(i0 - 1)][size_t(j - 1)] - u[size_t(i0)] - v[size_t(j)];
                if (cur < minv[size_t(j)]) {
                    minv[size_t(j)] = cur;
                    way[size_t(j)] = j0;
                }
                if (minv[size_t(j)] < delta) {
                    delta = minv[size_t(j)];
                    j1 = j;
                }
            }
            for (int j = 0; j <= m; ++j) {
                if (used[size_t(j)]) {
                    u[size_t(p[size_t(j)])] += delta;
                    v[size_t(j)] -= delta;
                } else {
                    minv[size_t(j)] -= delta;
                }
            }
            j0 = j1;
        } while (p[size_t(j0)] != 0);
        do {
            const int j1 = way[size_t(j0)];
            p[size_t(j0)] = p[size_t(j1)];
            j0 = j1;
        } while (j0 != 0);
    }
    std::vector<int> columnOf(size_t(n), -1);
    for (int j = 1; j <= m; ++j)
        if (p[size_t(j)] != 0)
            columnOf[size_t(p[size_t(j)] - 1)] = j - 1;
    return columnOf;
}

} // namespace

std::vector<int> AssignmentSolver::solve(const std::vector<std::vector<double>> &costs)
{
    const int rows = int(costs.size());
    const int cols = rows > 0 ? int(costs.front().size()) : 0;
    if (rows == 0 || cols == 0)
        return std::vector<int>(size_t(rows), -1);
    if (rows <= cols)
        return solveWide(costs, rows, cols);
    // More rows than columns: solve the transpose and turn its answer round.
    std::vector<std::vector<double>> transposed(
        size_t(cols), std::vector<double>(size_t(rows), 0.0));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            transposed[size_t(c)][size_t(r)] = costs[size_t(r)][size_t(c)];
    const std::vector<int> rowOf = solveWide(transposed, cols, rows);
    std::vector<int> columnOf(size_t(rows), -1);
    for (int c = 0; c < cols; ++c)
        if (rowOf[size_t(c)] >= 0)
            columnOf[size_t(rowOf[size_t(c)])] = c;
    return columnOf;
}
