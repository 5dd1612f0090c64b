// mdm-clientd: see handlers.h.
#include "handlers.h"
#include "lifecycle.h"

int main() {
    return stockpeers::serve(stockpeers::kManagementClient, "mdm-clientd");
}
