// The model's default constructor wires this machine's collector, benchmark
// runner and upload client, which tests must never run. Test programs link
// this definition instead: every service fails at once.
#include "app/depotrium_model.h"
#include "core/errors.h"

namespace nvx {

DepotriumModel::DepotriumModel(QObject* parent) : DepotriumModel(DepotriumServices{}, parent) {
    services_.collect = [](const StopToken&, const std::function<void(const std::string&)>&) -> RunReport {
        throw DepotriumError("В тестах настоящий осмотр не проводится.");
    };
    services_.runBenchmarks = [](const StopToken&, bool,
                                 const std::function<void(const std::string&, double)>&) -> std::vector<Metric> {
        throw DepotriumError("В тестах настоящие измерения не проводятся.");
    };
    services_.upload = [](const RunReport&, const std::string&) -> std::string {
        throw DepotriumError("В тестах ничего не отправляется.");
    };
}

}  // namespace nvx
