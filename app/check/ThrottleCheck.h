#pragma once
// Every car's throttle check over one stream of status records, live or read from a session, and
// the results as CSV rows (one per car, in car order). Plain C++.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/check/CarCheck.h"

namespace check {

class ThrottleCheck {
public:
    explicit ThrottleCheck(const Thresholds& thresholds = {}) : FThresholds(thresholds) {}
    void Add(const Sample& s) {
        CarCheck* car = FCars[s.car].get();
        if (car == nullptr) car = Start(s.car);
        car->Add(s);
    }
    // A result for every car that sent a status record, in car order.
    std::vector<CarResult> Results() const;
    const CarCheck* Car(uint8_t car) const { return FCars[car].get(); }

private:
    CarCheck* Start(uint8_t car);

    Thresholds FThresholds;
    std::array<std::unique_ptr<CarCheck>, 256> FCars;
};

// The CSV's header row and one row per result, each with its "\n".
std::string CheckCsvHeader();
std::string CheckCsvRow(const CarResult& r);
// The columns, one line each, for the help.
std::string CheckColumnsHelp();

} // namespace check
