/* trivial.c — the baseline of the start-up benchmark: a dynamically linked
 * program that only prints one line. */
#include <stdio.h>

int main(void)
{
    puts("trivial");
    return 0;
}
