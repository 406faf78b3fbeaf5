// Runs every file of the given folders (or the given files) once through the fuzz target, naming
// each before it runs, so that a crash in the normal test run says which input caused it.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool ReadFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);

    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
                if (entry.is_regular_file(error))
                    files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else if (std::filesystem::is_regular_file(path, error)) {
            inputs.push_back(path);
        } else {
            // A corpus folder not made yet has nothing to replay.
            std::printf("replay: %s: no such folder, skipped\n", argv[i]);
        }
    }

    int failures = 0;
    std::vector<std::uint8_t> bytes;
    for (const auto& input : inputs) {
        std::printf("replay: %s\n", input.c_str());
        std::fflush(stdout);
        if (!ReadFile(input, bytes)) {
            std::fprintf(stderr, "replay: %s: cannot read\n", input.c_str());
            ++failures;
            continue;
        }
        // A buffer of exactly the input's size, so that the sanitizers catch any read past its
        // end; never null, as libFuzzer's is not.
        const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        LLVMFuzzerTestOneInput(exact.get(), bytes.size());
    }
    std::printf("replay: %zu inputs, %d unreadable\n", inputs.size(), failures);
    return failures == 0 ? 0 : 1;
}
