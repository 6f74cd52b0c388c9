#include "app/depotrium_model.h"
#include "bench/benchmarks.h"
#include "inventory/collector.h"
#include "upload/depotrium_api.h"

namespace nvx {

DepotriumServices DepotriumServices::real() {
    DepotriumServices services;
    services.collect = [](const StopToken& token, const std::function<void(const std::string&)>& progress) {
        return Collector::collect(token, progress);
    };
    services.runBenchmarks = [](const StopToken& token, bool includeDisk,
                                const std::function<void(const std::string&, double)>& progress) {
        return Benchmarks::run(token, includeDisk, progress);
    };
    services.upload = [](const RunReport& report, const std::string& server) {
        return DepotriumAPI::upload(report, server);
    };
    return services;
}

// Kept here so that the model library itself never needs the real services.
DepotriumModel::DepotriumModel(QObject* parent) : DepotriumModel(DepotriumServices::real(), parent) {}

}  // namespace nvx
