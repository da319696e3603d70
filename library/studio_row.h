// One row of the Music Studio list, shared by the page and the play rules.
#pragma once

namespace lyb {

/// The index of the row's item (top-level index, or index inside its
/// playlist) and the parent playlist's top-level index (-1 for a top-level row).
struct StudioRow {
    int item = -1;
    int parent = -1;
    bool IsChild() const { return parent >= 0; }
};

} // namespace lyb
