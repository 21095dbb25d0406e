// A firmware self-test as host-side test runners write them: it checks a
// few computations, prints nothing and ends with its verdict as the exit
// code, which the host reports (quill-host --until-exit, wait until exit).
// Built three ways: EXIT_CODE 0 (returns 0 from main), EXIT_CODE 3 (calls
// exit(3) from a nested function) and NEVER_EXIT (keeps running).
#include <avr/io.h>
#include <stdint.h>
#include <stdlib.h>

#ifndef EXIT_CODE
#define EXIT_CODE 0
#endif

static volatile uint16_t checked;

static uint16_t sumTo(uint8_t n) {
    uint16_t sum = 0;
    for (uint8_t i = 1; i <= n; ++i) sum += i;
    return sum;
}

static void check(uint8_t ok) {
    ++checked;
    if (!ok) exit(100 + checked);
}

static void finish(void) {
    PORTB = (uint8_t)checked;
    if (EXIT_CODE != 0) exit(EXIT_CODE);
}

int main(void) {
    DDRB = 0xFF;
    check(sumTo(10) == 55);
    check(sumTo(100) == 5050);
    check((uint8_t)(200 + 100) == 44);
#ifdef NEVER_EXIT
    for (;;) PORTB ^= 0x80;
#endif
    finish();
    return 0;
}
