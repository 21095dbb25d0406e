/*
 * Every USART of the part at once, at 1 MHz and 9615 baud (U2X, UBRR 12),
 * 8N1. Built with -DUSARTS=n for the USARTs 0..n-1 (1 on the ATmega328P,
 * 4 on the ATmega2560).
 *
 * Each USART greets with "USARTn ready\r\n" and then answers every byte
 * it receives on its own line with "n:" and the byte, so that a test can
 * tell the lines apart: "a" sent to USART2 comes back as "2:a".
 */
#include <avr/io.h>
#include <stdint.h>

#ifndef USARTS
#define USARTS 1
#endif

/* One USART's registers by number. */
#define USART_FUNCTIONS(n)                                          \
    static void init##n(void) {                                     \
        UBRR##n##H = 0;                                             \
        UBRR##n##L = 12;                                            \
        UCSR##n##A = _BV(U2X##n);                                   \
        UCSR##n##B = _BV(RXEN##n) | _BV(TXEN##n);                   \
        UCSR##n##C = _BV(UCSZ##n##1) | _BV(UCSZ##n##0);             \
    }                                                               \
    static void put##n(char c) {                                    \
        loop_until_bit_is_set(UCSR##n##A, UDRE##n);                 \
        UDR##n = (uint8_t)c;                                        \
    }                                                               \
    static void greet##n(void) {                                    \
        static const char text[] = "USART" #n " ready\r\n";         \
        for (const char* p = text; *p; ++p) put##n(*p);             \
    }                                                               \
    static void answer##n(void) {                                   \
        if (!(UCSR##n##A & _BV(RXC##n))) return;                    \
        const char c = (char)UDR##n;                                \
        put##n((char)('0' + (n)));                                  \
        put##n(':');                                                \
        put##n(c);                                                  \
    }

USART_FUNCTIONS(0)
#if USARTS > 1
USART_FUNCTIONS(1)
#endif
#if USARTS > 2
USART_FUNCTIONS(2)
#endif
#if USARTS > 3
USART_FUNCTIONS(3)
#endif

int main(void) {
    init0();
    greet0();
#if USARTS > 1
    init1();
    greet1();
#endif
#if USARTS > 2
    init2();
    greet2();
#endif
#if USARTS > 3
    init3();
    greet3();
#endif
    for (;;) {
        answer0();
#if USARTS > 1
        answer1();
#endif
#if USARTS > 2
        answer2();
#endif
#if USARTS > 3
        answer3();
#endif
    }
}
