// A command loop over the USART with stdio, on an ATmega16 at 1 MHz and
// 9615 baud (U2X, UBRR 12: 0.2 % above 9600). Every received character is
// echoed; a line (ended by CR or LF) is a command:
//   help          lists the commands
//   led N         shows N (0..255) on PORTA
//   add A B       prints A + B
//   busy          works 50 ms without reading, then reports whether the
//                 receiver lost bytes meanwhile (data overrun)
// Anything else is answered with "unknown command: ...".
#include <avr/io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <util/delay.h>

static int putByte(char c, FILE* stream) {
    if (c == '\n') putByte('\r', stream);
    loop_until_bit_is_set(UCSRA, UDRE);
    UDR = c;
    return 0;
}

static int getByte(FILE* stream) {
    (void)stream;
    loop_until_bit_is_set(UCSRA, RXC);
    return UDR;
}

static FILE serial = FDEV_SETUP_STREAM(putByte, getByte, _FDEV_SETUP_RW);

// Reads a line, echoing it; returns its length (without the ending).
static uint8_t readLine(char* line, uint8_t size) {
    uint8_t length = 0;
    for (;;) {
        const int c = getchar();
        if (c == '\r' || c == '\n') {
            if (length == 0) continue;  // the LF of a CR LF, or an empty line
            putchar('\n');
            line[length] = 0;
            return length;
        }
        if (length + 1 < size) {
            line[length++] = (char)c;
            putchar(c);
        }
    }
}

int main(void) {
    UBRRH = 0;
    UBRRL = 12;
    UCSRA = _BV(U2X);
    UCSRB = _BV(RXEN) | _BV(TXEN);
    UCSRC = _BV(URSEL) | _BV(UCSZ1) | _BV(UCSZ0);
    DDRA = 0xFF;
    stdout = stdin = &serial;

    printf("Quill serial demo\n");
    char line[40];
    for (;;) {
        printf("ready> ");
        readLine(line, sizeof line);
        char* word = strtok(line, " ");
        if (strcmp(word, "help") == 0) {
            printf("commands: help, led N, add A B, busy\n");
        } else if (strcmp(word, "led") == 0) {
            const char* n = strtok(NULL, " ");
            PORTA = n ? (uint8_t)atoi(n) : 0;
            printf("PORTA = %u\n", PORTA);
        } else if (strcmp(word, "add") == 0) {
            const char* a = strtok(NULL, " ");
            const char* b = strtok(NULL, " ");
            printf("%d\n", (a ? atoi(a) : 0) + (b ? atoi(b) : 0));
        } else if (strcmp(word, "busy") == 0) {
            _delay_ms(50);
            const uint8_t lost = UCSRA & _BV(DOR);
            while (UCSRA & _BV(RXC)) (void)UDR;
            printf(lost ? "overrun: bytes were lost\n" : "no overrun\n");
        } else {
            printf("unknown command: %s\n", word);
        }
    }
}
