// The front end's side of the pipe exchange with dorvand.
#ifndef DORVAN_FRONTEND_H
#define DORVAN_FRONTEND_H

#include <stddef.h>
#include <string>

enum fe_result {
    FE_OK = 0,
    FE_ERROR = 2,     // a pipe could not be made or used, or DORVAN_ROOT is unusable
    FE_NO_REPLY = 3,  // no answer in time, request not taken, or no pipe at the reply path
};

// Sends len bytes (the request text with its NUL, at most CLI_REQUEST_SIZE) and reads the
// reply up to its NUL, all within timeout_ms. Serialised with other front ends
// by a lock file of its own. On FE_OK *reply holds the reply without its NUL.
fe_result fe_exchange(const char *request, size_t len, int timeout_ms, std::string *reply,
                      std::string *error);

// Joins words with single blanks into one request text.
std::string fe_join(int argc, char **argv);

#endif
