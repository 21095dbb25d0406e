// analogWrite on three pins of an Uno, one per timer, set once:
//   D6  OC0A, Timer0 fast PWM (976.6 Hz),        64 of 255: 25 % (65/256 on)
//   D9  OC1A, Timer1 phase-correct 8-bit (490 Hz), 128 of 255: 50 %
//   D3  OC2B, Timer2 phase-correct (490 Hz),      191 of 255: 75 %
// The core's init() sets the timers up; analogWrite connects the pin.
#include <Arduino.h>

void setup()
{
    pinMode(6, OUTPUT);
    pinMode(9, OUTPUT);
    pinMode(3, OUTPUT);
    analogWrite(6, 64);
    analogWrite(9, 128);
    analogWrite(3, 191);
}

void loop()
{
}
