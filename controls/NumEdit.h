#pragma once
// PLACEHOLDER until the numeric edit box lands: the members the window uses.
#include <QLineEdit>

class TNumEdit : public QLineEdit {
public:
    explicit TNumEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}
    double Value() const { return text().toDouble(); }
    void SetValue(double v) { setText(QString::number(v, 'f', FDecimals)); }
    int Decimals() const { return FDecimals; }
    void SetDecimals(int d) { FDecimals = d; }

private:
    int FDecimals = 2;
};
