#include <cstdio>

int main()
{
    std::puts("ZORBLET");
    return 0;
}
