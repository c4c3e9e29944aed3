// Replays folders of fuzz inputs as an ordinary test.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

// Each argument a folder of inputs.
int main(int argc, char **argv)
{
    int count = 0, bad = 0;
    for (int i = 1; i < argc; i++) {
        DIR *d = opendir(argv[i]);
        bad += d == nullptr;
        while (struct dirent *e = d ? readdir(d) : nullptr) {
            if (e->d_name[0] == '.')
                continue;
            std::ifstream f(std::string(argv[i]) + "/" + e->d_name, std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
            bad += !f.good() && !f.eof();
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            count++;
        }
        if (d)
            closedir(d);
    }
    printf("replayed %d inputs, %d unreadable\n", count, bad);
    return bad != 0 || count == 0;
}
