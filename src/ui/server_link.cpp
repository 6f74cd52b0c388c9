#include "server_link.h"

#include "app/depotrium_model.h"
#include "core/errors.h"
#include "upload/depotrium_api.h"

namespace nvx {

QString ServerLink::defaultServer() const { return DepotriumModel::defaultServer; }

QString ServerLink::checkedAddress(const QString& server) const {
    try {
        return QString::fromStdString(DepotriumAPI::checkedURL(server.toStdString()).text);
    } catch (const DepotriumError&) {
        return {};
    }
}

}  // namespace nvx
