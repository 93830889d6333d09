#pragma once
// track's arena options: --arena X1,Y1,X2,Y2[:FISH] and --arena-circle CX,CY,R[:FISH]
// (repeatable, numbered in the order given) and --arena-grid ROWSxCOLS[:round|square][:WELLmm] laid
// over --area, each arena holding --fish fish unless it says otherwise. They need
// --method blobs; the fish of all arenas together may number 200 at most.

#include "cli/CommandLine.h"
#include "model/Arena.h"
#include "model/ArenaLayout.h"
#include "model/Scale.h"

#include <QList>
#include <QRect>
#include <QString>

#include <optional>

namespace ArenaOptions {

extern const OptionSpec options[3];

// The most fish all arenas together may hold.
constexpr int maxFish = ArenaLayout::maxFish;

// The arenas asked for (none when no arena option is given), or the error message; *scale
// set when a grid gives its wells' size.
std::optional<QString> parse(const CommandLine &line, bool blobs, const std::optional<QRect> &area,
    int fishPerArena, QList<Arena> *arenas, Scale *scale = nullptr);

bool given(const CommandLine &line);

} // namespace ArenaOptions
