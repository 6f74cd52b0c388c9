// Prints the report that the inventory makes of this machine (no benchmarks),
// for reading by eye. With a folder argument it reads that folder as the root
// of a recorded /sys and /proc tree instead. Progress lines go to standard
// error.
#include <iostream>

#include "core/errors.h"
#include "inventory/collector.h"
#include "inventory/linux_source/linux_sources.h"

int main(int argc, char** argv) {
    try {
        const auto progress = [](const std::string& text) { std::cerr << text << "\n"; };
        const nvx::RunReport report =
            argc > 1 ? nvx::Collector::collect(nvx::linux_source::linuxInventorySources(argv[1]), nvx::StopToken(), progress)
                     : nvx::Collector::collect(nvx::StopToken(), progress);
        std::cout << report.data() << "\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "Ошибка описи: " << nvx::describe(error) << "\n";
        return 1;
    }
}
