#include "daemon.h"

int main(int argc, char **argv)
{
    return dorvand_main(argc, argv);
}
