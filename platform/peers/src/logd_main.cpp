// mdm-logd: see handlers.h.
#include <cstdio>

#include "peer_service.h"

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return stockpeers::PeerService(stockpeers::kLogService).run();
}
