#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <thread>

#include <QVariant>

#include "app/depotrium_model.h"

namespace nvx {

// The background threads of one model. Each is joined when the main thread
// has taken its last result, and by the model's destructor at the latest,
// so no worker outlives the model.
struct DepotriumModel::Private {
    std::thread runWorker;
    std::thread uploadWorker;
    // Numbers the runs and submissions, so a result can be told to belong to
    // the one in progress; bumped when it ends.
    std::uint64_t runNumber = 0;
    std::uint64_t uploadNumber = 0;
    // Set while the model puts a report into the form field by field.
    bool fillingForm = false;

    static void join(std::thread& worker) {
        if (worker.joinable()) worker.join();
    }
};

// The description of a background thread that could not be started.
std::string backgroundStartFailure(const std::system_error& failure);

// The JSON-shaped form of a report for the views: the report document's own
// keys, as nested maps and lists. Null if the report cannot be encoded.
QVariant reportToVariant(const RunReport& report);
QVariant reportBytesToVariant(const std::string& bytes);

}  // namespace nvx
