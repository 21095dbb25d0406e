// The four USARTs of a Mega 2560, each at a baud rate of its own: every
// port prints its own greeting, then echoes what it receives, so each
// port's transmitter, receiver and interrupts are exercised on their own.
#include <Arduino.h>

void setup()
{
    Serial.begin(9600);
    Serial1.begin(19200);
    Serial2.begin(38400);
    Serial3.begin(57600);
    Serial.println("Serial at 9600: hello from USART0");
    Serial1.println("Serial1 at 19200: hello from USART1");
    Serial2.println("Serial2 at 38400: hello from USART2");
    Serial3.println("Serial3 at 57600: hello from USART3");
}

// Sends back every byte the port has received.
static void echo(HardwareSerial &port)
{
    while (port.available() > 0) {
        port.write(port.read());
    }
}

void loop()
{
    echo(Serial);
    echo(Serial1);
    echo(Serial2);
    echo(Serial3);
}
