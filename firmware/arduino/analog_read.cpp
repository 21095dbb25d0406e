// AnalogReadSerial: reads an analogue input against AVcc every 10 ms and
// prints the reading (0 to 1023) on its own line over Serial at 9600 baud.
// The Uno reads A0 (ADC0); the Mega reads A8 (ADC8, which needs MUX5 in
// ADCSRB besides ADMUX).
#include <Arduino.h>

#if defined(ARDUINO_AVR_MEGA2560)
static const uint8_t kInput = A8;
#else
static const uint8_t kInput = A0;
#endif

void setup()
{
    Serial.begin(9600);
}

void loop()
{
    int value = analogRead(kInput);
    Serial.println(value);
    delay(10);
}
