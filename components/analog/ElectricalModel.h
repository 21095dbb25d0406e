// The electrical characteristics as the Electrical Characteristics page
// edits them: Vcc, Vref, AVcc and ARef in hundredths of a volt, linked as on
// the part (AVcc within 0.30 V of Vcc, the internal reference at most AVcc),
// and the flag "external voltage on AREF". Toolkit-free; the page is a
// thin view over it.
#pragma once

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
    int vrefMax() const { return avcc; }

    // Limits every value to its range, as the page's trackbars do when it
    // opens: Vcc, ARef, then AVcc around Vcc, then Vref up to AVcc.
    void Clamp();
    // A trackbar moved. Vcc pulls AVcc to the middle of its new range
    // (= Vcc) and Vref to the middle of 2.00..AVcc; AVcc pulls Vref the same.
    void MoveVcc(int position);
    void MoveAvcc(int position);
    void MoveVref(int position);
    void MoveAref(int position);
};
