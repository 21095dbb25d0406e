// Blink: the on-board LED on D13 on for one second, then off for one
// second, over and over. D13 is PB5 on an Uno and PB7 on a Mega; the
// variant's pin table says which, the sketch does not.
#include <Arduino.h>

void setup()
{
    pinMode(LED_BUILTIN, OUTPUT);
}

void loop()
{
    digitalWrite(LED_BUILTIN, HIGH);
    delay(1000);
    digitalWrite(LED_BUILTIN, LOW);
    delay(1000);
}
