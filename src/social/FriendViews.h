#pragma once
// The people rows of the shared interface file "CommonViews" that the friend screens own: the person
// row PossibleKnownCell (object 7) and the row of four avatars IdolCell (object 12). Registering is
// idempotent; the screens that load them register them first.
#include <cstddef>
#include <string>

#include "platform/foundation/NSObject.h"

class IdolCell;
class PossibleKnownCell;

inline constexpr std::size_t kPossibleKnownCellObject = 7;
inline constexpr std::size_t kIdolCellObject = 12;
// The reuse identifiers the interface file gives the two rows.
inline constexpr char kPossibleKnownCellIdentifier[] = "PossibleKnownCell";
inline constexpr char kIdolCellIdentifier[] = "IdolCell";

void registerFriendViews();

// A new row loaded from the interface file (registering the rows first).
Ref<PossibleKnownCell> loadPossibleKnownCell();
Ref<IdolCell> loadIdolCell();
