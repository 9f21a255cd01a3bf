#pragma once

#include <cstddef>

// A dialog's commands as a table: each control or menu id with the member that handles it. A
// null member takes the command and does nothing (Enter and Escape where they end nothing).
template <class Owner>
struct CommandEntry {
    int id;
    void (Owner::*handler)();
};

// Runs the member `table` gives for `id`; false when the table has no entry for it.
template <class Owner, size_t N>
bool DispatchCommand(Owner* owner, const CommandEntry<Owner> (&table)[N], int id) {
    for (const CommandEntry<Owner>& entry : table) {
        if (entry.id != id) continue;
        if (entry.handler) (owner->*entry.handler)();
        return true;
    }
    return false;
}
