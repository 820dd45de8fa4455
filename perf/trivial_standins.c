/* trivial_standins.c — the trivial program linked to seven minimal C
 * libraries, one call into each, as `debug` is to the camera's libraries. */
#include <stdio.h>

int standin_1(void);
int standin_2(void);
int standin_3(void);
int standin_4(void);
int standin_5(void);
int standin_6(void);
int standin_7(void);

int main(void)
{
    int sum = standin_1() + standin_2() + standin_3() + standin_4() + standin_5() + standin_6() +
              standin_7();
    puts("trivial");
    return sum;
}
