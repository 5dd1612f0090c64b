// Writes an entry to the systemd journal through libsystemd's native protocol.
#pragma once

#include "journal_entry.h"

namespace stockpeers {

// 0, or a negative errno when the journal did not take the entry.
int send_to_journal(const JournalEntry& entry);

}  // namespace stockpeers
