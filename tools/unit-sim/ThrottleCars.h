#pragma once
// Status records as a bench full of cars produces them: each car in turn, its throttle squeezed
// in ramps, held with a little tremor and released, a brake pulse after each release, now and
// then a lane change, and a new last-LB reading every few seconds. Deterministic for a seed.
#include <cstdint>
#include <string>
#include <vector>

namespace unitsim {

class ThrottleCars {
public:
    // Cars are numbered 1 to cars (1 to 255).
    explicit ThrottleCars(int cars, uint32_t seed = 1);

    // The payload of the next car's status record (before escaping), at this many seconds since
    // the stream began; times must not go back.
    std::string NextPayload(double seconds);

private:
    enum class Phase { Idle, Squeeze, Hold, Release, Brake };
    struct Car {
        uint8_t number = 0;
        Phase phase = Phase::Idle;
        double phaseStart = 0;
        double phaseLength = 0;
        double target = 0;       // drive PWM the squeeze aims at
        double releaseFrom = 0;  // drive PWM when the release began
        double brakeLevel = 0;
        bool rightLane = false;
        uint8_t lbNumber = 0;    // 0: no LB yet
        bool lbStarred = false;
        double nextLaneChange = 0;
        double nextLb = 0;
    };

    void Advance(Car& car, double seconds);
    void StartPhase(Car& car, Phase phase, double at);
    double Uniform(double low, double high);

    std::vector<Car> FCars;
    size_t FNext = 0;
    uint8_t FCounter = 0;
    uint32_t FRandom;
};

} // namespace unitsim
