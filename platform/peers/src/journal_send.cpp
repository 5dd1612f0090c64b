#include "journal_send.h"

#include <sys/uio.h>
// The entry's source line would only ever name this file.
#define SD_JOURNAL_SUPPRESS_LOCATION
#include <systemd/sd-journal.h>

namespace stockpeers {

int send_to_journal(const JournalEntry& entry) {
    std::vector<std::string> items;
    items.reserve(entry.size());
    std::vector<iovec> iov;
    iov.reserve(entry.size());
    for (const auto& f : entry) {
        items.push_back(f.name + "=" + f.value);
        iov.push_back({items.back().data(), items.back().size()});
    }
    // Values with line feeds or any other bytes go out in the binary field form.
    return sd_journal_sendv(iov.data(), static_cast<int>(iov.size()));
}

}  // namespace stockpeers
