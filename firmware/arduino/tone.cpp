// tone(8, 440): concert A on D8 (PB0) of an Uno. The core runs Timer2 in
// CTC mode with a prescaler of 128 (OCR2A 141: 440.1 Hz) and toggles the
// pin from the compare interrupt. D13 is lit once the tone is started.
#include <Arduino.h>

void setup()
{
    pinMode(LED_BUILTIN, OUTPUT);
    tone(8, 440);
    digitalWrite(LED_BUILTIN, HIGH);
}

void loop()
{
}
