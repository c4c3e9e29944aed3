// Replays folders of fuzz inputs as an ordinary test.
#include <stdint.h>
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// Each argument a folder of inputs.
int main(int argc, char **argv)
{
    int count = 0, bad = 0;
    for (int i = 1; i < argc; i++) {
        std::error_code ec;
        for (const auto &e : std::filesystem::directory_iterator(argv[i], ec)) {
            std::ifstream f(e.path(), std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
            bad += !f.good() && !f.eof();
            LLVMFuzzerTestOneInput((const uint8_t *)bytes.data(), bytes.size());
            count++;
        }
        bad += ec ? 1 : 0;
    }
    printf("replayed %d inputs, %d unreadable\n", count, bad);
    return bad != 0 || count == 0;
}
