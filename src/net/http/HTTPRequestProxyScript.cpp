// Proxy auto-configuration scripts: fetched from their URL, run, and their answer turned into the
// proxy this request uses.
#include "net/http/HTTPRequest.h"

void HTTPRequest::fetchPACFile()
{
    // Proxy auto-configuration scripts are run with the authentication work; until then a request that
    // names one goes direct, as it does when a script cannot be fetched or run.
    startRequest();
}
