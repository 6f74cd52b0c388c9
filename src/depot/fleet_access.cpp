#include "depot/fleet_access.h"

#include "depot/loopback_address.h"

namespace nvx::depot {

FleetAccess fleetAccess(const httplib::Request& request, const ViewerList* viewers) {
    if (viewers != nullptr) {
        return viewers->admits(request.get_header_value("Authorization")) ? FleetAccess::granted
                                                                          : FleetAccess::credentialsNeeded;
    }
    const bool forwarded =
        request.has_header("Forwarded") || request.has_header("X-Forwarded-For") || request.has_header("X-Real-IP");
    return isLoopbackHost(request.remote_addr) && !forwarded ? FleetAccess::granted : FleetAccess::forbidden;
}

}  // namespace nvx::depot
