// mdm-logd: see handlers.h.
#include "handlers.h"
#include "lifecycle.h"

int main() {
    return stockpeers::serve(stockpeers::kLogService, "mdm-logd");
}
