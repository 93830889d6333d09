#include "tracking/blobs/IdentityMatcher.h"

#include "tracking/blobs/AssignmentSolver.h"

#include <algorithm>
#include <numeric>

namespace {

double squared(QPointF d)
{
    return d.x() * d.x() + d.y() * d.y();
}

// A lost fish's reach grows by one step per missing frame, up to this many steps.
constexpr int maxGateSteps = 10;

} // namespace

void IdentityMatcher::reset(int fishCount, double speed, double separation)
{
    fishes.assign(size_t(std::max(fishCount, 0)), Fish());
    maxSpeed = speed;
    minSeparation = separation;
}

QPointF IdentityMatcher::predicted(int fish) const
{
    const Fish &f = fishes[size_t(fish)];
    return f.position + f.velocity;
}

std::vector<int> IdentityMatcher::match(const std::vector<Blob> &blobs)
{
    const int n = int(fishes.size());
    std::vector<int> blobOf(size_t(n), -1);
    std::vector<bool> taken(blobs.size(), false);

    std::vector<int> known;
    for (int i = 0; i < n; ++i)
        if (fishes[size_t(i)].everFound)
            known.push_back(i);

    if (!known.empty() && !blobs.empty()) {
        // Pairs beyond the gate cost more than all pairs within it together, so the solver
        // first makes as many pairs within the gates as it can, then the cheapest such set.
        const double widest = maxSpeed * (maxGateSteps + 1);
        const double forbidden = (widest * widest + 1.0) * double(known.size() + blobs.size());
        std::vector<std::vector<double>> costs(known.size(), std::vector<double>(blobs.size()));
        for (size_t r = 0; r < known.size(); ++r) {
            const Fish &f = fishes[size_t(known[r])];
            const double gate = maxSpeed * (1 + std::min(f.missed, maxGateSteps));
            const QPointF p = predicted(known[r]);
            for (size_t c = 0; c < blobs.size(); ++c) {
                const double d2 = squared(blobs[c].centre - p);
                costs[r][c] = d2 <= gate * gate ? d2 : forbidden;
            }
        }
        const std::vector<int> column = AssignmentSolver::solve(costs);
        for (size_t r = 0; r < known.size(); ++r) {
            const int c = column[r];
            if (c >= 0 && costs[r][size_t(c)] < forbidden) {
                blobOf[size_t(known[r])] = c;
                taken[size_t(c)] = true;
            }
        }
    }

    // Fish not yet found take the largest blobs left, one each, away from every placed fish.
    std::vector<int> order(blobs.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
        [&blobs](int a, int b) { return blobs[size_t(a)].area > blobs[size_t(b)].area; });
    std::vector<QPointF> placed;
    for (int i = 0; i < n; ++i)
        if (blobOf[size_t(i)] >= 0)
            placed.push_back(blobs[size_t(blobOf[size_t(i)])].centre);
        else if (fishes[size_t(i)].everFound)
            placed.push_back(fishes[size_t(i)].position);
    size_t next = 0;
    for (int i = 0; i < n; ++i) {
        if (fishes[size_t(i)].everFound)
            continue;
        while (next < order.size()) {
            const int c = order[next++];
            if (taken[size_t(c)])
                continue;
            const QPointF centre = blobs[size_t(c)].centre;
            const bool apart = std::all_of(placed.begin(), placed.end(),
                [&](QPointF p) { return squared(p - centre) >= minSeparation * minSeparation; });
            if (!apart)
                continue;
            blobOf[size_t(i)] = c;
            taken[size_t(c)] = true;
            placed.push_back(centre);
            break;
        }
    }

    for (int i = 0; i < n; ++i) {
        Fish &f = fishes[size_t(i)];
        const int c = blobOf[size_t(i)];
        if (c < 0) {
            ++f.missed;
            f.velocity = QPointF();
            continue;
        }
        const QPointF now = blobs[size_t(c)].centre;
        // A part of a shared region is placed by the prediction as much as by the fish: the
        // fish keeps its velocity through the contact.
        if (!blobs[size_t(c)].split || f.missed != 0)
            f.velocity = f.everFound && f.missed == 0 ? now - f.position : QPointF();
        f.position = now;
        f.everFound = true;
        f.missed = 0;
    }
    return blobOf;
}

void IdentityMatcher::correct(int fish, QPointF position)
{
    if (fish < 0 || fish >= int(fishes.size()))
        return;
    Fish &f = fishes[size_t(fish)];
    f.position = position;
    f.velocity = QPointF();
    f.everFound = true;
    f.missed = 0;
}
