// Replays fuzz inputs (files or folders of files) as an ordinary test.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int replay_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (!f.good() && !f.eof())
        return 1;
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

int main(int argc, char **argv)
{
    int count = 0, bad = 0;
    for (int i = 1; i < argc; i++) {
        DIR *d = opendir(argv[i]);
        if (d == nullptr) {  // a file
            bad += replay_file(argv[i]);
            count++;
            continue;
        }
        while (struct dirent *e = readdir(d)) {
            if (e->d_name[0] != '.') {
                bad += replay_file(std::string(argv[i]) + "/" + e->d_name);
                count++;
            }
        }
        closedir(d);
    }
    printf("replayed %d inputs, %d unreadable\n", count, bad);
    return bad != 0 || count == 0;
}
