#pragma once
// A single-line edit box showing a number with a fixed count of digits after the separator.
// The text stays freely editable; reading Value parses it back and rewrites it canonically.
#include <QLineEdit>

class TNumEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(double Value READ Value WRITE SetValue)
    Q_PROPERTY(int Decimals READ Decimals WRITE SetDecimals)

public:
    explicit TNumEdit(QWidget* parent = nullptr);

    // Takes the number in the text if it reads as one, keeps the last good value otherwise, and
    // in both cases puts the canonical text of the kept value back: hence not const.
    double Value();
    void SetValue(double value);

    int Decimals() const { return FDecimals; }
    // Stored as given, without validation; the text shows a negative count as 0 and at most 18 digits.
    void SetDecimals(int decimals);

private:
    void UpdateText();

    double FValue = 0.0;
    int FDecimals = 0;
};
