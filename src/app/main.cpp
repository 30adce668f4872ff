// The system's main program. Until the media engine exists it only says so.
#include <cstdio>

int main()
{
    std::puts("ombri: the media engine is not built yet; nothing to run.");
    return 0;
}
