// Table entries that refuse a closed channel or a closed view.
//
// A host keeps its copies of the operation tables after closing what they
// belong to. The entries copied to it check, before anything else, that the
// channel (driverState) or the view (its descriptor's state, and the
// driverState of the channel record the view record names now) is still open;
// on a closed one they return at once: no GL call, no allocation, nothing
// written, status 1 where the operation has a status and null where it
// returns a pointer. Closing a view closes nothing more; closing a channel
// also closes every view still open on it (their state becomes null). A view
// record pointed at a closed channel record counts as closed while it points
// there: the view's own state stays with the channel it was opened on.
#pragma once

#include <type_traits>

#include "zqgd/driver.h"
#include "zqgd/view.h"

inline bool IsOpen(const ChannelRecord* channel) { return channel->driverState != nullptr; }
inline bool IsOpen(const ViewRecord* view) { return view->view->state != nullptr && IsOpen(view->channel); }

template <typename Result>
Result ClosedResult()
{
    if constexpr (std::is_void_v<Result>)
        return;
    else if constexpr (std::is_pointer_v<Result>)
        return nullptr;
    else
        return ZQGD_FAILED;
}

template <auto Operation>
struct WhileOpen;

// WhileOpen<Operation>::Call is Operation behind the check.
template <typename Result, typename Record, typename... Arguments, Result (*Operation)(Record*, Arguments...)>
struct WhileOpen<Operation> {
    static Result Call(Record* record, Arguments... arguments)
    {
        if (!IsOpen(record)) return ClosedResult<Result>();
        return Operation(record, arguments...);
    }
};
