// The electrical characteristics as the Electrical Characteristics page
// edits them: Vcc, Vref, AVcc and ARef in hundredths of a volt, and the
// flag "external voltage on AREF". AVcc follows Vcc (it stays within 0.30 V
// of it). The internal reference Vref is what REFS = 3 converts against, so
// only a move of its own trackbar changes it: moving Vcc or AVcc leaves it
// where the user put it. Toolkit-free; the page is a thin view over it.
#pragma once

#include <algorithm>
#include <string>

class CLEDView;

class ElectricalModel {
public:
    static constexpr int kVccMin = 270, kVccMax = 550;
    // ARef down to 2.00 V, as the chip allows an external reference from
    // 2.0 V up to AVcc.
    static constexpr int kArefMin = 200, kArefMax = 550;
    static constexpr int kVrefMin = 200;
    static constexpr int kAvccSpread = 30;

    int vcc = 500, vref = 256, avcc = 500, aref = 500;
    bool externalAref = false;

    // Volts -> hundredths, rounded: 4.02 V is 402, not 401.
    static int ToHundredths(double volts);
    // "%.2f" of hundredths / 100.
    static std::string Text(int hundredths);

    void LoadFrom(CLEDView* core);
    // Stores the values (hundredths / 100) and the flag into the core.
    void StoreInto(CLEDView* core) const;

    int avccMin() const { return vcc - kAvccSpread; }
    int avccMax() const { return vcc + kAvccSpread; }
    // The Vref trackbar reaches up to AVcc, or up to Vref itself when AVcc
    // was lowered below it: the range never moves the value.
    int vrefMax() const { return std::max(avcc, vref); }

    // Limits every value to its range, as the page's trackbars do when it
    // opens: Vcc, ARef, then AVcc around Vcc, then Vref from 2.00 V up.
    void Clamp();
    // A trackbar moved. Vcc pulls AVcc to the middle of its new range
    // (= Vcc); neither touches Vref.
    void MoveVcc(int position);
    void MoveAvcc(int position);
    void MoveVref(int position);
    void MoveAref(int position);
};
