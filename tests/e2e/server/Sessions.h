#pragma once

// One client session against SheetHost, from connecting to going away, in each of the ways a
// client may end: the load tests run thousands of them.

#include "tests/e2e/server/ServerProbe.h"

#include <QString>
#include <array>

namespace ServerProbe {

enum class SessionEnd
{
    ReleaseAndShutDown,   // gives every reference back, then closes politely
    CloseHoldingAll,      // closes at once without releasing anything
    CloseWithReplyUnread, // closes with a request in flight and its reply never read
    ReleaseHalfAndClose,  // gives back some references, closes at once with the rest held
    RealClient,           // the platform's own client: attach, walk, drop everything
};
inline constexpr std::array AllSessionEnds{
    SessionEnd::ReleaseAndShutDown, SessionEnd::CloseHoldingAll, SessionEnd::CloseWithReplyUnread,
    SessionEnd::ReleaseHalfAndClose, SessionEnd::RealClient};

// Objects each hand-driven session takes beyond the walk to the found cell: cells of the sheet,
// asked for in one batch, so that a server that forgot a client's references would grow.
inline constexpr int ExtraCellsPerSession = 24;

// Connects, greets, walks Workbooks.Item(1).Worksheets.Item(1).UsedRange, finds the needle,
// checks its address, takes the extra cells and ends as told. Empty on success, else what
// went wrong. salt varies the cells asked for.
QString RunSession(SessionEnd end, int salt);

} // namespace ServerProbe
