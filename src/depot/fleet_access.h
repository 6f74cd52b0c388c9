#pragma once

#include <httplib.h>

#include "depot/viewers.h"

namespace nvx::depot {

enum class FleetAccess {
    granted,
    credentialsNeeded,  // 401 with a Basic challenge
    forbidden,          // 403: only the local machine may look
};

// Who may see the list of records and every fleet-wide page or export.
// With a viewers list: whoever presents a viewer's Basic credentials. Without
// one: only a client on this machine's loopback interface that did not come
// through a proxy, since behind a local proxy every visitor's connection
// would come from loopback too. A record's own page is not fleet-wide: its
// address holds the record's unguessable id.
FleetAccess fleetAccess(const httplib::Request& request, const ViewerList* viewers);

}  // namespace nvx::depot
