// Replays stored inputs through a fuzz target's entry point, so that every
// build (gcc included) runs the seed corpus and the inputs of fixed crashes
// as an ordinary test. Arguments are folders (searched recursively) or files;
// a folder that does not exist is an error, so a renamed corpus cannot pass
// by running nothing.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> files;
    for (int index = 1; index < argc; ++index) {
        const fs::path argument = argv[index];
        std::error_code error;
        if (fs::is_regular_file(argument, error)) {
            files.push_back(argument);
        } else if (fs::is_directory(argument, error)) {
            for (const auto& entry : fs::recursive_directory_iterator(argument))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else {
            std::fprintf(stderr, "replay: %s is neither a file nor a folder\n", argument.c_str());
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream stream(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
        std::fprintf(stderr, "replay: %s\n", file.c_str());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return files.empty() ? 3 : 0;
}
