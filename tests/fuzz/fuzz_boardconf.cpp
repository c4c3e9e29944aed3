// libFuzzer target: board.conf's parser over any bytes. A line it accepts
// must name an absolute path and a code; anything else must be refused.
#include "board/board_internal.h"

#include <stdint.h>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    [[maybe_unused]] static int quiet = setenv("DORVAN_LOG", "/dev/null", 1);
    using namespace dplat::board;
    Entry e[kNumInputs];
    default_entries(e);
    parse_board_conf("board.conf", std::string((const char *)data, size), e);
    for (const Entry &x : e)
        if (x.source == Source::Broken ? x.why.empty()
                                       : x.where.empty() || x.where[0] != '/' || x.what.empty() || x.path.empty())
            abort();
    return 0;
}
