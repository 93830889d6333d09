#include "tracking/blobs/IdentityMatcher.h"

#include "tracking/blobs/AssignmentSolver.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

double squared(QPointF d)
{
    return d.x() * d.x() + d.y() * d.y();
}

// The smaller angle between two axes (lines without direction), 0..90 degrees.
double axisChange(double a, double b)
{
    const double d = std::fabs(std::fmod(a - b, 180.0));
    return std::min(d, 180.0 - d);
}

// A lost fish's reach grows by one step per missing frame, up to this many steps.
constexpr int maxGateSteps = 10;
// Missing the prediction across the heading costs this much more than along it.
constexpr double alongWeight = 0.6, acrossWeight = 1.4;

} // namespace

void IdentityMatcher::reset(int fishCount, double speed, double separation, double area)
{
    bodyArea = area;
    fishes.assign(size_t(std::max(fishCount, 0)), Fish());
    touching.assign(fishes.size(), false);
    resolved.assign(fishes.size(), false);
    maxSpeed = speed;
    minSeparation = separation;
    nextContact = 0;
}

QPointF IdentityMatcher::predicted(int fish) const
{
    const Fish &f = fishes[size_t(fish)];
    return f.position + f.velocity;
}

double IdentityMatcher::largestBodyArea() const
{
    double largest = 0.0;
    for (const Fish &f : fishes)
        largest = std::max(largest, f.area);
    return largest;
}

double IdentityMatcher::cost(const Fish &f, const Blob &b, QPointF prediction) const
{
    const QPointF d = b.centre - prediction;
    double c = squared(d);
    if (f.heading.known()) {
        const double r = f.heading.heading() * M_PI / 180.0;
        const double along = d.x() * std::cos(r) + d.y() * std::sin(r);
        const double across = -d.x() * std::sin(r) + d.y() * std::cos(r);
        c = alongWeight * along * along + acrossWeight * across * across;
    }
    // A part of a shared region says nothing of the body's axis or size.
    if (b.split || f.bodyLength <= 0)
        return c;
    // Each term at most a quarter of the body length squared, and at most the widest gate
    // squared, so that the forbidden cost stays above every allowed one.
    const double scale = 0.25 * f.bodyLength * f.bodyLength;
    const double turned = axisChange(b.angleDegrees, f.axisDegrees) / 90.0;
    c += scale * turned * turned;
    if (f.area > 0 && b.area > 0) {
        const double grown = std::log(b.area / f.area);
        c += scale * std::min(1.0, grown * grown);
    }
    return c;
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
        double largestTerm = widest * widest;
        for (int i : known)
            largestTerm = std::max(
                largestTerm, 0.25 * fishes[size_t(i)].bodyLength * fishes[size_t(i)].bodyLength);
        const double forbidden
            = (acrossWeight * widest * widest + 2.0 * largestTerm + 1.0) * double(n + blobs.size());
        std::vector<std::vector<double>> costs(known.size(), std::vector<double>(blobs.size()));
        for (size_t r = 0; r < known.size(); ++r) {
            const Fish &f = fishes[size_t(known[r])];
            const double gate = maxSpeed * (1 + std::min(f.missed, maxGateSteps));
            const QPointF p = predicted(known[r]);
            for (size_t c = 0; c < blobs.size(); ++c) {
                const double d2 = squared(blobs[c].centre - p);
                costs[r][c] = d2 <= gate * gate ? cost(f, blobs[c], p) : forbidden;
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

    dropPiecesOfOneBody(blobs, blobOf);

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
            if (!apart || pieceOfPlacedBody(blobs, blobOf, c))
                continue;
            blobOf[size_t(i)] = c;
            taken[size_t(c)] = true;
            placed.push_back(centre);
            break;
        }
    }

    markContacts(blobs, blobOf);
    resolveEndedContacts(blobs, blobOf);
    moveOn(blobs, blobOf);
    return blobOf;
}

bool IdentityMatcher::piecesOfOneBody(const Blob &large, const Blob &small, double learned) const
{
    const double body = std::max({ bodyArea, learned, large.area });
    const double apart = std::sqrt(squared(large.centre - small.centre));
    return !large.split && !small.split && apart < 2.0 * minSeparation
        && large.area + small.area < 1.4 * body;
}

bool IdentityMatcher::pieceOfPlacedBody(
    const std::vector<Blob> &blobs, const std::vector<int> &blobOf, int candidate) const
{
    const Blob &b = blobs[size_t(candidate)];
    for (size_t i = 0; i < fishes.size(); ++i) {
        const int c = blobOf[i];
        if (c < 0)
            continue;
        const Blob &held = blobs[size_t(c)];
        if (held.area >= b.area ? piecesOfOneBody(held, b, fishes[i].area)
                                : piecesOfOneBody(b, held, fishes[i].area))
            return true;
    }
    return false;
}

void IdentityMatcher::dropPiecesOfOneBody(const std::vector<Blob> &blobs, std::vector<int> &blobOf)
{
    // A body the threshold cuts in two (a pale middle, a faint tail) makes two small blobs side
    // by side: the fish on the smaller one is not found there, its position held.
    const int n = int(fishes.size());
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b) {
            const int ca = blobOf[size_t(a)], cb = blobOf[size_t(b)];
            if (a == b || ca < 0 || cb < 0)
                continue;
            const Blob &large = blobs[size_t(ca)], &small = blobs[size_t(cb)];
            if (large.area < small.area || (large.area == small.area && a > b))
                continue;
            if (piecesOfOneBody(
                    large, small, std::max(fishes[size_t(a)].area, fishes[size_t(b)].area)))
                blobOf[size_t(b)] = -1;
        }
}

void IdentityMatcher::markContacts(const std::vector<Blob> &blobs, std::vector<int> &blobOf)
{
    const int n = int(fishes.size());
    std::fill(touching.begin(), touching.end(), false);
    std::fill(resolved.begin(), resolved.end(), false);
    auto join = [this](int a, int b) {
        Fish &fa = fishes[size_t(a)], &fb = fishes[size_t(b)];
        touching[size_t(a)] = touching[size_t(b)] = true;
        for (Fish *f : { &fa, &fb })
            if (f->contact < 0) {
                f->contactPosition = f->position;
                f->contactVelocity = f->velocity;
                f->contactFrames = 0;
                f->contactClosest = std::numeric_limits<double>::infinity();
                f->contactHidden = false;
            }
        if (fa.contact < 0 && fb.contact < 0) {
            fa.contact = fb.contact = nextContact++;
        } else if (fa.contact < 0) {
            fa.contact = fb.contact;
        } else if (fb.contact < 0) {
            fb.contact = fa.contact;
        } else if (fa.contact != fb.contact) {
            const int gone = fb.contact;
            for (Fish &f : fishes)
                if (f.contact == gone)
                    f.contact = fa.contact;
        }
    };
    for (int i = 0; i < n; ++i) {
        const int c = blobOf[size_t(i)];
        if (c >= 0 && blobs[size_t(c)].split) {
            // Parts of one region: every fish on them is in contact with the others.
            for (int j = i + 1; j < n; ++j) {
                const int d = blobOf[size_t(j)];
                if (d >= 0 && blobs[size_t(d)].split
                    && blobs[size_t(d)].label == blobs[size_t(c)].label)
                    join(i, j);
            }
        } else if (c < 0 && fishes[size_t(i)].everFound) {
            // Lost beside a blob another fish holds: hidden by or merged with that fish.
            const QPointF p = predicted(i);
            int nearest = -1;
            double best = 0.0;
            for (int j = 0; j < n; ++j) {
                const int d = blobOf[size_t(j)];
                if (j == i || d < 0)
                    continue;
                const double reach = std::max(blobs[size_t(d)].length, minSeparation * 2);
                const double d2 = squared(blobs[size_t(d)].centre - p);
                if (d2 <= reach * reach && (nearest < 0 || d2 < best)) {
                    nearest = j;
                    best = d2;
                }
            }
            if (nearest >= 0)
                join(i, nearest);
        }
    }
}

void IdentityMatcher::resolveEndedContacts(const std::vector<Blob> &blobs, std::vector<int> &blobOf)
{
    const int n = int(fishes.size());
    std::vector<int> seen;
    for (int i = 0; i < n; ++i) {
        const int group = fishes[size_t(i)].contact;
        if (group < 0 || std::find(seen.begin(), seen.end(), group) != seen.end())
            continue;
        seen.push_back(group);
        std::vector<int> members;
        bool ongoing = false;
        for (int j = 0; j < n; ++j)
            if (fishes[size_t(j)].contact == group) {
                members.push_back(j);
                ongoing = ongoing || touching[size_t(j)];
            }
        if (ongoing) {
            bool hidden = false;
            double closest = std::numeric_limits<double>::infinity();
            for (int j : members) {
                hidden = hidden || blobOf[size_t(j)] < 0;
                for (int k : members)
                    if (k > j && blobOf[size_t(j)] >= 0 && blobOf[size_t(k)] >= 0)
                        closest = std::min(closest,
                            std::sqrt(squared(blobs[size_t(blobOf[size_t(j)])].centre
                                - blobs[size_t(blobOf[size_t(k)])].centre)));
            }
            for (int j : members) {
                Fish &f = fishes[size_t(j)];
                ++f.contactFrames;
                f.contactHidden = f.contactHidden || hidden;
                f.contactClosest = std::min(f.contactClosest, closest);
            }
            continue;
        }
        // The contact is over. Fish kept apart on parts of their region all through it stay on
        // the parts they were followed on, and a contact that ends with one blob (the others
        // still hidden, or a fish that was never there) leaves it with the fish that held it;
        // otherwise the blobs its fish hold now go to the
        // fish whose motion from where the contact began, carried on through it, and whose
        // axis fit them best.
        bool apart = true;
        double body = 2.0 * minSeparation;
        for (int j : members)
            body = std::max(body, fishes[size_t(j)].bodyLength);
        for (int j : members)
            apart = apart && !fishes[size_t(j)].contactHidden
                && fishes[size_t(j)].contactClosest >= 0.25 * body;
        std::vector<int> held;
        for (int j : members)
            if (blobOf[size_t(j)] >= 0)
                held.push_back(blobOf[size_t(j)]);
        if (held.size() >= 2 && !apart) {
            std::vector<std::vector<double>> costs(
                members.size(), std::vector<double>(held.size()));
            for (size_t r = 0; r < members.size(); ++r) {
                const Fish &f = fishes[size_t(members[r])];
                const QPointF expected
                    = f.contactPosition + f.contactVelocity * double(f.contactFrames + 1);
                for (size_t c = 0; c < held.size(); ++c)
                    costs[r][c] = cost(f, blobs[size_t(held[c])], expected);
            }
            const std::vector<int> column = AssignmentSolver::solve(costs);
            for (size_t r = 0; r < members.size(); ++r)
                blobOf[size_t(members[r])] = column[r] >= 0 ? held[size_t(column[r])] : -1;
        }
        for (int j : members) {
            Fish &f = fishes[size_t(j)];
            f.contact = -1;
            // Its motion is the one it brought into the contact, not a jump to its new blob.
            f.velocity = f.contactVelocity;
            resolved[size_t(j)] = true;
        }
    }
}

void IdentityMatcher::moveOn(const std::vector<Blob> &blobs, const std::vector<int> &blobOf)
{
    for (size_t i = 0; i < fishes.size(); ++i) {
        Fish &f = fishes[i];
        const int c = blobOf[i];
        if (c < 0) {
            ++f.missed;
            // A fish hidden by another keeps the motion it had, to be found where it leads.
            if (!touching[i])
                f.velocity = QPointF();
            f.heading.hold();
            continue;
        }
        const Blob &b = blobs[size_t(c)];
        const QPointF now = b.centre;
        const QPointF movement = f.everFound && f.missed == 0 ? now - f.position : QPointF();
        // In a contact the blob is placed by the prediction or the other fish as much as by
        // this one: the fish keeps its velocity through the contact and just after it.
        if (!touching[i] && !resolved[i] && (!b.split || f.missed != 0))
            f.velocity = movement;
        if (!b.split && !touching[i]) {
            // Its own blob: the body as it is.
            f.heading.update(b.angleDegrees, b.skew, movement, b.length);
            f.bodyLength = b.length;
            f.axisDegrees = b.angleDegrees;
            f.area = f.area > 0 ? 0.9 * f.area + 0.1 * b.area : b.area;
        } else {
            f.heading.hold();
        }
        f.position = now;
        f.everFound = true;
        f.missed = 0;
    }
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
    f.contact = -1;
}
