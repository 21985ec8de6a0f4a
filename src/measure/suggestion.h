#pragma once

#include <optional>

#include "measure/foot_measure.h"

namespace footview {
class FootView;
}

// The suggested reference points of the scan a foot view shows, worked out off the
// user-interface thread after each load so that "Suggest" finds them ready.
namespace measure {

// Starts working out the suggestion for the scan the view shows now (item 0 as read) and the
// foot side chosen, on a thread of its own. Nothing starts again while the scan and the side are
// those of the suggestion made or under way.
void startSuggestion(footview::FootView& foot);

// The suggestion for the scan the view shows, in the scan's own frame (not found, with the
// reason, when no scan or no side is there). One still being worked out is waited for with the
// busy cursor and a word on the status line while the windows repaint. Empty when the view
// closed during the wait.
std::optional<Suggestion> awaitSuggestion(footview::FootView& foot);

}  // namespace measure
