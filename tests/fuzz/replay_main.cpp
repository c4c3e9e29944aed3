// Replays fuzz inputs (files or folders of files) as an ordinary test.
#include <dirent.h>
#include <stdint.h>
#include <stdio.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int replay_file(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        perror(path.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

int main(int argc, char **argv)
{
    int count = 0, bad = 0;
    for (int i = 1; i < argc; i++) {
        struct stat st;
        if (stat(argv[i], &st) != 0) {
            perror(argv[i]);
            return 1;
        }
        if (S_ISDIR(st.st_mode)) {
            DIR *d = opendir(argv[i]);
            while (struct dirent *e = readdir(d)) {
                if (e->d_name[0] == '.')
                    continue;
                bad += replay_file(std::string(argv[i]) + "/" + e->d_name);
                count++;
            }
            closedir(d);
        } else {
            bad += replay_file(argv[i]);
            count++;
        }
    }
    printf("replayed %d inputs\n", count);
    return bad != 0 || count == 0;
}
