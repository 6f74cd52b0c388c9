#include "inventory/linux_source/linux_sources.h"

namespace nvx {

InventorySources platformInventorySources() { return linux_source::linuxInventorySources("/"); }

}  // namespace nvx
