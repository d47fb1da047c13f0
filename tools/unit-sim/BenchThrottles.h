#pragma once
// Throttles on the bench, each of a model with or without a fault, and a person who takes them
// through the throttle check's steps: released, a slow squeeze to full and hold, a slow let-go,
// five presses of the lane-change button, then again. The person is a little uneven (each pull a
// little faster or slower, never quite the same), deterministic for a seed. Portable, no device.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace unitsim {

enum class ThrottleModel { Healthy, Creep, Short, DeadSpot, Jitter, Bounce, Stuck };
std::optional<ThrottleModel> ThrottleModelFromName(std::string_view name);
std::string_view ThrottleModelName(ThrottleModel model);
// "healthy, creep, short, dead_spot, jitter, bounce, stuck"
std::string ThrottleModelNames();

// What the person's hands do at a moment: the trigger from released (0) to full (1), the button.
struct Hands {
    double trigger = 0;
    bool button = false;
};

class BenchUser {
public:
    explicit BenchUser(uint32_t seed = 1);
    // At this many seconds since the person sat down; times must not go back.
    Hands At(double seconds);

private:
    enum class Phase { Rest, Pull, Hold, Release, Pause, Presses, After };
    void Plan(double from);
    double Uniform(double low, double high);

    uint32_t FRandom;
    double FStart[8] = {};  // when each phase of this round starts; the last is the round's end
    double FWobble = 0;     // how uneven this round's squeeze and let-go are
    double FWobbleWaves = 2;
    double FPressDown = 0.15;
    double FPressGap = 0.3;
};

// One car's throttle of a model: its record values from the hands on it.
class ThrottleUnit {
public:
    ThrottleUnit(uint8_t car, ThrottleModel model, uint32_t seed = 1);
    struct Reading {
        uint8_t drive = 0;
        uint8_t brake = 0;
        bool laneChange = false;
    };
    Reading Read(double seconds, const Hands& hands);
    uint8_t Car() const { return FCar; }
    ThrottleModel Model() const { return FModel; }

private:
    uint8_t Drive(double trigger);
    bool Button(double seconds, bool pressed);

    uint8_t FCar;
    ThrottleModel FModel;
    uint32_t FRandom;
    bool FPressed = false;
    double FPressedAt = -1;
    double FReleasedAt = -1;
};

// A bench of throttle cars sending status records in turn, for the simulated unit.
class BenchThrottles {
public:
    struct Car {
        uint8_t number;
        ThrottleModel model;
    };
    // benchUser: a person takes them through the check; otherwise the triggers stay released.
    BenchThrottles(const std::vector<Car>& cars, bool benchUser, uint32_t seed = 1);
    // The payload of the next car's status record (before escaping), at this many seconds since
    // the stream began; times must not go back.
    std::string NextPayload(double seconds);

private:
    struct Seat {
        ThrottleUnit unit;
        BenchUser user;
    };
    std::vector<Seat> FSeats;
    bool FBenchUser;
    size_t FNext = 0;
    uint8_t FCounter = 0;
};

} // namespace unitsim
