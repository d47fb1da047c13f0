#include "ThrottleCars.h"

#include <algorithm>
#include <cmath>

namespace unitsim {

namespace {
constexpr uint8_t kNoLbYet = 0x6F;
constexpr uint8_t kRightSide = 0x20;
constexpr uint8_t kStar = 0x80;

uint8_t Pwm(double value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }
} // namespace

ThrottleCars::ThrottleCars(int cars, uint32_t seed) : FRandom(seed != 0 ? seed : 1) {
    const int count = std::clamp(cars, 1, 255);
    for (int i = 1; i <= count; ++i) {
        Car car;
        car.number = static_cast<uint8_t>(i);
        car.rightLane = i % 2 == 0;
        // Cars start out of step, so their squeezes do not all line up.
        StartPhase(car, Phase::Idle, -Uniform(0, 1.5));
        car.nextLaneChange = Uniform(2, 8);
        car.nextLb = Uniform(0.5, 4);
        FCars.push_back(car);
    }
}

double ThrottleCars::Uniform(double low, double high) {
    // xorshift32: enough for a plausible bench, and the same every run.
    FRandom ^= FRandom << 13;
    FRandom ^= FRandom >> 17;
    FRandom ^= FRandom << 5;
    return low + (high - low) * (FRandom / 4294967296.0);
}

void ThrottleCars::StartPhase(Car& car, Phase phase, double at) {
    car.phase = phase;
    car.phaseStart = at;
    switch (phase) {
    case Phase::Idle: car.phaseLength = Uniform(0.4, 1.8); break;
    case Phase::Squeeze:
        car.phaseLength = Uniform(0.3, 1.2);
        car.target = Uniform(90, 255);
        break;
    case Phase::Hold: car.phaseLength = Uniform(0.4, 2.0); break;
    case Phase::Release: car.phaseLength = Uniform(0.08, 0.3); break;
    case Phase::Brake:
        car.phaseLength = Uniform(0.15, 0.5);
        car.brakeLevel = Uniform(100, 255);
        break;
    }
}

void ThrottleCars::Advance(Car& car, double seconds) {
    while (seconds - car.phaseStart >= car.phaseLength) {
        const double end = car.phaseStart + car.phaseLength;
        switch (car.phase) {
        case Phase::Idle: StartPhase(car, Phase::Squeeze, end); break;
        case Phase::Squeeze: StartPhase(car, Phase::Hold, end); break;
        case Phase::Hold:
            car.releaseFrom = car.target;
            StartPhase(car, Phase::Release, end);
            break;
        case Phase::Release: StartPhase(car, Phase::Brake, end); break;
        case Phase::Brake: StartPhase(car, Phase::Idle, end); break;
        }
    }
}

std::string ThrottleCars::NextPayload(double seconds) {
    Car& car = FCars[FNext];
    FNext = (FNext + 1) % FCars.size();
    Advance(car, seconds);

    const double into = (seconds - car.phaseStart) / car.phaseLength;  // 0..1 through the phase
    double drive = 0;
    double brake = 0;
    switch (car.phase) {
    case Phase::Idle: break;
    case Phase::Squeeze: drive = car.target * into * into * (3 - 2 * into); break;  // a finger eases in and out
    case Phase::Hold: drive = car.target + 6 * std::sin(seconds * 11.0 + car.number); break;
    case Phase::Release: drive = car.releaseFrom * (1 - into); break;
    case Phase::Brake: brake = car.brakeLevel * (into < 0.8 ? 1.0 : (1 - into) * 5); break;
    }

    bool laneChange = false;
    if (seconds >= car.nextLaneChange) {
        laneChange = true;
        car.rightLane = !car.rightLane;
        car.nextLaneChange = seconds + Uniform(3, 9);
    }
    if (seconds >= car.nextLb) {
        car.lbNumber = static_cast<uint8_t>(car.lbNumber % 31 + 1);
        car.lbStarred = Uniform(0, 1) < 0.1;
        car.nextLb = seconds + Uniform(2, 6);
    }
    uint8_t lastLb = kNoLbYet;
    if (car.lbNumber != 0) {
        lastLb = static_cast<uint8_t>(car.lbNumber | (car.rightLane ? kRightSide : 0) | (car.lbStarred ? kStar : 0));
    }

    std::string p(7, '\0');
    p[0] = 'S';
    p[1] = static_cast<char>(FCounter++);
    p[2] = static_cast<char>(car.number);
    p[3] = static_cast<char>(lastLb);
    p[4] = static_cast<char>(Pwm(drive));
    p[5] = static_cast<char>(Pwm(brake));
    p[6] = static_cast<char>(laneChange ? 1 : 0);
    return p;
}

} // namespace unitsim
