// The instrument simulator; it arrives with the slave modes.
#include <cstdio>

int main()
{
    std::fputs("kv508-sim: the simulator is not built yet\n", stderr);
    return 1;
}
