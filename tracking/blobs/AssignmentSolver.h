#pragma once
// The minimum-cost assignment between the rows and the columns of a cost matrix (Hungarian
// method with shortest augmenting paths, as Jonker and Volgenant arrange it): every row gets
// a distinct column when rows <= columns, every column a distinct row otherwise. O(n^2 m).
// Any thread.

#include <vector>

class AssignmentSolver
{
public:
    // costs[r][c], all rows of one length. Returns, for each row, its column or -1.
    static std::vector<int> solve(const std::vector<std::vector<double>> &costs);
};
